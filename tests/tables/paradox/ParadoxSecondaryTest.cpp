// Secondary indexes (.Xnn/.XGn with their .Y) after writes: rebuilt to describe the data when
// the table is closed, definitions kept byte for byte, out of step (by their counters) while a
// write is under way or when interrupted, and readable by pxlib.
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tests/support/TestSupport.h"
#include "tests/tables/paradox/ParadoxTestSupport.h"

using namespace quillora;
using namespace quillora::test;
using quillora::px::le16;

namespace {

// Copies a sample table with every file of its family.
QString copyFamily(const QString& sampleDb, const QString& dir)
{
    const QFileInfo fi(sample(QStringLiteral("paradox/") + sampleDb));
    QStringList files{fi.absoluteFilePath()};
    for (const QString& name : fi.absoluteDir().entryList({QStringLiteral("*")}, QDir::Files))
        if (QFileInfo(name).completeBaseName().compare(fi.completeBaseName(), Qt::CaseInsensitive) == 0 && name != fi.fileName())
            files << fi.absoluteDir().filePath(name);
    return copyInto(dir, files);
}

QString familyFile(const QString& db, const QString& ext)
{
    const QFileInfo fi(db);
    for (const QString& name : fi.absoluteDir().entryList(QDir::Files))
        if (name.compare(fi.completeBaseName() + QLatin1Char('.') + ext, Qt::CaseInsensitive) == 0)
            return fi.absoluteDir().filePath(name);
    return {};
}

QString render(const QList<Value>& row)
{
    QStringList parts;
    for (const Value& v : row)
        parts << v.debugString();
    return parts.join(QLatin1Char('|'));
}

QStringList renderAll(const QList<QList<Value>>& rows, bool withBlock = true)
{
    QStringList out;
    for (const auto& r : rows)
        out << render(withBlock ? r : r.mid(0, r.size() - 1));
    return out;
}

// Names the first line that differs rather than printing both lists.
void expectSameLines(const QStringList& got, const QStringList& want, const QString& what)
{
    EXPECT_EQ(got.size(), want.size()) << what.toStdString();
    for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i]) {
            ADD_FAILURE() << what.toStdString() << " line " << i + 1 << ": " << got[i].toStdString() << " != " << want[i].toStdString();
            return;
        }
}

// The records of a .X in the order it stores them: a copy whose header says "keyed table"
// opens as one.
QList<QList<Value>> indexRecords(const QString& xPath, const QString& tempDir)
{
    QByteArray bytes = readFile(xPath);
    bytes[4] = 0;
    const QString copy = tempDir + QStringLiteral("/INDEXREC.DB");
    writeFile(copy, bytes);
    ParadoxTable t(copy);
    QList<QList<Value>> out;
    QByteArray raw;
    for (RecordId id = t.first(); id != NoRecord; id = t.next(id)) {
        t.read(id, raw);
        QList<Value> row;
        for (int f = 0; f < t.fields().size(); ++f)
            row << t.value(raw, f);
        out << row;
    }
    return out;
}

// pxlib reads the .X as a table and finds each of its records through the .Y (both copied with
// the header type a table and a primary index have, which is all pxlib accepts).
void expectPxlibReadsIndex(const QString& xPath, const QString& yPath, qint64 records)
{
    if (QStringLiteral(QUILLORA_PX_DUMP).isEmpty())
        return;
    QTemporaryDir tmp;
    QByteArray x = readFile(xPath), y = readFile(yPath);
    x[4] = 0;
    y[4] = 1;
    writeFile(tmp.filePath(QStringLiteral("IX.DB")), x);
    writeFile(tmp.filePath(QStringLiteral("IX.PX")), y);
    QStringList direct, throughIndex;
    QString why;
    ASSERT_TRUE(pxlibDump(tmp.filePath(QStringLiteral("IX.DB")), &direct, &why)) << why.toStdString();
    ASSERT_TRUE(pxlibDump(tmp.filePath(QStringLiteral("IX.DB")), &throughIndex, &why, tmp.filePath(QStringLiteral("IX.PX"))))
        << why.toStdString();
    EXPECT_EQ(direct.size(), records);
    EXPECT_EQ(throughIndex, direct);
}

