// Real tables whose indexes once kept them read-only, written now: character keys under the
// code-page marks 0x00-0x03 (kept in byte order), level-7 .mdx files, tags with a FOR condition.
// Each case is a copy of a sample edited through the engine (append, edit, delete), reopened,
// and its indexes walked page by page here, by Perl's XBase::Index, and checked by checkTable.
#include "tables/Table.h"
#include "tables/check/TableCheck.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseTable.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseIndexWalk.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QDir>
#include <QFile>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace quillora;
using namespace quillora::test;
using quillora::dbase::DbaseTable;

namespace {

quint32 u32(const QByteArray& b, qsizetype at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
        | quint32(uchar(b[at + 3])) << 24;
}

int u16(const QByteArray& b, qsizetype at)
{
    return uchar(b[at]) | uchar(b[at + 1]) << 8;
}

// A dBase IV .mdx laid out as dBase 7 lays it out: 48-byte tag entries whose name takes 33 bytes
// (format, links and key type follow it); the file header, tag headers and trees are alike.
QByteArray toLevel7(const QByteArray& mdx)
{
    const int used = u16(mdx, 28);
    QByteArray table(qsizetype(used) * 48, '\0');
    for (int i = 0; i < used; ++i) {
        const QByteArray old = mdx.mid(544 + qsizetype(i) * 32, 32);
        char* e = table.data() + qsizetype(i) * 48;
        std::copy_n(old.constData(), 4, e);           // tag header page
        std::copy_n(old.constData() + 4, 11, e + 4);  // name, NUL padded to 33
        std::copy_n(old.constData() + 15, 5, e + 37);  // key format, links, reserved
        e[42] = old[20];                               // key type
    }
    QByteArray out = mdx;
    out.replace(544, table.size(), table);
    out[26] = char(48);
    return out;
}

// Gives tag i of an .mdx a FOR condition (its keys are stale until the tag is written anew).
void setCondition(QByteArray& mdx, int tag, const QByteArray& condition)
{
    const qsizetype header = qsizetype(u32(mdx, 544 + qsizetype(tag) * uchar(mdx[26]))) * 512;
    mdx[header + 245] = 1;
    mdx.replace(header + 762, condition.size() + 1, condition + '\0');
}

// Gives tag i of a dBase IV .mdx another key: an expression of the given type and length (its
// keys are stale until the tag is written anew).
void retag(QByteArray& mdx, int i, const QByteArray& expression, char type, int keyLength)
{
    auto put16 = [&](qsizetype at, int v) {
        mdx[at] = char(v & 0xFF);
        mdx[at + 1] = char(v >> 8);
    };
    const qsizetype entry = 544 + qsizetype(i) * 32;
    mdx[entry + 15] = 0;  // an expression, not a plain field
    mdx[entry + 20] = type;
    const qsizetype h = qsizetype(u32(mdx, entry)) * 512;
    const int item = 4 + (keyLength + 3) / 4 * 4;
    mdx[h + 9] = type;
    put16(h + 12, keyLength);
    put16(h + 14, (u16(mdx, 22) - 8) / item);
    put16(h + 16, type == 'D' ? 1 : 0);
    put16(h + 18, item);
    mdx.replace(h + 24, expression.size() + 1, expression + '\0');
}

// One index of a case: the tag (empty for an .ndx), the field that is its key, and which
// records belong in it (computed here from the values; null: every record).
struct TagCheck {
    QString tag;
    int field = 0;
    std::function<bool(const QList<Value>&)> in;
};

struct Case {
    const char* name;
    const char* table;
    const char* index;
    int driver = -1;  // language driver byte given to the copy; -1: as it is
    bool level7 = false;
    QList<std::pair<int, QByteArray>> conditions;  // FOR conditions given to tags
    QList<TagCheck> tags;
    // Another table's .mdx put beside this one: its name, and the tags given this table's keys.
    const char* indexAs = nullptr;
    std::function<void(QByteArray&)> reshape = {};
};

QString prepare(const QString& dir, const Case& c)
{
    const QString dbf = copySample(dir, QString::fromLatin1(c.table), QString::fromLatin1(c.index));
    QString index = QDir(dir).filePath(QFileInfo(QString::fromLatin1(c.index)).fileName());
    // The table's memo file goes along.
    const QFileInfo source(sample(QStringLiteral("dbase/") + QString::fromLatin1(c.table)));
    for (const QString& suffix : {QStringLiteral("dbt"), QStringLiteral("DBT")}) {
        const QString memo = source.dir().filePath(source.completeBaseName() + QLatin1Char('.') + suffix);
        if (QFileInfo::exists(memo)) {
            const QString copy = QDir(dir).filePath(QFileInfo(memo).fileName());
            EXPECT_TRUE(QFile::copy(memo, copy));
            QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        }
    }
    if (c.indexAs) {
        const QString moved = QDir(dir).filePath(QString::fromLatin1(c.indexAs));
        EXPECT_TRUE(QFile::rename(index, moved));
        index = moved;
        QByteArray b = readFile(dbf);
        b[28] = 1;  // the table's production index
        writeFile(dbf, b);
    }
    if (c.driver >= 0) {
        QByteArray b = readFile(dbf);
        b[29] = char(c.driver);
        writeFile(dbf, b);
    }
    QByteArray ix = readFile(index);
    if (c.reshape)
        c.reshape(ix);
    if (c.level7)
        ix = toLevel7(ix);
    for (const auto& [tag, condition] : c.conditions)
        setCondition(ix, tag, condition);
    writeFile(index, ix);
    return dbf;
}

bool textKey(const FieldDef& f)
{
    return f.nativeType == 'C';
}

// What an index must hold after the edits: each record that belongs in it (deleted ones too, as
// dBase keeps them) with its key, in key order (text by bytes, numbers and dates by value; equal
// keys by record number), as shownEntries() prints them.
QStringList expected(DbaseTable& t, const TagCheck& check, int keyLength)
{
    const FieldDef& f = t.fields()[check.field];
    int offset = 1;
    for (int i = 0; i < check.field; ++i)
        offset += t.fields()[i].size;
    struct Item {
        QByteArray text;
        double number = 0;
        quint32 record = 0;
    };
    std::vector<Item> items;
    QByteArray raw;
    for (qint64 id = 1; id <= t.physicalCount(); ++id) {
        t.read(id, raw);
        QList<Value> values;
        for (int i = 0; i < t.fields().size(); ++i)
            values << t.value(raw, i);
        if (check.in && !check.in(values))
            continue;
        Item item;
        item.record = quint32(id);
        const Value v = values[check.field];
        if (textKey(f)) {
            item.text = raw.mid(offset, f.size).leftJustified(keyLength, ' ', true);
        } else if (v.kind() == Value::Kind::Date) {
            item.number = double(v.asDate().toJulianDay());
        } else {
            v.toNumber(&item.number);  // blank: 0
        }
        items.push_back(item);
    }
    std::stable_sort(items.begin(), items.end(), [&](const Item& a, const Item& b) {
        return textKey(f) ? a.text < b.text : a.number < b.number;
    });
    QStringList out;
    for (const Item& i : items)
        out << QStringLiteral("%1:%2").arg(i.record).arg(textKey(f) ? rightTrimmed(i.text)
                                                                    : QString::number(i.number, 'g', 12));
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

void writeAndCheck(const Case& c)
{
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString dbf = prepare(dir.path(), c);
    const QString index = dir.filePath(c.indexAs ? QString::fromLatin1(c.indexAs)
                                                 : QFileInfo(QString::fromLatin1(c.index)).fileName());
    {
        DbaseTable t(dbf);
        for (const IndexDef& d : t.indexes())
            EXPECT_FALSE(d.has(ixNonMaintained)) << d.name.toStdString();
        ASSERT_EQ(errorText([&] { t.beginWrite(); }), QStringLiteral("<no error>"));
    }
    const qint64 before = DbaseTable(dbf).physicalCount();
    const QStringList files = QDir(dir.path()).entryList(QDir::Files);
    edit(dbf, 300);

    DbaseTable t(dbf);
    EXPECT_EQ(t.physicalCount(), before + 300);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), files);  // nothing left out of date
    for (const IndexDef& d : t.indexes()) {
        EXPECT_FALSE(d.has(ixNonMaintained)) << d.name.toStdString();
        EXPECT_FALSE(d.has(ixOutOfDate)) << d.name.toStdString();
    }
    EXPECT_EQ(errorText([&] { t.beginWrite(); }), QStringLiteral("<no error>"));
    for (const TagCheck& check : c.tags) {
        SCOPED_TRACE(check.tag.toStdString());
        QStringList faults;
        int keyLength = 0;
        const std::vector<Entry> walked = walkIndex(index, check.tag, faults, &keyLength);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
        const bool text = textKey(t.fields()[check.field]);
        const QStringList want = expected(t, check, keyLength);
        ASSERT_GT(want.size(), 100);
        if (check.in) {
            EXPECT_LT(want.size(), t.physicalCount());  // the condition leaves records out
        }
        EXPECT_EQ(shownEntries(walked, text ? 'C' : (t.fields()[check.field].nativeType == 'D' ? 'D' : 'N'),
                               check.tag.isEmpty()),
                  want);
        // Perl's reader finds every record that belongs in the index, text keys as stored.
        if (text) {
            EXPECT_EQ(perlWalk(index, check.tag), want);
        } else {
            QStringList inOrder;
            for (const QString& e : want)
                inOrder << e.section(QLatin1Char(':'), 0, 0);
            EXPECT_EQ(perlRecords(index, check.tag), inOrder);
        }
        if (!check.in) {  // tags with a condition are not offered as an order
            QList<qint64> live;
            for (const Entry& e : walked)
                if (!t.isDeleted(e.record))
                    live << e.record;
            EXPECT_EQ(tableOrder(dbf, check.tag.isEmpty() ? QFileInfo(index).completeBaseName() : check.tag), live);
        }
    }
    const check::CheckReport report = check::checkTable(dbf);
    EXPECT_TRUE(report.sound()) << (report.faults.empty() ? std::string() : check::formatFault(report.faults.front()).toStdString());
}

