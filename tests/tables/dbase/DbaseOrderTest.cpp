// Index definitions of dBase tables and the order of Table by a tag, checked against the
// order of the keys in the leaf pages of the real index files.

#include "tables/Table.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseTable.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

using namespace quillora;
using namespace quillora::test;
using quillora::dbase::DbaseTable;

namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0;
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
        | quint32(uchar(b[at + 3])) << 24;
}

// Record numbers in the order of an .ndx's leaves, walking the tree from its root.
QList<qint64> ndxLeafOrder(const QString& path)
{
    const QByteArray f = readFile(path);
    const int group = uchar(f[18]) | uchar(f[19]) << 8;
    QList<qint64> out;
    std::function<void(quint32, int)> walk = [&](quint32 block, int depth) {
        const qsizetype at = qsizetype(block) * 512;
        if (depth > 20 || at + 512 > f.size())
            return;
        const quint32 k = u32(f, at);
        for (quint32 i = 0; i < k; ++i) {
            const qsizetype g = at + 4 + qsizetype(i) * group;
            if (u32(f, g))
                walk(u32(f, g), depth + 1);
            else
                out << u32(f, g + 4);
        }
        if (const quint32 last = u32(f, at + 4 + qsizetype(k) * group))
            walk(last, depth + 1);
    };
    walk(u32(f, 0), 0);
    return out;
}

// Record numbers in the order of the leaves of one .mdx tag.
QList<qint64> mdxLeafOrder(const QString& path, const QString& tag)
{
    const QByteArray f = readFile(path);
    const int entry = uchar(f[26]);
    const int used = uchar(f[28]) | uchar(f[29]) << 8;
    const qsizetype blockSize = uchar(f[22]) | uchar(f[23]) << 8;
    quint32 header = 0;
    for (int i = 0; i < used; ++i) {
        const qsizetype e = 544 + qsizetype(i) * entry;
        if (QString::fromLatin1(f.mid(e + 4, 11).constData()).compare(tag, Qt::CaseInsensitive) == 0)
            header = u32(f, e);
    }
    EXPECT_NE(header, 0u) << tag.toStdString();
    const qsizetype th = qsizetype(header) * 512;
    const int item = uchar(f[th + 18]) | uchar(f[th + 19]) << 8;
    QList<qint64> out;
    std::function<void(quint32, int)> walk = [&](quint32 page, int depth) {
        const qsizetype at = qsizetype(page) * 512;
        if (depth > 20 || at + blockSize > f.size())
            return;
        const quint32 k = u32(f, at);
        const bool interior = u32(f, at + 8 + qsizetype(k) * item) != 0;
        for (quint32 i = 0; i <= k; ++i) {
            const quint32 ptr = u32(f, at + 8 + qsizetype(i) * item);
            if (interior)
                walk(ptr, depth + 1);
            else if (i < k)
                out << ptr;
        }
    };
    walk(u32(f, th), 0);
    return out;
}

QList<qint64> withoutDeleted(const QString& dbf, const QList<qint64>& recnos)
{
    DbaseTable t(dbf);
    QList<qint64> out;
    for (qint64 r : recnos)
        if (!t.isDeleted(r))
            out << r;
    return out;
}

QList<qint64> tableOrder(const QString& dbf, const QString& indexName)
{
    Table table(QStringLiteral("Table1"));
    table.Bind(dbf);
    table.SetIndexName(indexName);
    table.Open();
    QList<qint64> out;
    for (table.First(); !table.Eof(); table.Next())
        out << table.RecNo();
    return out;
}

QString describe(const IndexDef& d)
{
    QStringList opts;
    if (d.has(ixDescending)) opts << QStringLiteral("desc");
    if (d.has(ixUnique)) opts << QStringLiteral("unique");
    if (d.has(ixExpression)) opts << QStringLiteral("expr=") + d.expression;
    return QStringLiteral("%1 [%2] %3 %4").arg(d.name, d.fields.join(QLatin1Char(';')), opts.join(QLatin1Char(' ')), d.fileName);
}

}  // namespace

