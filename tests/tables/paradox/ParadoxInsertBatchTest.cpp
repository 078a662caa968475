// Keyed adds inside an operation wait in a sorted batch and join the block chain together: the
// table must look the same as if every record had gone in at once, to lookups and writes during
// the run and to pxlib afterwards, and a run that is rolled back must leave no trace.
#include "tables/Error.h"
#include "tables/io/Journal.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tables/paradox/ParadoxTable.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "tests/support/TestSupport.h"
#include "tests/tables/paradox/ParadoxTestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

// Small batch and cache, so that a run of a few thousand records merges many times, its blocks
// leave the buffers and come back, and the .PX and header are brought up to date part way
// through merges.
class SmallBuffers {
public:
    SmallBuffers()
        : cache_(ParadoxTable::deferredCacheBytes), batch_(ParadoxTable::insertBatchBytes),
          commit_(ParadoxTable::writesPerDeferredCommit)
    {
        ParadoxTable::deferredCacheBytes = 1;
        ParadoxTable::insertBatchBytes = 1;
        ParadoxTable::writesPerDeferredCommit = 50;
    }
    ~SmallBuffers()
    {
        ParadoxTable::deferredCacheBytes = cache_;
        ParadoxTable::insertBatchBytes = batch_;
        ParadoxTable::writesPerDeferredCommit = commit_;
    }

private:
    int cache_, batch_, commit_;
};

struct KeyKind {
    const char* name;
    FieldDef key;
    const char* sortOrder;
    // The key value of number n; distinct n give distinct keys.
    std::function<Value(int)> value;
};

void PrintTo(const KeyKind& kind, std::ostream* os) { *os << kind.name; }

const std::vector<KeyKind>& keyKinds()
{
    static const std::vector<KeyKind> kinds{
        {"Long", FieldDef{QStringLiteral("Id"), ftInteger}, "ascii", [](int n) { return Value::integer(n - 3000); }},
        {"Alpha", FieldDef{QStringLiteral("Codigo"), ftString, 10}, "ANSIINTL",
         [](int n) { return Value::text(QStringLiteral("k%1%2").arg(n, 4, 10, QLatin1Char('0')).arg(QChar(n % 2 ? u'á' : u'a'))); }},
    };
    return kinds;
}

QString keyText(const Value& v) { return v.kind() == Value::Kind::Text ? v.asText() : QString::number(v.asInteger()); }

void expectPxlibReads(const QString& path, const QList<QList<Value>>& expected)
{
    if (QStringLiteral(QUILLORA_PX_DUMP).isEmpty())
        return;
    QStringList theirs;
    QString why;
    ASSERT_TRUE(pxlibDump(path, &theirs, &why)) << why.toStdString();
    ASSERT_EQ(theirs.size(), expected.size());
    ParadoxTable t(path);
    EXPECT_EQ(dumpLikePxlib(t), theirs);
}

class ParadoxInsertBatch : public ::testing::TestWithParam<KeyKind> {
protected:
    QString create(const char* name)
    {
        const QString path = dir.filePath(QString::fromUtf8(name));
        createParadoxTable(path, {GetParam().key, FieldDef{QStringLiteral("Nome"), ftString, 40}},
                           {7, 1, QString::fromUtf8(GetParam().sortOrder), 0, 1});
        return path;
    }
    Value key(int n) const { return GetParam().value(n); }
    QTemporaryDir dir;
};

TEST_P(ParadoxInsertBatch, randomAddsWithRepeatedKeysReadBackInKeyOrderHereAndInPxlib)
{
    SmallBuffers small;
    const QString path = create("lote.db");
    // Some records are there before the run, so that repeats meet keys in the chain as well
    // as keys in the batch.
    std::map<int, QString> model;
    {
        ParadoxTable t(path);
        for (int n = 0; n < 6000; n += 37) {
            model[n] = QStringLiteral("antes %1").arg(n);
            t.insert(row({key(n), Value::text(model[n])}), NoRecord);
        }
    }
    io::Operation operation(QStringLiteral("Adicionar"), {path});
    {
        ParadoxTable t(path);
        QRandomGenerator rng(5);
        int refused = 0;
        for (int k = 0; k < 5000; ++k) {
            const int n = int(rng.bounded(6000));
            const QString name = QStringLiteral("n%1 k%2").arg(n).arg(k);
            const bool taken = model.count(n) > 0;
            try {
                const RecordId id = t.insert(row({key(n), Value::text(name)}), NoRecord);
                ASSERT_FALSE(taken) << "repeated key " << keyText(key(n)).toStdString() << " was added";
                model[n] = name;
                QByteArray raw;
                t.read(id, raw);
                EXPECT_EQ(t.value(raw, 1), Value::text(name));
            } catch (const KeyViolation& e) {
                ASSERT_TRUE(taken) << "new key " << keyText(key(n)).toStdString() << " refused";
                EXPECT_EQ(e.text(), QStringLiteral("Violação de chave"));
                ++refused;
            }
            ASSERT_EQ(t.count(), qint64(model.size()));
            // Any key given so far is found, wherever it waits.
            if (k % 97 == 0) {
                const int probe = std::next(model.begin(), qsizetype(rng.bounded(quint32(model.size()))))->first;
                RecordId found = NoRecord;
                ASSERT_TRUE(t.findPrimaryKey({key(probe)}, &found));
                ASSERT_NE(found, NoRecord);
                QByteArray raw;
                t.read(found, raw);
                EXPECT_EQ(t.value(raw, 1), Value::text(model[probe]));
            }
        }
        EXPECT_GT(refused, 1000);
        t.flush();
    }
    ASSERT_TRUE(operation.finish());

    QList<QList<Value>> expected;
    for (const auto& [n, name] : model)
        expected << row({key(n), Value::text(name)});
    ParadoxTable t(path);
    EXPECT_EQ(readAll(t), expected);
    EXPECT_EQ(checkParadoxTable(path), QStringList());
    expectPxlibReads(path, expected);
}