bool numberAbove(const Value& v, double limit)
{
    double d = 0;
    return v.toNumber(&d) && d > limit;
}

}  // namespace

// The code-page marks 0x00-0x03 name no sort order: every sample index found on such a table keeps
// its character keys in plain byte order, so that is the order they are kept in.
TEST(DbaseWritable, sampleIndexesOnTablesWithoutADriverOrderKeysByByte)
{
    QUILLORA_REQUIRE_SAMPLES();
    QStringList seen;
    QDirIterator it(sample(QStringLiteral("dbase")), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo index(it.next());
        const QString suffix = index.suffix().toLower();
        if (suffix != u"ndx" && suffix != u"mdx")
            continue;
        QString dbf;
        for (const QString& s : {QStringLiteral("dbf"), QStringLiteral("DBF")})
            if (QFileInfo::exists(index.dir().filePath(index.completeBaseName() + QLatin1Char('.') + s)))
                dbf = index.dir().filePath(index.completeBaseName() + QLatin1Char('.') + s);
        ASSERT_FALSE(dbf.isEmpty()) << index.filePath().toStdString();
        const int driver = uchar(readFile(dbf)[29]);
        if (driver > 3)
            continue;
        const QByteArray file = readFile(index.filePath());
        QStringList tags;
        if (suffix == u"ndx") {
            if (u16(file, 16) == 0)  // character keys
                tags << QString();
        } else {
            for (int i = 0; i < u16(file, 28); ++i) {
                const qsizetype e = 544 + qsizetype(i) * uchar(file[26]);
                if (file[e + (uchar(file[26]) == 32 ? 20 : 42)] == 'C')
                    tags << QString::fromLatin1(file.mid(e + 4, uchar(file[26]) == 32 ? 11 : 33).constData());
            }
        }
        for (const QString& tag : tags) {
            QStringList faults;
            const std::vector<Entry> keys = walkIndex(index.filePath(), tag, faults);
            EXPECT_TRUE(faults.isEmpty()) << index.filePath().toStdString();
            EXPECT_GT(keys.size(), size_t(10));
            for (size_t i = 1; i < keys.size(); ++i)
                EXPECT_LE(keys[i - 1].key, keys[i].key) << index.filePath().toStdString() << " entry " << i;
            seen << QStringLiteral("%1 %2 0x%3").arg(index.fileName(), tag).arg(driver, 2, 16, QLatin1Char('0'));
        }
    }
    seen.sort();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("ndx-char.ndx  0x00"), QStringLiteral("test_ix.NDX  0x00")}));
}

