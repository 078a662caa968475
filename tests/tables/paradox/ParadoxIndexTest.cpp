// The primary index (.PX) of keyed tables follows every write: after each insert, update and
// delete the .DB and .PX on disk describe each other (checked structurally and through pxlib),
// and a write stopped half-way leaves the two files out of step in the way the BDE checks.
#include "tables/Error.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"
#include "tables/paradox/PxCodec.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>

#include "tests/support/TestSupport.h"
#include "tests/tables/paradox/ParadoxTestSupport.h"

using namespace quillora;
using namespace quillora::test;
using quillora::px::le16;

namespace {

QString keyText(int n) { return QStringLiteral("k%1").arg(n, 6, 10, QLatin1Char('0')); }

QByteArray readFile(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

struct Model {
    std::map<QString, std::pair<qint64, QString>> rows;

    QList<QList<Value>> expected() const
    {
        QList<QList<Value>> out;
        for (const auto& [k, v] : rows)
            out << QList<Value>{Value::text(k), Value::integer(v.first), Value::text(v.second)};
        return out;
    }
};

class ParadoxIndex : public ::testing::Test {
protected:
    // A wide Alpha key in small blocks: 5 records a data block and 13 entries a .PX block, so
    // a few hundred records already need three index levels.
    QString createWideKeyTable(const char* name)
    {
        const QString path = dir.filePath(QString::fromUtf8(name));
        createParadoxTable(path,
                           {FieldDef{QStringLiteral("Chave"), ftString, 150}, FieldDef{QStringLiteral("N"), ftInteger},
                            FieldDef{QStringLiteral("Texto"), ftString, 40}},
                           ParadoxCreateOptions(7, 1, QStringLiteral("ascii"), 0, 1));
        return path;
    }
    QString pxOf(const QString& db) const { return db.left(db.size() - 2) + QStringLiteral("px"); }
    int levels(const QString& db) const { return uchar(readFile(pxOf(db)).at(0x20)); }
    // Stops at the first write that leaves the files inconsistent, naming it.
    ::testing::AssertionResult consistentAfter(const QString& db, const QString& step)
    {
        const QStringList problems = checkParadoxTable(db);
        if (problems.isEmpty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "after " << step.toStdString() << ": "
                                             << problems.join(QStringLiteral("; ")).toStdString();
    }
    void expectPxlibReadsThroughIndex(const QString& db, ParadoxTable& t)
    {
        if (QStringLiteral(QUILLORA_PX_DUMP).isEmpty())
            return;
        QStringList theirs;
        QString why;
        ASSERT_TRUE(pxlibDump(db, &theirs, &why, pxOf(db))) << why.toStdString();
        EXPECT_EQ(theirs, dumpLikePxlib(t));
    }
    QTemporaryDir dir;
};

TEST_F(ParadoxIndex, followsEveryInsertUpdateAndDeleteThroughSplitsFreesAndLevelChanges)
{
    const QString db = createWideKeyTable("largo.db");
    Model model;
    QRandomGenerator rng(20240611);
    ParadoxTable t(db);
    const QList<bool> all{true, true, true};
    auto valuesOf = [](const QString& k, qint64 n, const QString& text) {
        return QList<Value>{Value::text(k), Value::integer(n), Value::text(text)};
    };
    auto keyAt = [&](RecordId id) {
        QByteArray raw;
        t.read(id, raw);
        return t.value(raw, 0).asText();
    };

    // Inserts in random order: splits of full data blocks in the middle, .PX splits on every level.
    std::vector<int> keys(1000);
    std::iota(keys.begin(), keys.end(), 0);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    int maxLevels = 0;
    for (int i = 0; i < 600; ++i) {
        const QString k = keyText(keys[size_t(i)] * 2);
        t.insert(valuesOf(k, i, QStringLiteral("texto %1").arg(i)), NoRecord);
        model.rows[k] = {i, QStringLiteral("texto %1").arg(i)};
        ASSERT_TRUE(consistentAfter(db, QStringLiteral("inserir %1").arg(k)));
        maxLevels = std::max(maxLevels, levels(db));
    }
    EXPECT_GE(maxLevels, 3);
    // Updates: half change the key (the record moves, maybe to another block), half change other
    // fields, including first records of blocks.
    for (int i = 0; i < 150; ++i) {
        const RecordId id = t.atPosition(1 + rng.bounded(int(t.count())));
        const QString old = keyAt(id);
        QString k = old;
        if (i % 2 == 0) {
            do
                k = keyText(int(rng.bounded(2000)));
            while (model.rows.count(k));
        }
        t.update(id, valuesOf(k, -i, QStringLiteral("mudado %1").arg(i)), all);
        model.rows.erase(old);
        model.rows[k] = {-i, QStringLiteral("mudado %1").arg(i)};
        ASSERT_TRUE(consistentAfter(db, QStringLiteral("alterar %1 para %2").arg(old, k)));
    }
    // Deletes down to a few records: emptied blocks are freed, .PX blocks go and levels fall.
    while (t.count() > 12) {
        const RecordId id = t.atPosition(1 + rng.bounded(int(t.count())));
        const QString k = keyAt(id);
        t.remove(id);
        model.rows.erase(k);
        ASSERT_TRUE(consistentAfter(db, QStringLiteral("excluir %1").arg(k)));
    }
    EXPECT_LE(levels(db), 1);
    // Appends above every key, then everything deleted from the front.
    for (int i = 0; i < 200; ++i) {
        const QString k = keyText(5000 + i);
        t.insert(valuesOf(k, i, QString()), NoRecord);
        model.rows[k] = {i, QString()};
        ASSERT_TRUE(consistentAfter(db, QStringLiteral("acrescentar %1").arg(k)));
    }
    EXPECT_EQ(readAll(t), [&] {
        auto e = model.expected();
        for (auto& r : e)
            if (r[2].asText().isEmpty())
                r[2] = Value();
        return e;
    }());
    expectPxlibReadsThroughIndex(db, t);
    while (t.count() > 0) {
        t.remove(t.first());
        ASSERT_TRUE(consistentAfter(db, QStringLiteral("excluir o primeiro, restam %1").arg(t.count())));
    }
    const QByteArray px = readFile(pxOf(db));
    EXPECT_EQ(px.size(), le16(px.constData() + 2));  // header only
    EXPECT_EQ(px.at(0x20), 0);
}

TEST_F(ParadoxIndex, pxlibFindsEveryRecordThroughTheIndexAfterRandomWrites)
{
    // A 4-byte key: one .PX block holds 204 entries, so about a thousand data blocks give the
    // two levels pxlib understands.
    const QString db = dir.filePath(QStringLiteral("numeros.db"));
    createParadoxTable(db, {FieldDef{QStringLiteral("Id"), ftInteger}, FieldDef{QStringLiteral("Texto"), ftString, 200}},
                       ParadoxCreateOptions(5, 1, QStringLiteral("ascii"), 0, 1));
    std::vector<int> keys(6000);
    std::iota(keys.begin(), keys.end(), 1);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(3));
    {
        ParadoxTable t(db);
        for (int k : keys)
            t.insert({Value::integer(k), Value::text(QStringLiteral("número %1").arg(k))}, NoRecord);
        for (int i = 0; i < 1500; ++i)
            t.remove(t.atPosition(1 + (i * 7919) % t.count()));
        EXPECT_TRUE(consistentAfter(db, QStringLiteral("6000 inclusões e 1500 exclusões")));
        EXPECT_EQ(levels(db), 2);
        expectPxlibReadsThroughIndex(db, t);
    }
    ParadoxTable t(db);
    EXPECT_EQ(t.count(), 4500);
}

TEST_F(ParadoxIndex, staleIndexLeftByAnotherProgramIsRebuiltWhenWritingStarts)
{
    const QString db = createWideKeyTable("velho.db");
    {
        ParadoxTable t(db);
        for (int i = 0; i < 40; ++i)
            t.insert({Value::text(keyText(i * 3)), Value::integer(i), Value()}, NoRecord);
    }
    const QByteArray oldPx = readFile(pxOf(db));
    {
        ParadoxTable t(db);
        for (int i = 0; i < 40; ++i)
            t.insert({Value::text(keyText(i * 3 + 1)), Value::integer(i), Value()}, NoRecord);
    }
    {
        QFile f(pxOf(db));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(oldPx);
    }
    EXPECT_FALSE(checkParadoxTable(db).isEmpty());
    ParadoxTable t(db);
    t.insert({Value::text(keyText(1000)), Value::integer(1), Value()}, NoRecord);
    EXPECT_TRUE(consistentAfter(db, QStringLiteral("primeira gravação com .PX antigo")));
}

#ifdef Q_OS_UNIX

TEST_F(ParadoxIndex, writeStoppedAtAnyStepLeavesTheFamilyVisiblyOutOfStep)
{
    const QString db = createWideKeyTable("parada.db");
    {
        ParadoxTable t(db);
        for (int i = 0; i < 60; ++i)
            t.insert({Value::text(keyText(i * 10)), Value::integer(i), Value()}, NoRecord);
    }
    ASSERT_TRUE(consistentAfter(db, QStringLiteral("preparo")));
    const QByteArray dbBefore = readFile(db), pxBefore = readFile(pxOf(db));
    // Steps: 0 change counter, 1 data blocks, 2 .PX blocks, 3 table header; 9 = not stopped.
    for (int step : {0, 1, 2, 3, 9}) {
        SCOPED_TRACE(step);
        for (const auto& [path, bytes] : {std::pair{db, dbBefore}, std::pair{pxOf(db), pxBefore}}) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }
        const ChildEnd ended = runInChild([&] {
            stopAtWriteStep(step);
            ParadoxTable t(db);
            // Lands inside a full block: a data block split and new .PX entries.
            t.insert({Value::text(keyText(255)), Value::integer(-1), Value()}, NoRecord);
        });
        ASSERT_EQ(ended, step == 9 ? ChildEnd::Finished : ChildEnd::Stopped);
        const QByteArray d = readFile(db), x = readFile(pxOf(db));
        if (step == 9) {
            EXPECT_EQ(d.at(0x2D), x.at(0x2C));
            EXPECT_TRUE(consistentAfter(db, QStringLiteral("gravação completa")));
        } else {
            // The table's counter has moved and the index's has not: the index reads as out of date.
            EXPECT_EQ(uchar(d.at(0x2D)), uchar(uchar(dbBefore.at(0x2D)) + 1));
            EXPECT_EQ(x.at(0x2C), dbBefore.at(0x2D));
        }
    }
}
#endif

}  // namespace

