// Index checks and repairs of dBase tables: real .mdx and .ndx files (from the samples, written
// anew by Quillora so that their pages are where the damage expects them) and tables Perl's
// XBase wrote, damaged one way each; then the repaired result read back by XBase::Index,
// Perl XBase and dbfread.
#include "tables/Error.h"
#include "tables/check/TableCheck.h"
#include "tables/check/TableRepair.h"
#include "tables/dbase/DbaseTable.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"
#include "tests/tables/dbase/DbaseIndexWalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace quillora;
using namespace quillora::test;

namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
        | quint32(uchar(b[at + 3])) << 24;
}

void putU32(QByteArray& b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

QStringList faultLines(const QString& path)
{
    QStringList lines;
    for (const check::Fault& f : check::checkTable(path).faults)
        lines << check::formatFault(f);
    return lines;
}

// Copies a sample table and its index into dir, writable, its index written anew by Quillora
// (and the end mark some samples lack added, so that the copy is sound).
QString rebuiltSample(const QString& dir, const QString& table, const QString& index)
{
    const QString base = sample(QStringLiteral("dbase/"));
    const QString dbf = copyInto(dir, {base + table, base + index});
    for (const QString& f : QDir(dir).entryList(QDir::Files))
        QFile::setPermissions(dir + QLatin1Char('/') + f, QFile::ReadOwner | QFile::WriteOwner);
    const QByteArray bytes = readFile(dbf);
    if (!bytes.endsWith('\x1A'))
        writeFile(dbf, bytes + '\x1A');
    dbase::DbaseTable(dbf).rebuildIndexes();
    return dbf;
}

// The records Perl XBase reads: one line each, deleted flag first.
QStringList perlRecords(const QString& table)
{
    QString out, err;
    const int rc = runProgram(QStringLiteral("perl"),
                              {QStringLiteral(QUILLORA_SOURCE_DIR "/tests/tables/dbase/xbase_oracle.pl"),
                               QStringLiteral("dump"), table},
                              &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The records of each entry Perl's walk lists, sorted: each record of the table once.
QStringList walkedRecords(const QString& index, const QString& tag)
{
    QStringList records;
    for (const QString& line : perlWalk(index, tag))
        records << line.section(QLatin1Char(':'), 0, 0);
    std::sort(records.begin(), records.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    return records;
}

QStringList oneToN(int n)
{
    QStringList out;
    for (int i = 1; i <= n; ++i)
        out << QString::number(i);
    return out;
}

bool havePerl()
{
    return haveProgram(QStringLiteral("perl"));
}

// Where an .mdx keeps tag i: its header page, and the first leaf (the root of a small tag).
struct MdxTag {
    qsizetype header = 0;
    qsizetype root = 0;
    int itemLength = 0;
};

MdxTag mdxTag(const QByteArray& mdx, int i)
{
    MdxTag t;
    t.header = qsizetype(u32(mdx, 544 + i * 32)) * 512;
    t.root = qsizetype(u32(mdx, t.header)) * 512;
    t.itemLength = uchar(mdx[t.header + 18]) | uchar(mdx[t.header + 19]) << 8;
    return t;
}

struct IndexDamage {
    const char* name;
    std::function<void(QByteArray& index)> apply;
    const char* expected;  // a piece of a fault line expected
};

}  // namespace

TEST(DbaseIndexCheck, IndexesQuilloraWroteAreSound)
{
    QTemporaryDir dir;
    for (const auto& [table, index] :
         {std::pair{"idataconnect-jdbfdriver/TEST.DBF", "idataconnect-jdbfdriver/TEST.MDX"},
          std::pair{"incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx"},
          std::pair{"incubus-dbd-xbase/ndx-num.dbf", "incubus-dbd-xbase/ndx-num.ndx"},
          std::pair{"incubus-dbd-xbase/ndx-date.dbf", "incubus-dbd-xbase/ndx-date.ndx"}}) {
        const QString folder = dir.filePath(QFileInfo(QString::fromLatin1(table)).completeBaseName());
        QDir().mkpath(folder);
        const QString dbf = rebuiltSample(folder, QString::fromLatin1(table), QString::fromLatin1(index));
        EXPECT_EQ(faultLines(dbf), QStringList()) << table;
    }
}

// Each damage of an .mdx tag is named; repair in place rebuilds the index, XBase::Index then
// walks every record once and the check finds nothing.
TEST(DbaseIndexCheck, MdxFaultsAreNamedAndRepaired)
{
    if (!havePerl())
        GTEST_SKIP() << "perl (XBase::Index) is not installed";
    QTemporaryDir dir;
    const IndexDamage cases[] = {
        {"missing_record",
         [](QByteArray& m) {
             const MdxTag t = mdxTag(m, 0);
             putU32(m, t.root, u32(m, t.root) - 1);  // the last entry dropped
         },
         "tag TEST1, registro 2: não está no índice (chave \"test2\")"},
        {"key_differs",
         [](QByteArray& m) {
             const MdxTag t = mdxTag(m, 0);
             m[t.root + 8 + 4] = '!';  // "0test3" -> "!test3", still the smallest
         },
         "tag TEST1, registro 3: a chave no índice é \"!test3\", mas o registro dá \"0test3\""},
        {"out_of_order",
         [](QByteArray& m) {
             const MdxTag t = mdxTag(m, 0);
             const QByteArray first = m.mid(t.root + 8, t.itemLength);
             m.replace(t.root + 8, t.itemLength, m.mid(t.root + 8 + t.itemLength, t.itemLength));
             m.replace(t.root + 8 + t.itemLength, t.itemLength, first);
         },
         "tag TEST1, registro 3: chave \"0test3\" fora de ordem (posição 2 do índice)"},
        {"page_out_of_range",
         [](QByteArray& m) { putU32(m, mdxTag(m, 1).header, 9999); },
         "tag TEST2, página 9999: aponta para fora do arquivo do índice"},
        {"loop",
         [](QByteArray& m) {
             // The root becomes an interior node whose only child is itself.
             const MdxTag t = mdxTag(m, 0);
             putU32(m, t.root, 0);
             putU32(m, t.root + 8, quint32(t.root / 512));
         },
         "alcançada de novo (laço ou página usada duas vezes na árvore)"},
        {"pages_counted",
         [](QByteArray& m) { putU32(m, 32, 400); },
         "o cabeçalho conta 400 páginas, mas o arquivo tem"},
    };
    for (const IndexDamage& d : cases) {
        const QString folder = dir.filePath(QString::fromLatin1(d.name));
        QDir().mkpath(folder);
        const QString dbf = rebuiltSample(folder, QStringLiteral("idataconnect-jdbfdriver/TEST.DBF"),
                                          QStringLiteral("idataconnect-jdbfdriver/TEST.MDX"));
        const QString mdx = folder + QStringLiteral("/TEST.MDX");
        const QStringList records = perlRecords(dbf);
        QByteArray bytes = readFile(mdx);
        d.apply(bytes);
        writeFile(mdx, bytes);

        const check::CheckReport report = check::checkTable(dbf);
        QStringList lines;
        for (const check::Fault& f : report.faults)
            lines << check::formatFault(f);
        EXPECT_TRUE(lines.join('\n').contains(QString::fromUtf8(d.expected)))
            << d.name << ":\n" << lines.join('\n').toStdString();
        EXPECT_FALSE(check::damagedRecords(report)) << d.name;

        const check::RepairOutcome outcome = check::repairInPlace(dbf, report);
        EXPECT_TRUE(outcome.done.join('\n').contains(QStringLiteral("índices reconstruídos"))) << d.name;
        EXPECT_EQ(faultLines(dbf), QStringList()) << d.name;
        for (const QString& tag : {QStringLiteral("TEST1"), QStringLiteral("TEST2")})
            EXPECT_EQ(walkedRecords(mdx, tag), oneToN(3)) << d.name << " " << tag.toStdString();
        EXPECT_EQ(perlRecords(dbf), records) << d.name;
    }
}

// The same for the tree of an .ndx (five keys a block, so that its 28 records need interior
// blocks): a separator that does not separate, a count that does not fit its block.
TEST(DbaseIndexCheck, NdxTreeFaultsAreNamedAndRepaired)
{
    if (!havePerl())
        GTEST_SKIP() << "perl (XBase::Index) is not installed";
    QTemporaryDir dir;
    const IndexDamage cases[] = {
        {"separator",
         [](QByteArray& n) {
             const qsizetype root = qsizetype(u32(n, 0)) * 512;
             n[root + 4 + 8] = '~';  // the first key of the root, above every key at its right
         },
         "vem depois da primeira chave da página"},
        {"count",
         [](QByteArray& n) { putU32(n, 512, 99); },  // block 1, a leaf
         "bloco 1: diz ter 99 chaves, mas só cabem 5"},
    };
    for (const IndexDamage& d : cases) {
        const QString folder = dir.filePath(QString::fromLatin1(d.name));
        QDir().mkpath(folder);
        const QString dbf = rebuiltSample(folder, QStringLiteral("incubus-dbd-xbase/ndx-char.dbf"),
                                          QStringLiteral("incubus-dbd-xbase/ndx-char.ndx"));
        const QString ndx = folder + QStringLiteral("/ndx-char.ndx");
        QByteArray bytes = readFile(ndx);
        ASSERT_NE(u32(bytes, 0), 1u) << "the tree has interior blocks";
        d.apply(bytes);
        writeFile(ndx, bytes);
        const check::CheckReport report = check::checkTable(dbf);
        QStringList lines;
        for (const check::Fault& f : report.faults)
            lines << check::formatFault(f);
        EXPECT_TRUE(lines.join('\n').contains(QString::fromUtf8(d.expected)))
            << d.name << ":\n" << lines.join('\n').toStdString();
        check::repairInPlace(dbf, report);
        EXPECT_EQ(faultLines(dbf), QStringList()) << d.name;
        EXPECT_EQ(walkedRecords(ndx, QString()), oneToN(28)) << d.name;
    }
}

// Perl XBase appends without touching the .ndx: the check names the records it lacks, repair
// writes the .ndx anew and XBase::Index finds them. An .ndx left marked out of date is named too.
TEST(DbaseIndexCheck, StaleNdxIsNamedAndRepaired)
{
    if (!havePerl())
        GTEST_SKIP() << "perl (XBase) is not installed";
    QTemporaryDir dir;
    for (const bool markedStale : {false, true}) {
        const QString folder = dir.filePath(markedStale ? QStringLiteral("marked") : QStringLiteral("appended"));
        QDir().mkpath(folder);
        const QString dbf = rebuiltSample(folder, QStringLiteral("incubus-dbd-xbase/ndx-char.dbf"),
                                          QStringLiteral("incubus-dbd-xbase/ndx-char.ndx"));
        const QString ndx = folder + QStringLiteral("/ndx-char.ndx");
        QString expected;
        if (markedStale) {
            ASSERT_TRUE(QFile::rename(ndx, ndx + QStringLiteral(".desatualizado")));
            expected = QStringLiteral("ndx-char.ndx.desatualizado: índice marcado como desatualizado");
        } else {
            QString err;
            ASSERT_EQ(runProgram(QStringLiteral("perl"),
                                 {QStringLiteral("-MXBase"), QStringLiteral("-e"),
                                  QStringLiteral("my $t = XBase->new($ARGV[0]) or die XBase->errstr;"
                                                 "for my $v ('zz', 'aa') { $t->set_record($t->last_record + 1, $v)"
                                                 " or die $t->errstr } $t->close"),
                                  dbf},
                                 nullptr, &err),
                      0)
                << err.toStdString();
            expected = QStringLiteral("ndx-char.ndx: registro 29: não está no índice (chave \"zz\")\n");
        }
        const check::CheckReport report = check::checkTable(dbf);
        QStringList lines;
        for (const check::Fault& f : report.faults)
            lines << check::formatFault(f);
        EXPECT_TRUE((lines.join('\n') + '\n').contains(expected)) << lines.join('\n').toStdString();
        if (!markedStale) {
            EXPECT_TRUE(lines.join('\n').contains(QStringLiteral("registro 30: não está no índice (chave \"aa\")")));
        }

        check::repairInPlace(dbf, report);
        EXPECT_EQ(faultLines(dbf), QStringList());
        EXPECT_FALSE(QFile::exists(ndx + QStringLiteral(".desatualizado")));
        EXPECT_EQ(walkedRecords(ndx, QString()), oneToN(markedStale ? 28 : 30));
    }
}

TEST(DbaseIndexCheck, MissingProductionIndexIsNamedAndForgotten)
{
    QTemporaryDir dir;
    const QString dbf = rebuiltSample(dir.path(), QStringLiteral("idataconnect-jdbfdriver/TEST.DBF"),
                                      QStringLiteral("idataconnect-jdbfdriver/TEST.MDX"));
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("TEST.MDX"))));
    const check::CheckReport report = check::checkTable(dbf);
    ASSERT_EQ(report.faults.size(), 1u);
    EXPECT_EQ(check::formatFault(report.faults.front()),
              dbf + QStringLiteral(": cabeçalho: o cabeçalho indica um índice de produção, mas TEST.mdx não existe "
                                   "(dBase e o BDE recusam abrir a tabela)"));
    check::repairInPlace(dbf, report);
    EXPECT_EQ(readFile(dbf)[28], 0);
    EXPECT_EQ(faultLines(dbf), QStringList());
}