TEST(DbaseOrder, indexDefsAndTagOrderFollowTheIndexFiles)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerDbaseFormat();
    struct Case {
        const char* table;
        const char* indexFile;
        QStringList defs;
    };
    const Case cases[] = {
        {"idataconnect-jdbfdriver/TEST.DBF", "idataconnect-jdbfdriver/TEST.MDX",
         {QStringLiteral("TEST1 [TEST1]  TEST.MDX"), QStringLiteral("TEST2 [TEST2]  TEST.MDX")}},
        {"generated-xbase64-4.1.11/XSQL.DBF", "generated-xbase64-4.1.11/XSQL.MDX",
         {QStringLiteral("NAMETAG [NAME]  XSQL.MDX"), QStringLiteral("QTYTAG [QTY]  XSQL.MDX")}},
        {"incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx", {QStringLiteral("ndx-char [V1]  ndx-char.ndx")}},
        {"incubus-dbd-xbase/ndx-num.dbf", "incubus-dbd-xbase/ndx-num.ndx", {QStringLiteral("ndx-num [FIELD1]  ndx-num.ndx")}},
        {"incubus-dbd-xbase/ndx-date.dbf", "incubus-dbd-xbase/ndx-date.ndx", {QStringLiteral("ndx-date [FIELD1]  ndx-date.ndx")}},
        {"emelhu-ndbfreaderex/test_ix.DBF", "emelhu-ndbfreaderex/test_ix.NDX", {QStringLiteral("test_ix [AAA]  test_ix.NDX")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const QString dbf = sample(QStringLiteral("dbase/") + QString::fromLatin1(c.table));
        const QString index = sample(QStringLiteral("dbase/") + QString::fromLatin1(c.indexFile));
        QStringList defs;
        {
            DbaseTable t(dbf);
            for (const IndexDef& d : t.indexes()) {
                EXPECT_FALSE(d.has(ixNonMaintained));  // writes keep them
                defs << describe(d);
            }
        }
        EXPECT_EQ(defs, c.defs);

        const bool mdx = index.endsWith(QStringLiteral(".MDX"), Qt::CaseInsensitive);
        for (const QString& d : c.defs) {
            const QString tag = d.section(QLatin1Char(' '), 0, 0);
            const QList<qint64> leaves = withoutDeleted(dbf, mdx ? mdxLeafOrder(index, tag) : ndxLeafOrder(index));
            ASSERT_FALSE(leaves.isEmpty()) << tag.toStdString();
            EXPECT_EQ(tableOrder(dbf, tag), leaves) << tag.toStdString();
        }
    }
}

namespace {

// A copy of a table and its .ndx whose key expression is replaced (the keys stay as stored).
QString withNdxExpression(const QString& dir, const char* table, const QByteArray& expression)
{
    const QString base = sample(QStringLiteral("dbase/") + QString::fromLatin1(table));
    const QString ndx = base.left(base.size() - 4) + QStringLiteral(".ndx");
    const QString copy = copyInto(dir, {base, ndx});
    const QString ndxCopy = dir + QLatin1Char('/') + QFileInfo(ndx).fileName();
    QFile::setPermissions(ndxCopy, QFile::ReadOwner | QFile::WriteOwner);
    QByteArray bytes = readFile(ndxCopy);
    bytes.replace(24, expression.size() + 1, expression + '\0');
    writeFile(ndxCopy, bytes);
    return copy;
}

QStringList columnInOrder(const QString& dbf, const QString& indexName, const QString& field)
{
    Table table(QStringLiteral("Table1"));
    table.Bind(dbf);
    table.SetIndexName(indexName);
    table.Open();
    QStringList out;
    for (table.First(); !table.Eof(); table.Next())
        out << table.FieldByName(field)->AsString();
    return out;
}

}  // namespace

TEST(DbaseOrder, expressionTagsOrderByTheirEvaluatedKeys)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerDbaseFormat();
    QTemporaryDir dir;
    // An expression equal in effect to the field: the stored leaf order.
    const QString same = withNdxExpression(dir.path(), "incubus-dbd-xbase/ndx-char.dbf", "substr(v1,1,78)");
    {
        DbaseTable t(same);
        ASSERT_EQ(t.indexes().size(), 1);
        const IndexDef d = t.indexes().first();
        EXPECT_TRUE(d.has(ixExpression));
        EXPECT_TRUE(d.fields.isEmpty());
        EXPECT_EQ(d.expression, QStringLiteral("substr(v1,1,78)"));
    }
    EXPECT_EQ(tableOrder(same, QStringLiteral("ndx-char")),
              withoutDeleted(same, ndxLeafOrder(dir.path() + QStringLiteral("/ndx-char.ndx"))));

    // A key that reverses the numbers: the values come out in the stored order reversed.
    QTemporaryDir dir2;
    const QString negated = withNdxExpression(dir2.path(), "incubus-dbd-xbase/ndx-num.dbf", "0-field1");
    const QStringList ascending = columnInOrder(sample(QStringLiteral("dbase/incubus-dbd-xbase/ndx-num.dbf")),
                                                QStringLiteral("ndx-num"), QStringLiteral("FIELD1"));
    QStringList reversed = ascending;
    std::reverse(reversed.begin(), reversed.end());
    ASSERT_GT(ascending.size(), 2);
    EXPECT_NE(ascending, reversed);
    EXPECT_EQ(columnInOrder(negated, QStringLiteral("ndx-num"), QStringLiteral("FIELD1")), reversed);

    // Dates through DTOS, a string key.
    QTemporaryDir dir3;
    const QString dtos = withNdxExpression(dir3.path(), "incubus-dbd-xbase/ndx-date.dbf", "dtos(field1)");
    EXPECT_EQ(columnInOrder(dtos, QStringLiteral("ndx-date"), QStringLiteral("FIELD1")),
              columnInOrder(sample(QStringLiteral("dbase/incubus-dbd-xbase/ndx-date.dbf")), QStringLiteral("ndx-date"),
                            QStringLiteral("FIELD1")));

    // What cannot be evaluated is refused with the index and the file named.
    QTemporaryDir dir4;
    const QString bad = withNdxExpression(dir4.path(), "incubus-dbd-xbase/ndx-char.dbf", "soundex(v1)");
    const QString text = errorText([&] { columnInOrder(bad, QStringLiteral("ndx-char"), QStringLiteral("V1")); });
    EXPECT_TRUE(text.contains(QStringLiteral("O índice ndx-char de ")) && text.contains(QStringLiteral("ndx-char.dbf")))
        << text.toStdString();
}

