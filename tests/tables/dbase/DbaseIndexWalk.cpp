// Reading index files back as another program would: a walk of every page of an .mdx tag or
// an .ndx, and Perl's XBase::Index; and edits done through the engine.
#include "tests/tables/dbase/DbaseIndexWalk.h"

#include "tables/dbase/DbaseTable.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <set>

using quillora::dbase::DbaseTable;

namespace quillora::test {

namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0;
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
        | quint32(uchar(b[at + 3])) << 24;
}
int u16(const QByteArray& b, qsizetype at)
{
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}

}  // namespace


// Every entry of an .mdx tag (or of an .ndx when tag is empty) in leaf order, walking every page
// from the root. Faults of the tree's shape are added to `faults`: interior keys that are not
// the last key below them, leaves at different depths, pages outside the file or met twice.
std::vector<Entry> walkIndex(const QString& path, const QString& tag, QStringList& faults, int* keyLength)
{
    const QByteArray f = readFile(path);
    const bool mdx = !tag.isEmpty();
    qsizetype pageSize = 512, root = 0;
    int keyLen = 0, item = 0, firstItem = 0, pointerAt = 0;
    if (mdx) {
        pageSize = u16(f, 22);
        quint32 header = 0;
        for (int i = 0; i < u16(f, 28); ++i) {
            const qsizetype e = 544 + qsizetype(i) * uchar(f[26]);
            const int nameLength = uchar(f[26]) == 32 ? 11 : 33;  // level 7: longer names
            if (QString::fromLatin1(f.mid(e + 4, nameLength).constData()) == tag)
                header = u32(f, e);
        }
        if (header == 0) {
            faults << QStringLiteral("tag %1 ausente").arg(tag);
            return {};
        }
        const qsizetype th = qsizetype(header) * 512;
        root = u32(f, th);
        keyLen = u16(f, th + 12);
        item = u16(f, th + 18);
        firstItem = 8;  // after the count and the previous-block link
        pointerAt = 0;
    } else {
        root = u32(f, 0);
        keyLen = u16(f, 12);
        item = u16(f, 18);
        firstItem = 4;
        pointerAt = 0;  // the left child; the record number follows it
    }
    if (keyLength)
        *keyLength = keyLen;
    std::vector<Entry> out;
    std::set<qsizetype> seen;
    int leafDepth = -1;
    // Returns the last key below the node.
    std::function<QByteArray(qsizetype, int)> walk = [&](qsizetype page, int depth) -> QByteArray {
        const qsizetype at = page * 512;
        if (page == 0 || at + pageSize > f.size() || !seen.insert(page).second || depth > 30) {
            faults << QStringLiteral("página %1 inválida ou repetida").arg(page);
            return {};
        }
        const quint32 k = u32(f, at);
        if (firstItem + qsizetype(k) * item + 4 > pageSize) {
            faults << QStringLiteral("página %1 com %2 chaves").arg(page).arg(k);
            return {};
        }
        auto itemAt = [&](quint32 i) { return at + firstItem + qsizetype(i) * item; };
        const bool interior = mdx ? u32(f, itemAt(k)) != 0 : (k > 0 ? u32(f, itemAt(0)) != 0 : u32(f, itemAt(0)) != 0);
        if (!interior) {
            if (leafDepth < 0)
                leafDepth = depth;
            else if (leafDepth != depth)
                faults << QStringLiteral("folhas em profundidades %1 e %2").arg(leafDepth).arg(depth);
            for (quint32 i = 0; i < k; ++i) {
                const qsizetype g = itemAt(i);
                const quint32 record = mdx ? u32(f, g) : u32(f, g + 4);
                out.push_back({record, f.mid(g + (mdx ? 4 : 8), keyLen)});
            }
            return k ? out.back().key : QByteArray();
        }
        for (quint32 i = 0; i < k; ++i) {
            const qsizetype g = itemAt(i);
            const QByteArray last = walk(u32(f, g + pointerAt), depth + 1);
            const QByteArray key = f.mid(g + (mdx ? 4 : 8), keyLen);
            if (last != key)
                faults << QStringLiteral("chave interna da página %1 não é a última da subárvore").arg(page);
        }
        return walk(u32(f, itemAt(k) + pointerAt), depth + 1);
    };
    walk(root, 0);
    return out;
}

// A packed decimal key (.mdx N/F) as a number, decoded here on its own.
double bcd(const QByteArray& k)
{
    QString digits;
    for (int i = 2; i < 12; ++i)
        digits += QStringLiteral("%1").arg(uchar(k[i]), 2, 16, QLatin1Char('0'));
    const double v = (QStringLiteral("0.") + digits).toDouble() * std::pow(10.0, int(uchar(k[0])) - 0x34);
    return (uchar(k[1]) & 0x80) ? -v : v;
}

// Text keys as Perl prints them: trailing blanks dropped.
QString rightTrimmed(const QByteArray& key)
{
    QByteArray k = key;
    while (k.endsWith(' '))
        k.chop(1);
    return QString::fromLatin1(k);
}

double littleDouble(const QByteArray& k)
{
    double d = 0;
    std::memcpy(&d, k.constData(), 8);
    return d;
}