TEST(DbaseWritable, tablesOnceReadOnlyForTheirIndexesAreWrittenAndTheirIndexesKept)
{
    QUILLORA_REQUIRE_SAMPLES();
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    registerDbaseFormat();
    const char* xsql = "generated-xbase64-4.1.11/XSQL.DBF";
    const char* xsqlMdx = "generated-xbase64-4.1.11/XSQL.MDX";
    const char* test = "idataconnect-jdbfdriver/TEST.DBF";
    const char* testMdx = "idataconnect-jdbfdriver/TEST.MDX";
    const TagCheck name{QStringLiteral("NAMETAG"), 0, {}};
    const TagCheck qty{QStringLiteral("QTYTAG"), 2, {}};
    // XSQL: NAME C20, BORN D, QTY N9.2, OK L. TEST: TEST1 C50, TEST2 N10.
    const auto positiveQty = [](const QList<Value>& v) { return numberAbove(v[2], 0); };
    const auto okOnly = [](const QList<Value>& v) { return v[3].kind() == Value::Kind::Boolean && v[3].asBoolean(); };
    const auto bigTest2 = [](const QList<Value>& v) { return numberAbove(v[1], 1000); };
    const Case cases[] = {
        // Character keys under each code-page mark.
        {"ndx-char 0x00", "incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx", 0x00, false, {}, {{QString(), 0, {}}}},
        {"ndx-char 0x01", "incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx", 0x01, false, {}, {{QString(), 0, {}}}},
        {"ndx-char 0x02", "incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx", 0x02, false, {}, {{QString(), 0, {}}}},
        {"test_ix 0x03", "emelhu-ndbfreaderex/test_ix.DBF", "emelhu-ndbfreaderex/test_ix.NDX", 0x03, false, {}, {{QString(), 0, {}}}},
        {"XSQL 0x03", xsql, xsqlMdx, 0x03, false, {}, {name, qty}},
        {"TEST 0x01", test, testMdx, 0x01, false, {}, {{QStringLiteral("TEST1"), 0, {}}, {QStringLiteral("TEST2"), 1, {}}}},
        // Level-7 tag tables.
        {"XSQL level 7", xsql, xsqlMdx, -1, true, {}, {name, qty}},
        {"TEST level 7 0x02", test, testMdx, 0x02, true, {}, {{QStringLiteral("TEST1"), 0, {}}, {QStringLiteral("TEST2"), 1, {}}}},
        // FOR conditions: records enter and leave the tags as their values change.
        {"XSQL FOR QTY > 0", xsql, xsqlMdx, -1, false, {{0, "QTY > 0"}}, {{QStringLiteral("NAMETAG"), 0, positiveQty}, qty}},
        {"XSQL FOR OK on both", xsql, xsqlMdx, -1, false, {{0, "OK"}, {1, ".NOT. OK"}},
         {{QStringLiteral("NAMETAG"), 0, okOnly},
          {QStringLiteral("QTYTAG"), 2, [&](const QList<Value>& v) { return !okOnly(v); }}}},
        {"TEST FOR TEST2 > 1000", test, testMdx, -1, false, {{0, "TEST2 > 1000"}},
         {{QStringLiteral("TEST1"), 0, bigTest2}, {QStringLiteral("TEST2"), 1, {}}}},
        {"XSQL level 7 FOR", xsql, xsqlMdx, -1, true, {{1, "QTY > 0 .AND. UPPER(LEFT(NAME, 1)) <> 'A'"}},
         {name, {QStringLiteral("QTYTAG"), 2, [&](const QList<Value>& v) {
                     return positiveQty(v) && v[0].asText().left(1).toUpper() != QStringLiteral("A");
                 }}}},
        // A level-7 table (dBASE Plus, driver DB866RU0, whose text order is not known here: a
        // date and a number tag) with a level-7 .mdx.
        {"dBaseVII level 7", "luads-php-xbase/dBaseVII.dbf", xsqlMdx, -1, true, {{1, "MONEY > 0"}},
         {{QStringLiteral("NAMETAG"), 1, {}},
          {QStringLiteral("QTYTAG"), 4, [](const QList<Value>& v) { return numberAbove(v[4], 0); }}},
         "dBaseVII.mdx",
         [](QByteArray& mdx) {
             retag(mdx, 0, "BIRTHDAY", 'D', 8);
             retag(mdx, 1, "MONEY", 'N', 12);
             mdx.replace(4, 16, QByteArray("dBaseVII").leftJustified(16, '\0'));  // the table it belongs to
         }},
    };
    for (const Case& c : cases)
        writeAndCheck(c);
}