TEST(DbaseIndexCheck, AHostileIndexIsAFaultNotAHang)
{
    QTemporaryDir dir;
    const QString dbf = rebuiltSample(dir.path(), QStringLiteral("idataconnect-jdbfdriver/TEST.DBF"),
                                      QStringLiteral("idataconnect-jdbfdriver/TEST.MDX"));
    const QString mdx = dir.filePath(QStringLiteral("TEST.MDX"));
    QByteArray bytes = readFile(mdx);
    // Every node page claims to be an interior node pointing at every other page.
    const MdxTag t = mdxTag(bytes, 0);
    for (qsizetype at = t.root + 8; at + 4 <= t.root + 1024; at += t.itemLength)
        putU32(bytes, at, quint32(t.root / 512));
    putU32(bytes, t.root, 1);
    writeFile(mdx, bytes);
    const QStringList lines = faultLines(dbf);
    EXPECT_FALSE(lines.isEmpty());
    EXPECT_LT(lines.size(), 50);
}

// A repaired copy keeps the table's indexes: the .mdx with the same tags (production mark set)
// and the .ndx under the copy's name, both written from the saved records.
TEST(DbaseIndexCheck, RepairedCopyKeepsTheIndexes)
{
    if (!havePerl())
        GTEST_SKIP() << "perl (XBase::Index) is not installed";
    QTemporaryDir dir;
    struct Case {
        const char* table;
        const char* index;
        const char* copyIndex;
        QStringList tags;  // empty: an .ndx
        int records;
    };
    const Case cases[] = {
        {"idataconnect-jdbfdriver/TEST.DBF", "idataconnect-jdbfdriver/TEST.MDX", "NOVA.mdx",
         {QStringLiteral("TEST1"), QStringLiteral("TEST2")}, 3},
        {"incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx", "NOVA.ndx", {QString()}, 28},
    };
    for (const Case& c : cases) {
        const QString folder = dir.filePath(QFileInfo(QString::fromLatin1(c.table)).completeBaseName());
        QDir().mkpath(folder);
        const QString dbf = rebuiltSample(folder, QString::fromLatin1(c.table), QString::fromLatin1(c.index));
        QByteArray bytes = readFile(dbf);
        const int headerLen = uchar(bytes[8]) | uchar(bytes[9]) << 8;
        bytes[headerLen] = 'X';  // a bad deletion flag: damage in the records
        writeFile(dbf, bytes);
        const QString out = folder + QStringLiteral("/NOVA.dbf");
        check::repairToCopy(dbf, out);
        EXPECT_EQ(faultLines(out), QStringList()) << c.table;
        for (const QString& tag : c.tags)
            EXPECT_EQ(walkedRecords(folder + QLatin1Char('/') + QLatin1String(c.copyIndex), tag), oneToN(c.records))
                << c.table << " " << tag.toStdString();
        EXPECT_EQ(readFile(out)[28], c.tags.first().isEmpty() ? 0 : 1) << c.table;
        EXPECT_EQ(perlRecords(out).size(), c.records) << c.table;
    }
}