// The index's records against the table read in the index's order (the engine's own ordering
// of the fields the IndexDef lists), record by record.
void expectIndexOrderMatchesTable(const QString& db, const IndexDef& index)
{
    QTemporaryDir tmp;
    const QList<QList<Value>> stored = indexRecords(QFileInfo(db).absoluteDir().filePath(index.fileName), tmp.path());
    Table table(QStringLiteral("Table1"));
    table.Bind(db);
    table.SetIndexFieldNames(index.fields.join(QLatin1Char(';')));
    table.Open();
    QStringList keyNames = index.fields;
    for (const IndexDef& d : table.IndexDefs())
        if (d.has(ixPrimary))
            for (const QString& f : d.fields)
                if (!keyNames.contains(f, Qt::CaseInsensitive))
                    keyNames << f;
    QStringList fromIndex, fromTable;
    for (const QList<Value>& r : stored)
        fromIndex << render(r.mid(0, keyNames.size()));
    for (table.First(); !table.Eof(); table.Next()) {
        QList<Value> row;
        for (const QString& n : keyNames)
            row << table.fieldValue(table.FieldByName(n)->Index());
        fromTable << render(row);
    }
    if (index.has(ixCaseInsensitive)) {
        for (QString& s : fromTable)
            s = s.toUpper();
        for (QString& s : fromIndex)
            s = s.toUpper();
    }
    expectSameLines(fromIndex, fromTable, index.fileName);
}

QList<Value> valuesOf(ParadoxTable& t, RecordId id)
{
    QByteArray raw;
    t.read(id, raw);
    QList<Value> out;
    for (int f = 0; f < t.fields().size(); ++f)
        out << t.value(raw, f);
    return out;
}

QList<IndexDef> secondaryDefs(const QString& db)
{
    ParadoxTable t(db);
    QList<IndexDef> out;
    for (const IndexDef& d : t.indexes())
        if (!d.has(ixPrimary))
            out << d;
    return out;
}

QString describe(const QList<IndexDef>& defs)
{
    QStringList out;
    for (const IndexDef& d : defs)
        out << QStringLiteral("%1 %2 [%3] %4").arg(d.fileName, d.name, d.fields.join(QLatin1Char(','))).arg(int(d.options));
    return out.join(QLatin1Char('\n'));
}

// Everything in an index file's header that is not a counter of the data: field list, names,
// field numbers, sort order, index name, options.
QByteArray definitionBytes(const QString& path)
{
    QByteArray h = readFile(path);
    h.truncate(le16(h.constData() + 2));
    for (int at : {0x06, 0x0A, 0x0C, 0x0E, 0x10, 0x1E, 0x20, 0x2C, 0x2D, 0x2E, 0x3A, 0x49, 0x4D, 0x60})
        for (int i = 0; i < (at == 0x06 || at == 0x49 || at == 0x60 ? 4 : at >= 0x2C && at <= 0x2E ? 1 : at == 0x20 ? 1 : 2); ++i)
            h[at + i] = 0;
    return h;
}

struct SampleCase {
    const char* db;
};
const SampleCase kSamples[] = {
    {"paradoxdriver/db/CUSTOMER.DB"},   // one field, case-sensitive (.X06)
    {"paradoxdriver/db/AREACODES.DB"},  // composite, case-insensitive, Alpha primary key
    {"paradox-reader/zakazky.db"},      // six fields, several .X blocks, .Y of two levels
    {"paradox-reader/testtab.DB"},      // a Time field
    {"paradoxdriver/joins/C.DB"},       // two single-field indexes
    {"paradoxdriver/joins/fk4.db"},     // composite used by referential integrity
};

