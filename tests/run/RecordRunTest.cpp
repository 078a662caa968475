// The record run frame on real dBase tables: progress, the error question, the cancel flag,
// and both tables closed whatever happens.
#include "run/RecordRun.h"
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/io/Backend.h"
#include "tables/io/FaultyBackend.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ScriptedHost.h"

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

class RecordRunFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        makeDbf(src, {textField("COD", 4)}, {{txt("1")}, {txt("2")}, {txt("3")}, {txt("4")}, {txt("5")}});
        makeDbf(dst, {textField("COD", 4)});
    }
    // A run whose work fails on the records whose COD is in `failing`, and otherwise counts.
    RecordRunResult runFailingAt(QStringList failing)
    {
        RecordRun run(t1, t2, host);
        run.perRecord = [&, failing] {
            const QString cod = t1.FieldByName(QStringLiteral("COD"))->AsString();
            seen << cod;
            if (failing.contains(cod))
                throw Error(QStringLiteral("falhou ") + cod);
        };
        run.closing = [&] { closedTablesAtClosing = !t1.Active() && !t2.Active() && !host.visible; };
        return run.run(src, dst);
    }

    QTemporaryDir dir;
    QString src, dst;
    Table t1{QStringLiteral("Table1")};
    Table t2{QStringLiteral("Table2")};
    ScriptedHost host;
    QStringList seen;
    bool closedTablesAtClosing = false;
};

}  // namespace