TEST_P(ParadoxInsertBatch, recordsWaitingInTheBatchAreUpdatedMovedAndWalked)
{
    SmallBuffers small;
    const QString path = create("altera.db");
    io::Operation operation(QStringLiteral("Adicionar/Atualizar"), {path});
    std::map<int, QString> model;
    {
        ParadoxTable t(path);
        // Keys from the top down: after the first, each goes before the others and waits in the
        // batch (64 records here), whose ids hold until it merges.
        std::map<int, RecordId> ids;
        const quint64 generation = t.idGeneration();
        for (int n = 4000; n > 3960; --n) {
            model[n] = QStringLiteral("n%1").arg(n);
            ids[n] = t.insert(row({key(n), Value::text(model[n])}), NoRecord);
        }
        const QList<bool> nameOnly{false, true}, keyOnly{true, false};
        // A new name for a record that has not reached the chain, under the same id.
        EXPECT_EQ(t.update(ids[3970], row({Value(), Value::text(QStringLiteral("novo"))}), nameOnly), ids[3970]);
        model[3970] = QStringLiteral("novo");
        // A new key: onto a key in the batch or in the chain it is refused, onto a free one it moves.
        EXPECT_THROW(t.update(ids[3980], row({key(3975), Value()}), keyOnly), KeyViolation);
        EXPECT_THROW(t.update(ids[3980], row({key(4000), Value()}), keyOnly), KeyViolation);
        const RecordId moved = t.update(ids[3980], row({key(10), Value()}), keyOnly);
        model[10] = model[3980];
        model.erase(3980);
        // A key changed again and again stays findable under its last value only.
        for (int n = 5000; n < 5300; ++n)
            EXPECT_EQ(t.update(ids[3990], row({key(n + 1), Value()}), keyOnly), ids[3990]);
        model[5300] = model[3990];
        model.erase(3990);
        RecordId found = NoRecord;
        ASSERT_TRUE(t.findPrimaryKey({key(5300)}, &found));
        EXPECT_EQ(found, ids[3990]);
        ASSERT_TRUE(t.findPrimaryKey({key(5200)}, &found));
        EXPECT_EQ(found, NoRecord);
        EXPECT_EQ(t.idGeneration(), generation);
        QByteArray raw;
        t.read(moved, raw);
        EXPECT_EQ(t.value(raw, 0), key(10));
        // Walking the order takes the batch in (and gives its records new ids): record numbers,
        // next and prior agree with the model.
        EXPECT_EQ(t.recordNumber(moved), 1);
        EXPECT_NE(t.idGeneration(), generation);
        const RecordId first = t.first();
        t.read(first, raw);
        EXPECT_EQ(t.value(raw, 0), key(10));
        const RecordId second = t.next(first);
        t.read(second, raw);
        EXPECT_EQ(t.value(raw, 0), key(std::next(model.begin())->first));
        EXPECT_EQ(t.prior(second), first);
        EXPECT_EQ(t.recordNumber(t.last()), qint64(model.size()));
        // Later adds fill the batch, which merges, and start the next one; a record of that one
        // is deleted.
        for (int n = 3000; n > 2900; --n) {
            model[n] = QStringLiteral("n%1").arg(n);
            ids[n] = t.insert(row({key(n), Value::text(model[n])}), NoRecord);
        }
        t.read(ids[2910], raw);
        EXPECT_EQ(t.value(raw, 0), key(2910));
        t.remove(ids[2910]);
        model.erase(2910);
        EXPECT_THROW(t.update(t.first(), row({key(2999), Value()}), keyOnly), KeyViolation);
        EXPECT_EQ(t.count(), qint64(model.size()));
        t.flush();
    }
    ASSERT_TRUE(operation.finish());
    QList<QList<Value>> expected;
    for (const auto& [n, name] : model)
        expected << row({key(n), Value::text(name)});
    ParadoxTable t(path);
    EXPECT_EQ(readAll(t), expected);
    EXPECT_EQ(checkParadoxTable(path), QStringList());
    expectPxlibReads(path, expected);
}

TEST_P(ParadoxInsertBatch, aRunRolledBackAfterMergesLeavesTheFamilyByteForByte)
{
    SmallBuffers small;
    const QString path = create("volta.db");
    const QString index = dir.filePath(QStringLiteral("volta.px"));
    {
        ParadoxTable t(path);
        for (int n = 0; n < 3000; n += 7)
            t.insert(row({key(n), Value::text(QStringLiteral("n%1").arg(n))}), NoRecord);
    }
    const QByteArray table = readFile(path), primary = readFile(index);
    {
        io::Operation trial(QStringLiteral("Adicionar"), {path}, true);
        {
            ParadoxTable t(path);
            QRandomGenerator rng(9);
            for (int k = 0; k < 3000; ++k) {
                try {
                    t.insert(row({key(int(rng.bounded(3000))), Value::text(QStringLiteral("x"))}), NoRecord);
                } catch (const KeyViolation&) {
                }
            }
            t.flush();
            EXPECT_GT(t.count(), 2000);
        }
        EXPECT_FALSE(trial.finish());
    }
    EXPECT_EQ(readFile(path), table);
    EXPECT_EQ(readFile(index), primary);
}

INSTANTIATE_TEST_SUITE_P(Keys, ParadoxInsertBatch, ::testing::ValuesIn(keyKinds()),
                         [](const ::testing::TestParamInfo<KeyKind>& info) { return std::string(info.param.name); });

}  // namespace