// A tag whose condition (or key) needs a function the evaluator lacks keeps the table read-only,
// and the refusal names the function.
TEST(DbaseWritable, aConditionWithAnUnknownFunctionKeepsTheTableReadOnly)
{
    QUILLORA_REQUIRE_SAMPLES();
    struct Refusal {
        int tag;
        QByteArray condition;
        QString why;
    };
    const Refusal refusals[] = {
        {0, "SOUNDEX(NAME) = 'A'",
         QStringLiteral("a tag NAMETAG do índice XSQL.MDX tem uma condição FOR que o Quillora não sabe calcular "
                        "(SOUNDEX(NAME) = 'A'): Expressão de índice não suportada: SOUNDEX(NAME) = 'A' (função SOUNDEX "
                        "desconhecida)")},
        {1, "QTY > 0 .AND. ISBLANK(BORN)",
         QStringLiteral("a tag QTYTAG do índice XSQL.MDX tem uma condição FOR que o Quillora não sabe calcular "
                        "(QTY > 0 .AND. ISBLANK(BORN)): Expressão de índice não suportada: QTY > 0 .AND. ISBLANK(BORN) "
                        "(função ISBLANK desconhecida)")},
        {1, "NAME", QStringLiteral("a tag QTYTAG do índice XSQL.MDX tem a condição FOR NAME, que não dá verdadeiro ou falso")},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.condition.toStdString());
        QTemporaryDir dir;
        const QString dbf = prepare(dir.path(), {"", "generated-xbase64-4.1.11/XSQL.DBF", "generated-xbase64-4.1.11/XSQL.MDX",
                                                 -1, false, {{r.tag, r.condition}}, {}});
        const QByteArray dbfBefore = readFile(dbf);
        const QByteArray mdxBefore = readFile(dir.filePath(QStringLiteral("XSQL.MDX")));
        DbaseTable t(dbf);
        EXPECT_TRUE(t.indexes()[r.tag].has(ixNonMaintained));
        EXPECT_EQ(errorText([&] { t.beginWrite(); }),
                  QStringLiteral("Não é possível gravar na tabela %1: %2; ela pode ser lida, mas não gravada, para não "
                                 "deixar o índice desatualizado")
                      .arg(dbf, r.why));
        EXPECT_EQ(t.count(), 3);
        EXPECT_EQ(readFile(dbf), dbfBefore);
        EXPECT_EQ(readFile(dir.filePath(QStringLiteral("XSQL.MDX"))), mdxBefore);
    }
}

