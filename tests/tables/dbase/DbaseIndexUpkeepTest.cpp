// Indexes kept up to date by writes: real .mdx and .ndx files edited, then read back by Perl's
// XBase::Index and by a walk of every page done here, and the order of the reopened table.
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/dbase/DbaseTable.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseIndexWalk.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>

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


// What one index should hold: the key of every record (deleted ones too) computed here from its
// values, in key order (equal keys by record number), as comparable text.
struct Expected {
    char type;  // C: text key; N: number; D: Julian day
    std::function<QVariant(DbaseTable&, const QByteArray&)> key;
    bool descending = false;
    bool unique = false;
};

QStringList expectedEntries(DbaseTable& t, const Expected& e, int keyLength)
{
    std::vector<std::pair<QVariant, quint32>> all;
    QByteArray raw;
    for (qint64 id = 1; id <= t.physicalCount(); ++id) {
        t.read(id, raw);
        all.emplace_back(e.key(t, raw), quint32(id));
    }
    auto less = [&](const QVariant& a, const QVariant& b) {
        if (e.type == 'C')
            return a.toByteArray().leftJustified(keyLength, ' ', true) < b.toByteArray().leftJustified(keyLength, ' ', true);
        return a.toDouble() < b.toDouble();
    };
    std::stable_sort(all.begin(), all.end(), [&](const auto& a, const auto& b) {
        return e.descending ? less(b.first, a.first) : less(a.first, b.first);
    });
    QStringList out;
    for (size_t i = 0; i < all.size(); ++i) {
        if (e.unique && i > 0 && !less(all[i - 1].first, all[i].first) && !less(all[i].first, all[i - 1].first))
            continue;
        out << QStringLiteral("%1:%2").arg(all[i].second).arg(
            e.type == 'C' ? rightTrimmed(all[i].first.toByteArray().left(keyLength))
                          : QString::number(all[i].first.toDouble(), 'g', 12));
    }
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

QList<qint64> liveRecords(const QString& dbf, const std::vector<Entry>& entries)
{
    DbaseTable t(dbf);
    QList<qint64> out;
    for (const Entry& e : entries)
        if (!t.isDeleted(e.record))
            out << e.record;
    return out;
}


QVariant fieldBytes(DbaseTable& t, const QByteArray& raw, int field)
{
    int offset = 1;
    for (int i = 0; i < field; ++i)
        offset += t.fields()[i].size;
    return raw.mid(offset, t.fields()[field].size);
}

QVariant fieldNumber(DbaseTable& t, const QByteArray& raw, int field)
{
    const Value v = t.value(raw, field);
    if (v.kind() == Value::Kind::Date)
        return double(v.asDate().toJulianDay());
    double d = 0;
    v.toNumber(&d);
    return d;  // blank: 0
}

}  // namespace