TEST(DbaseOrder, characterKeysFollowTheLanguageDriver)
{
    QTemporaryDir dir;
    const QStringList words = {QStringLiteral("Água"), QStringLiteral("ze"), QStringLiteral("acao"), QStringLiteral("ACAO"),
                               QStringLiteral("Ação"), QStringLiteral("1abc"), QStringLiteral("Zé"), QStringLiteral("éter")};
    auto sorted = [&](int ldid) {
        const QString path = dir.path() + QStringLiteral("/t%1.dbf").arg(ldid);
        createDbaseTable(path, {FieldDef{QStringLiteral("NOME"), ftString, 10}}, DbaseLevel::IV, QStringLiteral("IBM850"));
        QByteArray bytes = readFile(path);
        bytes[29] = char(ldid);
        writeFile(path, bytes);
        DbaseTable t(path);
        std::vector<std::pair<QByteArray, QString>> keyed;
        for (const QString& w : words)
            keyed.emplace_back(t.sortKey(0, Value::text(w)), w);
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        QStringList out;
        for (const auto& k : keyed)
            out << k.second;
        return out;
    };
    // DB850PT0: digits after symbols but before letters, upper case first, accents after.
    EXPECT_EQ(sorted(0x25), (QStringList{QStringLiteral("1abc"), QStringLiteral("ACAO"), QStringLiteral("acao"),
                                         QStringLiteral("Ação"), QStringLiteral("Água"), QStringLiteral("éter"),
                                         QStringLiteral("ze"), QStringLiteral("Zé")}));
    // DB850US0: the bytes of cp850.
    EXPECT_EQ(sorted(0x37), (QStringList{QStringLiteral("1abc"), QStringLiteral("ACAO"), QStringLiteral("Ação"),
                                         QStringLiteral("Zé"), QStringLiteral("acao"), QStringLiteral("ze"),
                                         QStringLiteral("éter"), QStringLiteral("Água")}));

    // Numbers by value with blanks as zero, dates by day with blanks first.
    const QString path = dir.path() + QStringLiteral("/n.dbf");
    createDbaseTable(path, {FieldDef{QStringLiteral("N"), ftFloat, 10, 2}, FieldDef{QStringLiteral("D"), ftDate, 0}},
                     DbaseLevel::IV);
    DbaseTable t(path);
    EXPECT_LT(t.sortKey(0, Value::floating(-12.5)), t.sortKey(0, Value::floating(-1)));
    EXPECT_LT(t.sortKey(0, Value::floating(-1)), t.sortKey(0, Value()));
    EXPECT_EQ(t.sortKey(0, Value()), t.sortKey(0, Value::floating(0)));
    EXPECT_LT(t.sortKey(0, Value::floating(0)), t.sortKey(0, Value::floating(0.5)));
    EXPECT_LT(t.sortKey(1, Value()), t.sortKey(1, Value::date(QDate(1900, 1, 1))));
    EXPECT_LT(t.sortKey(1, Value::date(QDate(1999, 12, 31))), t.sortKey(1, Value::date(QDate(2000, 1, 1))));
}

TEST(DbaseOrder, aTagWithAForConditionIsListedButNotUsedForOrder)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerDbaseFormat();
    QTemporaryDir dir;
    const QString dbf = copyTableWithForTag(dir.path());
    const QString mdx = dir.path() + QStringLiteral("/XSQL.MDX");
    {
        DbaseTable t(dbf);
        const IndexDef d = t.indexes().first();
        EXPECT_EQ(d.name, QStringLiteral("NAMETAG"));
        EXPECT_TRUE(d.has(ixExpression));
        EXPECT_EQ(d.expression, QStringLiteral("NAME FOR QTY > 0"));
    }
    const QString text = errorText([&] { tableOrder(dbf, QStringLiteral("NAMETAG")); });
    EXPECT_TRUE(text.contains(QStringLiteral("condição FOR"))) << text.toStdString();
    EXPECT_EQ(tableOrder(dbf, QStringLiteral("QTYTAG")), withoutDeleted(dbf, mdxLeafOrder(mdx, QStringLiteral("QTYTAG"))));
}