// A tag with a FOR condition holds only the records that meet it: one that does not is named,
// the records left out are not, and a repair in place writes the tag as its condition says.
TEST(DbaseIndexCheck, TagWithForConditionHoldsOnlyTheRecordsThatMeetIt)
{
    QTemporaryDir dir;
    const QString dbf = copyTableWithForTag(dir.path());  // NAMETAG FOR QTY > 0; Ana has -3 and is listed
    const check::CheckReport report = check::checkTable(dbf);
    QStringList lines;
    for (const check::Fault& f : report.faults)
        lines << check::formatFault(f);
    EXPECT_EQ(lines.filter(QStringLiteral("NAMETAG")),
              QStringList{QStringLiteral("%1: tag NAMETAG, registro 2: está no índice, mas não atende à condição FOR (QTY > 0)")
                              .arg(dir.filePath(QStringLiteral("XSQL.MDX")))})
        << lines.join('\n').toStdString();

    check::repairInPlace(dbf, report);
    EXPECT_EQ(faultLines(dbf), QStringList());
    const QString mdx = dir.filePath(QStringLiteral("XSQL.MDX"));
    if (!havePerl())
        GTEST_SKIP() << "perl is not installed: the repaired tag was not walked";
    EXPECT_EQ(walkedRecords(mdx, QStringLiteral("NAMETAG")), (QStringList{QStringLiteral("1"), QStringLiteral("3")}));
}