// Every (record, key) pair Perl's XBase::Index walks in one tag (or the .ndx), keys trimmed.
QStringList perlWalk(const QString& path, const QString& tag)
{
    QString out, err;
    const int rc = runProgram(
        QStringLiteral("perl"),
        {QStringLiteral("-MXBase::Index"), QStringLiteral("-e"),
         QStringLiteral("my %o = $ARGV[1] ne '' ? (tag => $ARGV[1]) : ();"
                        "my $i = XBase::Index->new($ARGV[0], %o) or die XBase::Index->errstr;"
                        "$i->prepare_select; while (my ($k, $r) = $i->fetch) { $k =~ s/\\s+$//; print \"$r:$k\\n\" }"),
         path, tag},
        &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList perlRecords(const QString& path, const QString& tag)
{
    QString out, err;
    const int rc = runProgram(
        QStringLiteral("perl"),
        {QStringLiteral("-MXBase::Index"), QStringLiteral("-e"),
         QStringLiteral("my %o = $ARGV[1] ne '' ? (tag => $ARGV[1]) : ();"
                        "my $i = XBase::Index->new($ARGV[0], %o) or die XBase::Index->errstr;"
                        "$i->prepare_select; while (my ($k, $r) = $i->fetch) { print \"$r\\n\" }"),
         path, tag},
        &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// For each text key (blank-padded to the key length), the record Perl's XBase::Index finds
// when it searches for it down from the root, as "record:key".
QStringList perlSeek(const QString& path, const QString& tag, const QStringList& keys, int keyLength)
{
    QString out, err;
    QStringList args{QStringLiteral("-MXBase::Index"), QStringLiteral("-e"),
                     QStringLiteral("my ($f, $t, $len, @keys) = @ARGV; my %o = $t ne '' ? (tag => $t) : ();"
                                    "my $i = XBase::Index->new($f, %o) or die XBase::Index->errstr;"
                                    "for my $k (@keys) { $i->prepare_select_eq($k . (' ' x ($len - length $k)));"
                                    " my ($key, $r) = $i->fetch; $key =~ s/\\s+$// if defined $key;"
                                    " print defined $r ? \"$r:$key\\n\" : \"none:$k\\n\" }"),
                     path, tag, QString::number(keyLength)};
    args += keys;
    const int rc = runProgram(QStringLiteral("perl"), args, &out, &err);
    EXPECT_EQ(rc, 0) << err.toStdString();
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList shownEntries(const std::vector<Entry>& entries, char type, bool ndx)
{
    QStringList out;
    for (const Entry& e : entries) {
        QString key;
        if (type == 'C')
            key = rightTrimmed(e.key);
        else
            key = QString::number(ndx || type == 'D' ? littleDouble(e.key) : bcd(e.key), 'g', 12);
        out << QStringLiteral("%1:%2").arg(e.record).arg(key);
    }
    return out;
}

// A value for a field of the given type, varied by n (with repeats, so that keys have duplicates).
Value sampleValue(const FieldDef& f, int n)
{
    switch (f.nativeType) {
    case 'C': {
        static const char* words[] = {"ana", "Bruno", "carla", "Zeca", "bia", "ANA", "eduardo", "Fabio", "gil"};
        return Value::text(QStringLiteral("%1 %2").arg(QLatin1String(words[n % 9])).arg(n % 37, 3, 10, QLatin1Char('0')));
    }
    case 'N':
    case 'F':
        return f.decimals > 0 ? Value::floating(double((n * 7919) % 2001 - 1000) / 4)
                              : Value::integer((n * 7919) % 20001 - 10000);
    case 'D':
        return n % 11 == 0 ? Value() : Value::date(QDate(1990, 1, 1).addDays((n * 97) % 12000));
    case 'L':
        return Value::boolean(n % 2);
    default:
        return Value();
    }
}

// Appends, changes and deletes some records of a table through the engine, as a user would.
void edit(const QString& dbf, int appends)
{
    DbaseTable t(dbf);
    t.beginWrite();
    const QList<FieldDef> fields = t.fields();
    for (int n = 0; n < appends; ++n) {
        QList<Value> values;
        for (const FieldDef& f : fields)
            values << sampleValue(f, n);
        t.insert(values, NoRecord);
    }
    // The first record gets the values of the last; every seventh record is deleted.
    QList<Value> values;
    QList<bool> changed;
    for (const FieldDef& f : fields) {
        values << sampleValue(f, appends + 3);
        changed << true;
    }
    t.update(1, values, changed);
    for (qint64 id = 2; id <= t.physicalCount(); id += 7)
        t.remove(id);
    t.flush();
}

QString copySample(const QString& dir, const QString& table, const QString& index)
{
    const QString base = sample(QStringLiteral("dbase/"));
    const QString dbf = copyInto(dir, {base + table, base + index});
    for (const QString& f : {dbf, dir + QLatin1Char('/') + QFileInfo(index).fileName()})
        QFile::setPermissions(f, QFile::ReadOwner | QFile::WriteOwner);
    return dbf;
}
}  // namespace quillora::test