// Through the table as a user edits it: a record whose new values meet the condition enters the
// tag, one whose values stop meeting it leaves, a deleted one stays (dBase keeps deleted records
// in its tags), appended records go in only when they meet it.
TEST(DbaseWritable, recordsEnterAndLeaveATagWithAConditionAsTheyChange)
{
    QUILLORA_REQUIRE_SAMPLES();
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    registerDbaseFormat();
    QTemporaryDir dir;
    const QString dbf = copyTableWithForTag(dir.path());  // NAMETAG FOR QTY > 0
    const QString mdx = dir.filePath(QStringLiteral("XSQL.MDX"));
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(dbf);
        table.Open();
        table.First();  // Carla, 12.5: leaves
        table.Edit();
        table.FieldByName(QStringLiteral("QTY"))->SetValue(Value::floating(-1));
        table.Post();
        table.Next();  // Ana, -3: enters
        table.Edit();
        table.FieldByName(QStringLiteral("QTY"))->SetValue(Value::floating(5));
        table.Post();
        table.Next();  // Bruno, 7: deleted, stays
        table.Delete();
        for (const auto& [name, qty] : {std::pair{"Zeca", 2.0}, std::pair{"Abel", -2.0}}) {
            table.Append();
            table.FieldByName(QStringLiteral("NAME"))->SetAsString(QString::fromLatin1(name));
            table.FieldByName(QStringLiteral("QTY"))->SetValue(Value::floating(qty));
            table.Post();
        }
        table.Close();
    }
    const QStringList nameTag{QStringLiteral("2:Ana"), QStringLiteral("3:Bruno"), QStringLiteral("4:Zeca")};
    QStringList faults;
    EXPECT_EQ(shownEntries(walkIndex(mdx, QStringLiteral("NAMETAG"), faults), 'C', false), nameTag);
    EXPECT_EQ(perlWalk(mdx, QStringLiteral("NAMETAG")), nameTag);
    EXPECT_EQ(shownEntries(walkIndex(mdx, QStringLiteral("QTYTAG"), faults), 'N', false),
              (QStringList{QStringLiteral("5:-2"), QStringLiteral("1:-1"), QStringLiteral("4:2"), QStringLiteral("2:5"),
                           QStringLiteral("3:7")}));
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(readFile(dbf)[28], 1);
}