// A key no record has, from the values of an existing record.
QList<Value> withNewKey(ParadoxTable& t, QList<Value> values, int n)
{
    const FieldType type = t.fields()[0].type;
    if (type == ftString)
        values[0] = Value::text(QStringLiteral("~%1").arg(n, 3, 10, QLatin1Char('0')).left(t.fields()[0].size));
    else
        values[0] = Value::integer(30000 + n);
    return values;
}

TEST(ParadoxSecondary, rebuiltIndexesHoldWhatTheBdeWroteAndKeepTheirDefinitions)
{
    QUILLORA_REQUIRE_SAMPLES();
    for (const SampleCase& c : kSamples) {
        SCOPED_TRACE(c.db);
        QTemporaryDir dir;
        const QString db = copyFamily(QString::fromLatin1(c.db), dir.path());
        const QList<IndexDef> defs = secondaryDefs(db);
        ASSERT_FALSE(defs.isEmpty());
        std::map<QString, QStringList> before;
        std::map<QString, QByteArray> definitions;
        QTemporaryDir tmp;
        for (const IndexDef& d : defs) {
            const QString x = QFileInfo(db).absoluteDir().filePath(d.fileName);
            // Without Blk Num: zakazky.XG0 gives its last record block 11 while the table holds
            // it in block 285 (the sample's .X and .Y are out of step); checkParadoxTable
            // checks every block number against the data.
            before[d.fileName] = renderAll(indexRecords(x, tmp.path()), false);
            definitions[d.fileName] = definitionBytes(x);
        }
        {
            // A record added after the last key and removed again: the data ends as it was.
            ParadoxTable t(db);
            const RecordId added = t.insert(withNewKey(t, valuesOf(t, t.first()), 1), NoRecord);
            t.remove(added);
            t.flush();
        }
        EXPECT_EQ(describe(secondaryDefs(db)), describe(defs));
        EXPECT_EQ(checkParadoxTable(db), QStringList());
        for (const IndexDef& d : defs) {
            const QString x = QFileInfo(db).absoluteDir().filePath(d.fileName);
            expectSameLines(renderAll(indexRecords(x, tmp.path()), false), before[d.fileName], d.fileName);
            EXPECT_EQ(definitionBytes(x), definitions[d.fileName]) << d.fileName.toStdString();
        }
    }
}

TEST(ParadoxSecondary, indexesDescribeTheDataAfterInsertsUpdatesAndDeletes)
{
    QUILLORA_REQUIRE_SAMPLES();
    for (const SampleCase& c : kSamples) {
        SCOPED_TRACE(c.db);
        QTemporaryDir dir;
        const QString db = copyFamily(QString::fromLatin1(c.db), dir.path());
        const QList<IndexDef> defs = secondaryDefs(db);
        qint64 count = 0;
        {
            ParadoxTable t(db);
            int indexed = -1;
            for (int f = 0; f < t.fields().size(); ++f)
                if (t.fields()[f].name.compare(defs.first().fields.first(), Qt::CaseInsensitive) == 0)
                    indexed = f;
            ASSERT_GE(indexed, 0);
            // Inserts take the values of existing records under new keys; updates give records
            // another record's indexed value; deletes take records from the front.
            std::vector<QList<Value>> existing;
            for (RecordId id = t.first(); id != NoRecord && existing.size() < 40; id = t.next(id))
                existing.push_back(valuesOf(t, id));
            for (int i = 0; i < 60; ++i)
                t.insert(withNewKey(t, existing[size_t(i) % existing.size()], i), NoRecord);
            QList<bool> changed(t.fields().size(), false);
            changed[indexed] = true;
            RecordId id = t.first();
            for (int i = 0; i < 15 && id != NoRecord; ++i) {
                QList<Value> v = valuesOf(t, id);
                v[indexed] = existing[size_t(existing.size() - 1 - size_t(i) % existing.size())][indexed];
                id = t.next(t.update(id, v, changed));
            }
            for (int i = 0; i < 5 && t.first() != NoRecord; ++i)
                t.remove(t.first());
            t.flush();
            count = t.count();
        }
        EXPECT_EQ(checkParadoxTable(db), QStringList());
        for (const IndexDef& d : secondaryDefs(db)) {
            const QString x = QFileInfo(db).absoluteDir().filePath(d.fileName);
            expectIndexOrderMatchesTable(db, d);
            expectPxlibReadsIndex(x, familyFile(db, QStringLiteral("Y") + QFileInfo(x).suffix().mid(1)), count);
        }
    }
}