TEST(DbaseIndexUpkeep, realIndexesStayExactAfterEdits)
{
    QUILLORA_REQUIRE_SAMPLES();
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    registerDbaseFormat();
    struct Case {
        const char* table;
        const char* index;
        QStringList tags;  // empty: an .ndx
        QList<int> fields;
    };
    const Case cases[] = {
        {"idataconnect-jdbfdriver/TEST.DBF", "idataconnect-jdbfdriver/TEST.MDX", {QStringLiteral("TEST1"), QStringLiteral("TEST2")}, {0, 1}},
        {"generated-xbase64-4.1.11/XSQL.DBF", "generated-xbase64-4.1.11/XSQL.MDX", {QStringLiteral("NAMETAG"), QStringLiteral("QTYTAG")}, {0, 2}},
        {"incubus-dbd-xbase/ndx-char.dbf", "incubus-dbd-xbase/ndx-char.ndx", {}, {0}},
        {"incubus-dbd-xbase/ndx-num.dbf", "incubus-dbd-xbase/ndx-num.ndx", {}, {0}},
        {"incubus-dbd-xbase/ndx-date.dbf", "incubus-dbd-xbase/ndx-date.ndx", {}, {0}},
        {"emelhu-ndbfreaderex/test_ix.DBF", "emelhu-ndbfreaderex/test_ix.NDX", {}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        QTemporaryDir dir;
        const QString dbf = copySample(dir.path(), QString::fromLatin1(c.table), QString::fromLatin1(c.index));
        const QString index = dir.filePath(QFileInfo(QString::fromLatin1(c.index)).fileName());
        QList<IndexDef> before;
        {
            DbaseTable t(dbf);
            before = t.indexes();
        }
        const QByteArray indexBefore = readFile(index);
        edit(dbf, 300);
        // The header as other programs read it stays: .ndx expression text as stored, .mdx
        // header and tag table but for page numbers, counts and the update date.
        const QByteArray indexAfter = readFile(index);
        if (c.tags.isEmpty()) {
            EXPECT_EQ(indexAfter.mid(8, 4), indexBefore.mid(8, 4));
            EXPECT_EQ(indexAfter.mid(12, 500), indexBefore.mid(12, 500));
        } else {
            EXPECT_EQ(indexAfter.left(32), indexBefore.left(32));
            EXPECT_EQ(indexAfter.mid(47, 544 - 47), indexBefore.mid(47, 544 - 47));
            for (int i = 0; i < 2; ++i)  // each tag entry but its header page, which moves
                EXPECT_EQ(indexAfter.mid(544 + i * 32 + 4, 28), indexBefore.mid(544 + i * 32 + 4, 28));
        }

        // Nothing left marked out of date, and the same index definitions.
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
        EXPECT_EQ(readFile(dbf)[28], c.tags.isEmpty() ? 0 : 1);
        DbaseTable t(dbf);
        const QList<IndexDef> after = t.indexes();
        ASSERT_EQ(after.size(), before.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            EXPECT_EQ(after[i].name, before[i].name);
            EXPECT_EQ(after[i].fields, before[i].fields);
            EXPECT_EQ(after[i].options, before[i].options);
            EXPECT_FALSE(after[i].has(ixNonMaintained));
        }

        const QStringList tags = c.tags.isEmpty() ? QStringList{QString()} : c.tags;
        for (qsizetype i = 0; i < tags.size(); ++i) {
            SCOPED_TRACE(tags[i].toStdString());
            QStringList faults;
            int keyLength = 0;
            const std::vector<Entry> walked = walkIndex(index, tags[i], faults, &keyLength);
            EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
            const int field = c.fields[i];
            const char type = t.fields()[field].nativeType == 'C' ? 'C' : (t.fields()[field].nativeType == 'D' ? 'D' : 'N');
            Expected e{type, [&](DbaseTable& tt, const QByteArray& raw) {
                           return type == 'C' ? fieldBytes(tt, raw, field) : fieldNumber(tt, raw, field);
                       }};
            const QStringList expected = expectedEntries(t, e, keyLength);
            ASSERT_EQ(qsizetype(walked.size()), t.physicalCount());
            EXPECT_EQ(shownEntries(walked, type, c.tags.isEmpty()), expected);
            if (type == 'C') {
                EXPECT_EQ(perlWalk(index, tags[i]), expected);
                // Every key is found by a search, at its first record.
                QStringList keys, firsts;
                for (const QString& entry : expected) {
                    const QString key = entry.section(QLatin1Char(':'), 1);
                    if (!key.isEmpty() && !key.startsWith(QLatin1Char(' ')) && !keys.contains(key)) {
                        keys << key;
                        firsts << entry;
                    }
                }
                ASSERT_GT(keys.size(), 10);
                EXPECT_EQ(perlSeek(index, tags[i], keys, keyLength), firsts);
            }
            EXPECT_EQ(tableOrder(dbf, after[i].name), liveRecords(dbf, walked));
        }
    }
}

namespace {

struct TagSpec {
    const char* expression;
    char type;
    int keyLength;
    bool descending = false;
    bool unique = false;
};

// Gives tag i of an .mdx another definition (its keys are then stale until rebuilt).
void setTag(QByteArray& mdx, int i, const TagSpec& s)
{
    auto put16 = [&](qsizetype at, int v) {
        mdx[at] = char(v & 0xFF);
        mdx[at + 1] = char(v >> 8);
    };
    const qsizetype entry = 544 + qsizetype(i) * 32;
    mdx[entry + 15] = 0;  // an expression, not a plain field
    mdx[entry + 20] = s.type;
    const qsizetype h = qsizetype(u32(mdx, entry)) * 512;
    const int item = 4 + (s.keyLength + 3) / 4 * 4;
    mdx[h + 8] = char(0x10 | (s.descending ? 0x08 : 0) | (s.unique ? 0x40 : 0));
    mdx[h + 9] = s.type;
    put16(h + 12, s.keyLength);
    put16(h + 14, (1024 - 8) / item);
    put16(h + 16, s.type == 'D' ? 1 : 0);
    put16(h + 18, item);
    mdx[h + 23] = s.unique ? 1 : 0;
    const QByteArray text(s.expression);
    mdx.replace(h + 24, text.size() + 1, text + '\0');
}

QByteArray rightTrimmedBytes(QByteArray b)
{
    while (b.endsWith(' '))
        b.chop(1);
    return b;
}

}  // namespace

TEST(DbaseIndexUpkeep, expressionTagsAreRebuiltFromTheirExpressions)
{
    QUILLORA_REQUIRE_SAMPLES();
    if (!haveProgram(QStringLiteral("perl")))
        GTEST_SKIP() << "perl is not installed";
    registerDbaseFormat();
    // XSQL: NAME C20, BORN D, QTY N9.2, OK L. Each key is also computed here, from the values.
    auto name = [](DbaseTable& t, const QByteArray& raw) { return fieldBytes(t, raw, 0).toByteArray(); };
    auto born = [](DbaseTable& t, const QByteArray& raw) { return t.value(raw, 1); };
    auto qty = [](DbaseTable& t, const QByteArray& raw) { return fieldNumber(t, raw, 2).toDouble(); };
    struct Case {
        TagSpec first, second;
        Expected firstKey, secondKey;
    };
    const Case cases[] = {
        {{"UPPER(NAME)", 'C', 20}, {"QTY", 'N', 12, true},
         {'C', [&](DbaseTable& t, const QByteArray& r) { return QVariant(name(t, r).toUpper()); }},
         {'N', [&](DbaseTable& t, const QByteArray& r) { return QVariant(qty(t, r)); }, true}},
        {{"DTOS(BORN)+LOWER(NAME)", 'C', 28}, {"BORN", 'D', 8},
         {'C',
          [&](DbaseTable& t, const QByteArray& r) {
              const Value d = born(t, r);
              const QByteArray day = d.isNull() ? QByteArray(8, ' ') : d.asDate().toString(QStringLiteral("yyyyMMdd")).toLatin1();
              return QVariant(day + name(t, r).toLower());
          }},
         {'D', [&](DbaseTable& t, const QByteArray& r) {
              const Value d = born(t, r);
              return QVariant(d.isNull() ? 0.0 : double(d.asDate().toJulianDay()));
          }}},
        {{"IIF(DELETED(),'*',' ')+LEFT(NAME,4)+SUBSTR(NAME,5,3)+RIGHT(TRIM(NAME),2)", 'C', 10}, {"IIF(OK,QTY,-QTY)", 'N', 12},
         {'C',
          [&](DbaseTable& t, const QByteArray& r) {
              const QByteArray n = name(t, r);
              return QVariant(QByteArray(r[0] == '*' ? "*" : " ") + n.left(4) + n.mid(4, 3) + rightTrimmedBytes(n).right(2));
          }},
         {'N', [&](DbaseTable& t, const QByteArray& r) {
              const Value ok = t.value(r, 3);
              return QVariant(!ok.isNull() && ok.asBoolean() ? qty(t, r) : -qty(t, r));
          }}},
        {{"STR(QTY,9,2)+TRIM(NAME)", 'C', 29, false, true}, {"BORN", 'D', 8, true},
         {'C',
          [&](DbaseTable& t, const QByteArray& r) {
              return QVariant(QByteArray::number(qty(t, r), 'f', 2).rightJustified(9, ' ') + rightTrimmedBytes(name(t, r)));
          },
          false, true},
         {'D',
          [&](DbaseTable& t, const QByteArray& r) {
              const Value d = born(t, r);
              return QVariant(d.isNull() ? 0.0 : double(d.asDate().toJulianDay()));
          },
          true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first.expression);
        QTemporaryDir dir;
        const QString dbf = copySample(dir.path(), QStringLiteral("generated-xbase64-4.1.11/XSQL.DBF"),
                                       QStringLiteral("generated-xbase64-4.1.11/XSQL.MDX"));
        const QString mdx = dir.filePath(QStringLiteral("XSQL.MDX"));
        QByteArray bytes = readFile(mdx);
        setTag(bytes, 0, c.first);
        setTag(bytes, 1, c.second);
        writeFile(mdx, bytes);
        edit(dbf, 250);

        DbaseTable t(dbf);
        const QList<IndexDef> defs = t.indexes();
        ASSERT_EQ(defs.size(), 2);
        EXPECT_EQ(defs[0].expression, QString::fromLatin1(c.first.expression));
        EXPECT_EQ(defs[1].has(ixDescending), c.second.descending);
        const TagSpec specs[] = {c.first, c.second};
        const Expected* keys[] = {&c.firstKey, &c.secondKey};
        for (int i = 0; i < 2; ++i) {
            const QString tag = QString::fromLatin1(i == 0 ? "NAMETAG" : "QTYTAG");
            SCOPED_TRACE(tag.toStdString());
            QStringList faults;
            const std::vector<Entry> walked = walkIndex(mdx, tag, faults);
            EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
            const QStringList expected = expectedEntries(t, *keys[i], specs[i].keyLength);
            EXPECT_EQ(shownEntries(walked, specs[i].type, false), expected);
            if (specs[i].type == 'C') {
                EXPECT_EQ(perlWalk(mdx, tag), expected);
            }
            if (!specs[i].unique) {
                EXPECT_EQ(tableOrder(dbf, tag), liveRecords(dbf, walked));
            }
        }
    }
}

TEST(DbaseIndexUpkeep, indexesSayTheyAreOutOfDateWhileTheTableIsWritten)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerDbaseFormat();
    QTemporaryDir dir;
    const QString mdxTable = copySample(dir.path(), QStringLiteral("idataconnect-jdbfdriver/TEST.DBF"),
                                        QStringLiteral("idataconnect-jdbfdriver/TEST.MDX"));
    const QString ndxTable = copySample(dir.path(), QStringLiteral("incubus-dbd-xbase/ndx-char.dbf"),
                                        QStringLiteral("incubus-dbd-xbase/ndx-char.ndx"));
    const QString ndx = dir.filePath(QStringLiteral("ndx-char.ndx"));
    const QString staleNdx = ndx + QStringLiteral(".desatualizado");
    for (const QString& path : {mdxTable, ndxTable}) {
        DbaseTable t(path);
        t.beginWrite();
        QList<Value> values;
        for (const FieldDef& f : t.fields())
            values << sampleValue(f, 5);
        t.insert(values, NoRecord);
        t.remove(1);
        // Mid-session, as a crash would leave them: the .mdx is no longer the table's production
        // index, and the .ndx is not where other programs look for it.
        if (path == mdxTable) {
            EXPECT_EQ(readFile(path)[28], 0);
        } else {
            EXPECT_FALSE(QFile::exists(ndx));
            EXPECT_TRUE(QFile::exists(staleNdx));
            ASSERT_EQ(t.indexes().size(), 1);
            EXPECT_EQ(t.indexes().first().fileName, QStringLiteral("ndx-char.ndx"));
        }
        t.flush();
        EXPECT_EQ(readFile(path)[28], path == mdxTable ? 1 : 0);
    }
    EXPECT_TRUE(QFile::exists(ndx));
    EXPECT_FALSE(QFile::exists(staleNdx));

    // What a session that stopped half way leaves is put right by the next one, even one that
    // changes nothing: the indexes are written anew from the records.
    {
        QByteArray bytes = readFile(mdxTable);
        bytes[28] = 0;
        writeFile(mdxTable, bytes);
        writeFile(dir.filePath(QStringLiteral("TEST.MDX")), readFile(sample(QStringLiteral("dbase/idataconnect-jdbfdriver/TEST.MDX"))));
        QFile::rename(ndx, staleNdx);
        writeFile(staleNdx, readFile(sample(QStringLiteral("dbase/incubus-dbd-xbase/ndx-char.ndx"))));
    }
    for (const QString& path : {mdxTable, ndxTable}) {
        DbaseTable t(path);
        ASSERT_EQ(t.indexes().size(), path == mdxTable ? 2 : 1);
        t.beginWrite();
        t.flush();
    }
    EXPECT_EQ(readFile(mdxTable)[28], 1);
    EXPECT_TRUE(QFile::exists(ndx));
    EXPECT_FALSE(QFile::exists(staleNdx));
    DbaseTable t(ndxTable);
    QStringList faults;
    int keyLength = 0;
    const std::vector<Entry> walked = walkIndex(ndx, QString(), faults, &keyLength);
    EXPECT_TRUE(faults.isEmpty());
    const QStringList expected = expectedEntries(t, {'C', [](DbaseTable& tt, const QByteArray& raw) { return fieldBytes(tt, raw, 0); }}, keyLength);
    EXPECT_EQ(shownEntries(walked, 'C', true), expected);
    QStringList mdxFaults;
    EXPECT_EQ(qsizetype(walkIndex(dir.filePath(QStringLiteral("TEST.MDX")), QStringLiteral("TEST2"), mdxFaults).size()),
              DbaseTable(mdxTable).physicalCount());
}

TEST(DbaseIndexUpkeep, numericKeysAreThePackedDecimalsOtherWritersStore)
{
    // Keys as found in real files: dBase IV (digit count = field width) and xbase64 (digit
    // count = significant digits).
    struct Case {
        double value;
        int digits;
        QByteArray start;
    };
    const Case cases[] = {
        {10, 10, QByteArray::fromHex("362910")}, {15, 10, QByteArray::fromHex("362915")},
        {20, 10, QByteArray::fromHex("362920")}, {-3, 1, QByteArray::fromHex("358530")},
        {7, 1, QByteArray::fromHex("350570")},   {12.5, 1, QByteArray::fromHex("360d1250")},
        {0.05, 1, QByteArray::fromHex("330550")}, {0, 10, QByteArray::fromHex("342900")},
    };
    for (const Case& c : cases) {
        const QByteArray key = dbase::mdxNumberKey(c.value, c.digits);
        ASSERT_EQ(key.size(), 12);
        EXPECT_EQ(key.left(c.start.size()).toHex(), c.start.toHex()) << c.value;
        EXPECT_EQ(key.mid(c.start.size()), QByteArray(12 - c.start.size(), '\0')) << c.value;
        EXPECT_DOUBLE_EQ(bcd(key), c.value);
    }
}

TEST(DbaseIndexUpkeep, postsAndDeletesThroughTheTableKeepTheTagsWhenItCloses)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerDbaseFormat();
    QTemporaryDir dir;
    const QString dbf = copySample(dir.path(), QStringLiteral("generated-xbase64-4.1.11/XSQL.DBF"),
                                   QStringLiteral("generated-xbase64-4.1.11/XSQL.MDX"));
    const QString mdx = dir.filePath(QStringLiteral("XSQL.MDX"));
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(dbf);
        table.Open();
        for (const char* name : {"Zuleica", "Abel", "Mara"}) {
            table.Append();
            table.FieldByName(QStringLiteral("NAME"))->SetAsString(QString::fromLatin1(name));
            table.FieldByName(QStringLiteral("QTY"))->SetValue(Value::floating(qstrlen(name) * 1.5));
            table.Post();
        }
        table.First();  // Carla, record 1
        table.Edit();
        table.FieldByName(QStringLiteral("NAME"))->SetAsString(QStringLiteral("Beto"));
        table.Post();
        table.Last();  // Mara: deleted, and kept in the tags as dBase keeps deleted records
        table.Delete();
        table.Close();
    }
    EXPECT_EQ(readFile(dbf)[28], 1);
    DbaseTable t(dbf);
    EXPECT_EQ(t.physicalCount(), 6);
    QStringList faults;
    EXPECT_EQ(shownEntries(walkIndex(mdx, QStringLiteral("NAMETAG"), faults), 'C', false),
              (QStringList{QStringLiteral("5:Abel"), QStringLiteral("2:Ana"), QStringLiteral("1:Beto"),
                           QStringLiteral("3:Bruno"), QStringLiteral("6:Mara"), QStringLiteral("4:Zuleica")}));
    EXPECT_EQ(shownEntries(walkIndex(mdx, QStringLiteral("QTYTAG"), faults), 'N', false),
              (QStringList{QStringLiteral("2:-3"), QStringLiteral("5:6"), QStringLiteral("6:6"),
                           QStringLiteral("3:7"), QStringLiteral("4:10.5"), QStringLiteral("1:12.5")}));
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
}