TEST_F(RecordRunFrame, WalksEveryRecordStepsTheBarAndClosesEverything)
{
    const RecordRunResult r = runFailingAt({});
    EXPECT_EQ(seen, QStringList({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(host.shows, 1);
    EXPECT_EQ(host.maximum, 5);
    EXPECT_EQ(host.steps, 5);
    EXPECT_EQ(host.positionAtHide, 5);
    EXPECT_FALSE(host.visible);
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_TRUE(closedTablesAtClosing);
    EXPECT_FALSE(t1.Active());
    EXPECT_FALSE(t2.Active());
    EXPECT_EQ(r.failed, 0);
    EXPECT_FALSE(r.stopped);
    // Bound from the paths given, for later operations.
    EXPECT_EQ(t2.FilePath(), dst);
}

TEST_F(RecordRunFrame, ErrorAnsweredNoGoesOnAndYesStopsAfterThatRecord)
{
    struct Case {
        bool answer;
        QStringList seen;
        qint64 barAtHide;
    };
    for (const Case& c : {Case{false, {"1", "2", "3", "4", "5"}, 5}, Case{true, {"1", "2", "3"}, 3}}) {
        seen.clear();
        host = ScriptedHost();
        host.answer = [&](int, const QString&) { return c.answer; };
        const RecordRunResult r = runFailingAt({"3"});
        EXPECT_EQ(seen, c.seen) << "answer " << c.answer;
        EXPECT_EQ(host.questions, QStringList({"Erro processando, falhou 3, cancelar o processo ?"}));
        EXPECT_EQ(host.positionAtHide, c.barAtHide);
        EXPECT_EQ(r.failed, 1);
        EXPECT_EQ(r.stopped, c.answer);
        EXPECT_EQ(ProcessoCancelado, c.answer);
        EXPECT_FALSE(t1.Active() || t2.Active() || host.visible);
    }
    // The flag left set by the Yes above is cleared before the next run's first record.
    seen.clear();
    host = ScriptedHost();
    runFailingAt({});
    EXPECT_EQ(seen.size(), 5);
}

TEST_F(RecordRunFrame, CancelBetweenRecordsStopsTheWalk)
{
    host.onBetween = [](qint64 walked) {
        if (walked == 2)
            ProcessoCancelado = true;  // what "Cancelar" answered Yes does
    };
    const RecordRunResult r = runFailingAt({});
    EXPECT_EQ(seen, QStringList({"1", "2"}));
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(t1.Active() || t2.Active() || host.visible);
}

TEST_F(RecordRunFrame, FailedRecordDiscardsThePendingDestinationRecord)
{
    RecordRun run(t1, t2, host);
    run.perRecord = [&] {
        t2.Append();
        t2.FieldByName(QStringLiteral("COD"))->SetValue(t1.FieldByName(QStringLiteral("COD"))->Value());
        if (t1.FieldByName(QStringLiteral("COD"))->AsString() == QLatin1String("2"))
            t2.FieldByName(QStringLiteral("NAO_EXISTE"));  // fails half-way through the record
        t2.Post();
    };
    run.run(src, dst);
    EXPECT_EQ(columnOf(dst, QStringLiteral("COD")), QStringList({"1", "3", "4", "5"}));
    EXPECT_EQ(host.questions,
              QStringList({"Erro processando, Table2: Campo NAO_EXISTE não encontrado, cancelar o processo ?"}));
}

TEST_F(RecordRunFrame, EmptySourceShowsAndHidesTheWindowWithNoRecord)
{
    makeDbf(dir.path() + QStringLiteral("/vazia.dbf"), {textField("COD", 4)});
    src = dir.path() + QStringLiteral("/vazia.dbf");
    runFailingAt({});
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(host.shows, 1);
    EXPECT_EQ(host.maximum, 0);
    EXPECT_EQ(host.steps, 0);
    EXPECT_EQ(host.hides, 1);
}

TEST_F(RecordRunFrame, OpeningFailureIsThrownBeforeTheWindowShows)
{
    QFile::remove(dst);
    EXPECT_THROW(runFailingAt({}), Error);
    EXPECT_EQ(host.shows, 0);
    EXPECT_TRUE(seen.isEmpty());
    // The source opened before the failing step stays open, as the old program left it.
    EXPECT_TRUE(t1.Active());
    t1.Close();
}

TEST_F(RecordRunFrame, ErrorOutsideTheRecordWorkEndsTheRunAfterClosing)
{
    RecordRun run(t1, t2, host);
    bool closingRan = false;
    run.beforeWalk = [] { throw Error(QStringLiteral("antes")); };
    run.closing = [&] { closingRan = true; };
    try {
        run.run(src, dst);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), QStringLiteral("antes"));
    }
    EXPECT_TRUE(closingRan);
    EXPECT_FALSE(t1.Active() || t2.Active() || host.visible);
    EXPECT_TRUE(host.questions.isEmpty());
    // The host still hears how far the run got, the error counted as its failure.
    ASSERT_TRUE(host.aborted.has_value());
    EXPECT_EQ(host.aborted->read, 0);
    EXPECT_EQ(host.aborted->failed, 1);
    ASSERT_EQ(host.aborted->failures.size(), 1u);
    EXPECT_EQ(host.aborted->failures[0].error, QStringLiteral("antes"));
    EXPECT_TRUE(host.aborted->stopped);
    EXPECT_FALSE(host.aborted->rolledBack);
}

// A write that fails ends the run and rolls it back; the host is told the counts up to the
// failure, which is counted once, whichever write it was (in a record's work or on closing).
TEST_F(RecordRunFrame, AFailedWriteIsRolledBackAndItsCountsStillReachTheHost)
{
    const QByteArray before = readFile(dst);
    int fired = 0;
    for (qint64 n = 1; n < 400; ++n) {
        ScriptedHost h;
        io::FaultyBackend faulty(io::posixBackend());
        bool threw = false;
        {
            io::ScopedBackend use(faulty);
            faulty.failAt(n, io::FaultyBackend::Write, ENOSPC);
            RecordRun run(t1, t2, h);
            run.perRecord = [&] {
                t2.Append();
                t2.FieldByName(QStringLiteral("COD"))->SetValue(t1.FieldByName(QStringLiteral("COD"))->Value());
                t2.Post();
                run.tell(RecordOutcome::Appended);
            };
            try {
                run.run(src, dst);
            } catch (const Error&) {
                threw = true;
            }
        }
        if (!faulty.fired())
            break;
        if (!threw)
            continue;  // a journal write the run could do without
        ++fired;
        ASSERT_TRUE(h.aborted.has_value()) << "failure " << n;
        EXPECT_EQ(h.aborted->failed, 1) << "failure " << n;
        EXPECT_EQ(h.aborted->failures.size(), 1u) << "failure " << n;
        EXPECT_TRUE(h.aborted->rolledBack) << "failure " << n;
        EXPECT_LE(h.aborted->read, 5) << "failure " << n;
        EXPECT_LE(h.aborted->appended, h.aborted->read) << "failure " << n;
        ASSERT_EQ(readFile(dst), before) << "failure " << n;
    }
    EXPECT_GT(fired, 0);
}

// A failed record leaves no pending change in the source either: an edit of the source record
// left pending would be stored by the next move, or fail there and end the whole run.
TEST_F(RecordRunFrame, FailedRecordDiscardsThePendingSourceChange)
{
    RecordRun run(t1, t2, host);
    run.perRecord = [&] {
        seen << t1.FieldByName(QStringLiteral("COD"))->AsString();
        t1.Edit();
        t1.FieldByName(QStringLiteral("COD"))->SetValue(Value::text(QStringLiteral("X")));
        throw Error(QStringLiteral("falhou"));
    };
    const RecordRunResult r = run.run(src, dst);
    EXPECT_EQ(r.failed, 5);
    EXPECT_EQ(seen, QStringList({"1", "2", "3", "4", "5"}));
    EXPECT_EQ(columnOf(src, QStringLiteral("COD")), QStringList({"1", "2", "3", "4", "5"}));
}

TEST_F(RecordRunFrame, SkippingTheWalkStillRunsTheClosingSteps)
{
    RecordRun run(t1, t2, host);
    bool closingRan = false;
    run.beforeWalk = [&] { run.skipWalk = true; };
    run.perRecord = [&] { seen << QStringLiteral("walked"); };
    run.closing = [&] { closingRan = true; };
    const RecordRunResult r = run.run(src, dst);
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(r.walked, 0);
    EXPECT_EQ(host.positionAtHide, 0);
    EXPECT_TRUE(closingRan);
    EXPECT_FALSE(t1.Active() || t2.Active() || host.visible);
}