TEST(ParadoxSecondary, postAndDeleteThroughTheTableKeepTheIndexesCurrent)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString db = copyFamily(QStringLiteral("paradoxdriver/db/CUSTOMER.DB"), dir.path());
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(db);
        table.Open();
        table.Append();
        table.FieldByName(QStringLiteral("City"))->SetValue(Value::text(QStringLiteral("Aaa first")));
        table.FieldByName(QStringLiteral("LastName"))->SetValue(Value::text(QStringLiteral("Nova")));
        table.Post();
        table.First();
        table.Delete();
        table.Close();
    }
    EXPECT_EQ(checkParadoxTable(db), QStringList());
    QTemporaryDir tmp;
    const QList<QList<Value>> x = indexRecords(familyFile(db, QStringLiteral("X06")), tmp.path());
    ASSERT_EQ(x.size(), 20);
    EXPECT_EQ(x.first().first().asText(), QStringLiteral("Aaa first"));
}

TEST(ParadoxSecondary, indexesThatParadoxDoesNotMaintainAreLeftMarkedOutOfDate)
{
    QUILLORA_REQUIRE_SAMPLES();
    // Types 3 and 6: unkeyed tables with their .X01 and .XG0; the BDE rebuilds them on use.
    for (const char* name : {"paradoxdriver/joins/case.db", "paradoxdriver/joins/indexed.db"}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString db = copyFamily(QString::fromLatin1(name), dir.path());
        const QString x = familyFile(db, QFileInfo(name).completeBaseName() == u"case" ? QStringLiteral("x01") : QStringLiteral("xg0"));
        const QString y = familyFile(db, QFileInfo(name).completeBaseName() == u"case" ? QStringLiteral("y01") : QStringLiteral("yg0"));
        const QByteArray xBefore = readFile(x), yBefore = readFile(y);
        {
            ParadoxTable t(db);
            const qint64 before = t.count();
            t.insert(t.newRecordValues(), NoRecord);
            t.flush();
            EXPECT_EQ(t.count(), before + 1);
        }
        const QByteArray xAfter = readFile(x);
        EXPECT_EQ(readFile(y), yBefore);
        EXPECT_NE(xAfter.at(0x2D), yBefore.at(0x2C));
        EXPECT_NE(xAfter.at(0x2D), xBefore.at(0x2D));
        QByteArray same = xAfter;
        same[0x2D] = xBefore[0x2D];
        EXPECT_EQ(same, xBefore);
    }
}