// Whether writes can keep every index is settled when the table opens: the refusal names the
// index and stays what it was, whatever is done with the table or its files before writing.
TEST(DbaseIndexUpkeep, writingIsRefusedForAnIndexFoundUnkeepableWhenTheTableOpened)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString dbf = copyTableWithForTag(dir.path(), "SOUNDEX(NAME) = 'A'");
    const QString refusal = QStringLiteral("Não é possível gravar na tabela %1: a tag NAMETAG do índice XSQL.MDX tem uma "
                                           "condição FOR que o Quillora não sabe calcular (SOUNDEX(NAME) = 'A'): "
                                           "Expressão de índice não suportada: SOUNDEX(NAME) = 'A' (função SOUNDEX "
                                           "desconhecida); ela pode ser lida, mas não gravada, para não deixar o índice "
                                           "desatualizado")
                                .arg(dbf);
    DbaseTable t(dbf);
    EXPECT_TRUE(t.indexes().first().has(ixNonMaintained));
    EXPECT_EQ(errorText([&] { t.beginWrite(); }), refusal);
    EXPECT_GT(t.count(), 0);
    // The condition taken away after the table opened: this table keeps its answer, a table
    // opened now writes.
    const QString base = sample(QStringLiteral("dbase/generated-xbase64-4.1.11/"));
    writeFile(dir.filePath(QStringLiteral("XSQL.MDX")), readFile(base + QStringLiteral("XSQL.MDX")));
    EXPECT_EQ(errorText([&] { t.beginWrite(); }), refusal);
    DbaseTable reopened(dbf);
    EXPECT_EQ(errorText([&] { reopened.beginWrite(); }), QStringLiteral("<no error>"));
}

