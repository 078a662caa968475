// .ndx files written from sorted keys, read back by Perl's XBase::Index, a reader we did not write.
#include "tables/dbase/DbaseIndexFiles.h"
#include "tables/dbase/NdxWriter.h"
#include "tests/support/TestSupport.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace quillora::dbase;
using namespace quillora::test;

namespace {

// Every (record, key) pair in the index's order, as XBase::Index walks it.
QStringList perlWalk(const QString& path)
{
    QString out, err;
    const int rc = runProgram(QStringLiteral("perl"),
                              {QStringLiteral("-MXBase::Index"), QStringLiteral("-e"),
                               QStringLiteral("my $i = XBase::Index->new($ARGV[0]) or die XBase::Index->errstr;"
                                              "$i->prepare_select; while (my ($k, $r) = $i->fetch) {"
                                              " $k =~ s/\\s+$//; print \"$r:$k\\n\" }"),
                               path},
                              &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray doubleKey(double v)
{
    QByteArray b(8, '\0');
    std::memcpy(b.data(), &v, 8);  // little-endian on every machine we build for
    return b;
}

}  // namespace

TEST(NdxWriter, CharacterKeysOfManyBlocksReadBackInOrder)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nomes.ndx"));
    DbaseTagInfo tag;
    tag.expression = QStringLiteral("NOME");
    tag.keyType = 'C';
    tag.keyLength = 20;
    std::vector<NdxEntry> entries;
    QRandomGenerator random(7);
    for (quint32 r = 1; r <= 700; ++r) {
        // Duplicates on purpose: every key appears on two records.
        const QByteArray key = QByteArray("Nome ") + QByteArray::number(random.bounded(350)).rightJustified(4, '0');
        entries.push_back({key.leftJustified(20, ' '), r});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const NdxEntry& a, const NdxEntry& b) { return a.key < b.key; });
    writeNdxFile(path, tag, entries);

    QStringList expected;
    for (const NdxEntry& e : entries)
        expected << QStringLiteral("%1:%2").arg(e.record).arg(QString::fromLatin1(e.key).trimmed());
    EXPECT_EQ(perlWalk(path), expected);
    // Searching goes down through the interior nodes: every key is found at its first record.
    QString out, err;
    const QString script = QStringLiteral(
        "my $i = XBase::Index->new($ARGV[0]) or die; for my $k (qw(0000 0100 0177 0349)) {"
        " $i->prepare_select_eq(\"Nome $k\" . (' ' x 11)); my ($key, $r) = $i->fetch; $key =~ s/\\s+$//;"
        " print \"$r:$key\\n\" }");
    ASSERT_EQ(runProgram(QStringLiteral("perl"), {QStringLiteral("-MXBase::Index"), QStringLiteral("-e"), script, path},
                         &out, &err),
              0)
        << err.toStdString();
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString key = line.section(QLatin1Char(':'), 1);
        const auto first = std::find_if(entries.begin(), entries.end(), [&](const NdxEntry& e) {
            return QString::fromLatin1(e.key).trimmed() == key;
        });
        ASSERT_NE(first, entries.end()) << line.toStdString();
        EXPECT_EQ(line.section(QLatin1Char(':'), 0, 0).toUInt(), first->record) << line.toStdString();
    }
    EXPECT_EQ(out.count(QLatin1Char('\n')), 4) << out.toStdString();
    const DbaseTagInfo back = readNdxHeader(path);
    EXPECT_EQ(back.expression, QStringLiteral("NOME"));
    EXPECT_EQ(back.keyLength, 20);
}

TEST(NdxWriter, NumericKeysAndAnEmptyIndex)
{
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    QTemporaryDir dir;
    DbaseTagInfo tag;
    tag.expression = QStringLiteral("VALOR");
    tag.keyType = 'N';
    tag.keyLength = 8;
    std::vector<NdxEntry> entries;
    for (quint32 r = 1; r <= 1000; ++r)
        entries.push_back({doubleKey(double(int(r * 37 % 1000) - 500) / 4), r});
    std::stable_sort(entries.begin(), entries.end(), [](const NdxEntry& a, const NdxEntry& b) {
        double x, y;
        std::memcpy(&x, a.key.constData(), 8);
        std::memcpy(&y, b.key.constData(), 8);
        return x < y;
    });
    const QString path = dir.filePath(QStringLiteral("valores.ndx"));
    writeNdxFile(path, tag, entries);
    const QStringList walked = perlWalk(path);
    ASSERT_EQ(walked.size(), 1000);
    double previous = -1e9;
    for (qsizetype i = 0; i < walked.size(); ++i) {
        const double v = walked[i].section(QLatin1Char(':'), 1).toDouble();
        EXPECT_LE(previous, v) << i;
        previous = v;
        EXPECT_EQ(walked[i].section(QLatin1Char(':'), 0, 0).toUInt(), entries[size_t(i)].record) << i;
    }

    const QString empty = dir.filePath(QStringLiteral("vazio.ndx"));
    writeNdxFile(empty, tag, {});
    EXPECT_TRUE(perlWalk(empty).isEmpty());
}