TEST(ParadoxSecondary, manyEditsInSmallBlocksKeepDescendingAndTextIndexesInOrder)
{
    // 1 KiB blocks: a few thousand records fill many .X blocks and give the .Y two levels. The
    // composite index runs Nome descending, then Valor ascending; names repeat so that Valor
    // and the key decide between them. Orders checked here by the values themselves.
    for (const char* sortOrder : {"ascii", "ANSIINTL"}) {
        SCOPED_TRACE(sortOrder);
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("edits.db"));
        createParadoxTable(db,
                           {FieldDef{QStringLiteral("Id"), ftInteger}, FieldDef{QStringLiteral("Nome"), ftString, 20},
                            FieldDef{QStringLiteral("Cidade"), ftString, 12}, FieldDef{QStringLiteral("Valor"), ftFloat}},
                           ParadoxCreateOptions(7, 1, QString::fromLatin1(sortOrder), 0, 1));
        addSecondaryIndex(db, QStringLiteral("03"), {FieldDef{QStringLiteral("Cidade"), ftString, 12}}, {3});
        addSecondaryIndex(db, QStringLiteral("G0"), {FieldDef{QStringLiteral("Nome"), ftString, 20}, FieldDef{QStringLiteral("Valor"), ftFloat}},
                          {0x8002, 4}, "NomeDesc", 0x10);
        const QStringList names = {QStringLiteral("Ana"), QStringLiteral("ana"), QStringLiteral("Élvio"), QStringLiteral("Bruno"),
                                   QStringLiteral("Çelso"), QStringLiteral("Zé"), QStringLiteral("zeca"), QString()};
        std::map<qint64, QList<Value>> model;
        auto rowOf = [&](qint64 id, int v) {
            return QList<Value>{Value::integer(id), names[v % names.size()].isEmpty() ? Value() : Value::text(names[v % names.size()]),
                                Value::text(QStringLiteral("C%1").arg(v % 17)), Value::floating(double(v % 13) - 6.5)};
        };
        std::mt19937 rng(7);
        for (int session = 0; session < 2; ++session) {
            ParadoxTable t(db);
            for (int i = 0; i < 1500; ++i) {
                const qint64 id = qint64(rng() % 100000) + 1;
                if (model.count(id))
                    continue;
                model[id] = rowOf(id, int(rng() % 1000));
                t.insert(model[id], NoRecord);
            }
            if (session == 1) {
                // Updates of indexed fields and of the key, then deletes.
                int n = 0;
                for (RecordId id = t.first(); id != NoRecord && n < 400; ++n) {
                    QList<Value> v = valuesOf(t, id);
                    const qint64 key = v[0].asInteger();
                    QList<Value> w = rowOf(key, int(rng() % 1000));
                    if (n % 5 == 0 && !model.count(key + 100000))
                        w[0] = Value::integer(key + 100000);
                    model.erase(key);
                    model[w[0].asInteger()] = w;
                    t.update(id, w, {true, true, true, true});
                    id = t.next(id);
                }
                for (int i = 0; i < 150 && t.first() != NoRecord; ++i) {
                    model.erase(valuesOf(t, t.first())[0].asInteger());
                    t.remove(t.first());
                }
            }
            t.flush();
        }
        EXPECT_EQ(checkParadoxTable(db), QStringList());
        QTemporaryDir tmp;
        const QList<QList<Value>> byCity = indexRecords(familyFile(db, QStringLiteral("X03")), tmp.path());
        const QList<QList<Value>> byName = indexRecords(familyFile(db, QStringLiteral("XG0")), tmp.path());
        ASSERT_EQ(byCity.size(), qsizetype(model.size()));
        ASSERT_EQ(byName.size(), qsizetype(model.size()));
        EXPECT_GE(int(uchar(readFile(familyFile(db, QStringLiteral("YG0"))).at(0x20))), 2);
        ParadoxTable t(db);
        auto textKey = [&](const Value& v) { return v.isNull() ? QByteArray() : t.sortKey(1, v); };
        for (qsizetype i = 0; i < byName.size(); ++i) {
            const QList<Value>& r = byName[i];
            // Nome, Valor, Id, Blk Num: the values are the record's.
            ASSERT_TRUE(model.count(r[2].asInteger()));
            const QList<Value>& m = model[r[2].asInteger()];
            EXPECT_EQ(r[0], m[1]);
            EXPECT_EQ(r[1], m[3]);
            if (i == 0)
                continue;
            const QList<Value>& p = byName[i - 1];
            const QByteArray a = textKey(p[0]), b = textKey(r[0]);
            ASSERT_GE(a, b) << "line " << i;
            if (a == b) {
                ASSERT_LE(std::pair(p[1].asFloat(), p[2].asInteger()), std::pair(r[1].asFloat(), r[2].asInteger())) << "line " << i;
            }
        }
        for (qsizetype i = 1; i < byCity.size(); ++i) {
            const QByteArray a = textKey(byCity[i - 1][0]), b = textKey(byCity[i][0]);
            ASSERT_TRUE(a < b || (a == b && byCity[i - 1][1].asInteger() < byCity[i][1].asInteger())) << "line " << i;
        }
        expectPxlibReadsIndex(familyFile(db, QStringLiteral("XG0")), familyFile(db, QStringLiteral("YG0")), qint64(model.size()));
    }
}