// A record rewritten in place leaves the .mdx byte for byte as it was when no tag's key of it
// changes, and has the tags written anew when one does.
TEST(DbaseIndexUpkeep, editsThatLeaveEveryKeyAloneLeaveTheIndexAlone)
{
    QUILLORA_REQUIRE_SAMPLES();
    registerDbaseFormat();
    struct Case {
        const char* field;
        Value value;
        const char* tag;        // the tag whose key changes; null: none does
        const char* expected;   // record 1's entry in that tag
    };
    const Case cases[] = {
        {"OK", Value::boolean(false), nullptr, nullptr},
        {"BORN", Value::date(QDate(1990, 5, 17)), nullptr, nullptr},
        {"QTY", Value::floating(12.5), nullptr, nullptr},  // the value it holds
        {"NAME", Value::text(QStringLiteral("carla")), "NAMETAG", "1:carla"},
        {"QTY", Value::floating(40), "QTYTAG", "1:40"},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString dbf = copySample(dir.path(), QStringLiteral("generated-xbase64-4.1.11/XSQL.DBF"),
                                       QStringLiteral("generated-xbase64-4.1.11/XSQL.MDX"));
        const QString mdx = dir.filePath(QStringLiteral("XSQL.MDX"));
        const QByteArray before = readFile(mdx);
        {
            Table table(QStringLiteral("Table1"));
            table.Bind(dbf);
            table.Open();
            table.First();
            table.Edit();
            table.FieldByName(QString::fromLatin1(c.field))->SetValue(c.value);
            table.Post();
            table.Close();
        }
        EXPECT_EQ(readFile(dbf)[28], 1) << c.field;
        if (!c.tag) {
            EXPECT_EQ(readFile(mdx), before) << c.field;
            continue;
        }
        EXPECT_NE(readFile(mdx), before) << c.field;
        QStringList faults;
        const QStringList entries =
            shownEntries(walkIndex(mdx, QString::fromLatin1(c.tag), faults), c.tag[0] == 'N' ? 'C' : 'N', false);
        EXPECT_TRUE(entries.contains(QString::fromLatin1(c.expected))) << c.field << ": " << entries.join(' ').toStdString();
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
    }
}