namespace {

TEST_F(ParadoxIndex, writesThatMoveOtherRecordsChangeTheIdGeneration)
{
    // Ids are block and slot; the Table keeps ids in its in-memory indexes and rebuilds them
    // only when the generation changes.
    const QString db = createWideKeyTable("ids.db");
    ParadoxTable t(db);
    auto keyOf = [&](RecordId id) {
        QByteArray raw;
        t.read(id, raw);
        return t.value(raw, 0).asText();
    };
    for (int k : {10, 20, 30})
        t.insert({Value::text(keyText(k)), Value::integer(k), Value()}, NoRecord);
    const RecordId id30 = t.last();
    quint64 gen = t.idGeneration();
    // Appending after the last key moves nothing: held ids stay right.
    t.insert({Value::text(keyText(40)), Value::integer(40), Value()}, NoRecord);
    EXPECT_EQ(t.idGeneration(), gen);
    EXPECT_EQ(keyOf(id30), keyText(30));
    // An insert in the middle shifts 20 and 30 down.
    t.insert({Value::text(keyText(15)), Value::integer(15), Value()}, NoRecord);
    EXPECT_NE(keyOf(id30), keyText(30));
    EXPECT_NE(t.idGeneration(), gen);
    gen = t.idGeneration();
    // Deleting the last record moves nothing; deleting the first shifts the rest up.
    t.remove(t.last());
    EXPECT_EQ(t.idGeneration(), gen);
    t.remove(t.first());
    EXPECT_NE(t.idGeneration(), gen);
    gen = t.idGeneration();
    // Filling the block (5 records) and inserting before its end splits it.
    for (int k : {50, 60})
        t.insert({Value::text(keyText(k)), Value::integer(k), Value()}, NoRecord);
    EXPECT_EQ(t.idGeneration(), gen);
    t.insert({Value::text(keyText(55)), Value::integer(55), Value()}, NoRecord);
    EXPECT_NE(t.idGeneration(), gen);
    EXPECT_TRUE(consistentAfter(db, QStringLiteral("divisão")));
}

}  // namespace