TEST(ParadoxSecondary, damagedIndexFilesDoNotStopWritesAndAreNotRebuiltFromGarbage)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QByteArray original = readFile(sample(QStringLiteral("paradox/paradoxdriver/db/CUSTOMER.X06")));
    QByteArray wrongFields = original;  // field list that does not add up to the record size
    wrongFields[0x79] = char(99);
    QByteArray hugeCount = original;  // more fields than the header can hold
    hugeCount[0x21] = char(0xFF);
    const struct {
        const char* what;
        QByteArray bytes;
    } cases[] = {{"empty", {}}, {"short", original.left(0x30)}, {"wrongFields", wrongFields}, {"hugeCount", hugeCount}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString db = copyFamily(QStringLiteral("paradoxdriver/db/CUSTOMER.DB"), dir.path());
        const QString x = familyFile(db, QStringLiteral("X06"));
        writeFile(x, c.bytes);
        {
            ParadoxTable t(db);
            t.insert(withNewKey(t, valuesOf(t, t.first()), 1), NoRecord);
            t.flush();
            EXPECT_EQ(t.count(), 21);
        }
        // Only the change counter may have moved; the checker names the file.
        QByteArray now = readFile(x);
        ASSERT_EQ(now.size(), c.bytes.size());
        if (now.size() > 0x2D)
            now[0x2D] = c.bytes[0x2D];
        EXPECT_EQ(now, c.bytes);
        if (c.bytes.size() >= 0x78) {
            EXPECT_TRUE(checkSecondaryIndexes(db).join(QLatin1Char(' ')).contains(QStringLiteral("CUSTOMER.X06")));
        }
    }
}

#ifdef Q_OS_UNIX

TEST(ParadoxSecondary, writeStoppedAtAnyStepLeavesTheIndexesVisiblyOutOfStep)
{
    QUILLORA_REQUIRE_SAMPLES();
    QTemporaryDir dir;
    const QString db = copyFamily(QStringLiteral("paradox-reader/zakazky.db"), dir.path());
    const QString x = familyFile(db, QStringLiteral("XG0")), y = familyFile(db, QStringLiteral("YG0"));
    {
        // The sample's own counters are not in step; one complete write puts them in step.
        ParadoxTable t(db);
        t.insert(withNewKey(t, valuesOf(t, t.first()), 6), NoRecord);
    }
    ASSERT_EQ(checkSecondaryIndexes(db), QStringList());
    QStringList family;
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
        family << dir.filePath(name);
    std::map<QString, QByteArray> saved;
    for (const QString& f : family)
        saved[f] = readFile(f);
    // Steps: 4 indexes marked, 1 data blocks, 3 table header (the write itself complete),
    // 5 on closing: the new .X in place, its .Y not yet; 9 = not stopped.
    for (int step : {4, 1, 3, 5, 9}) {
        SCOPED_TRACE(step);
        for (const auto& [f, bytes] : saved)
            writeFile(f, bytes);
        const ChildEnd ended = runInChild([&] {
            stopAtWriteStep(step);
            ParadoxTable t(db);
            t.insert(withNewKey(t, valuesOf(t, t.first()), 7), NoRecord);
            t.flush();
        });
        ASSERT_EQ(ended, step == 9 ? ChildEnd::Finished : ChildEnd::Stopped);
        const QByteArray xNow = readFile(x), yNow = readFile(y);
        const QStringList problems = checkSecondaryIndexes(db);
        if (step == 9) {
            EXPECT_EQ(xNow.at(0x2D), yNow.at(0x2C));
            EXPECT_EQ(problems, QStringList());
        } else {
            EXPECT_NE(xNow.at(0x2D), yNow.at(0x2C));
            EXPECT_FALSE(problems.isEmpty());
        }
    }
}
#endif

}  // namespace
