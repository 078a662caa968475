// What "Atualizar" and "Comparar" tell about each record, on tables written by Perl XBase: the
// counts of the run's result, the failed records and the records without a partner both ways.
#include "reconcile/Atualizar.h"
#include "reconcile/Comparar.h"
#include "tables/Table.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ResultsFixture.h"
#include "tests/run/ScriptedHost.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

struct Counts {
    qint64 read, appended, updated, unchanged, notMatched, unreached, failed;
    bool operator==(const Counts&) const = default;
};

Counts countsOf(const RecordRunResult& r)
{
    return {r.read, r.appended, r.updated, r.unchanged, r.notMatched, r.unreached, r.failed};
}

void PrintTo(const Counts& c, std::ostream* os)
{
    *os << "lidos " << c.read << ", incluídos " << c.appended << ", alterados " << c.updated << ", inalterados "
        << c.unchanged << ", sem correspondência " << c.notMatched << " (" << c.unreached << "), com erro "
        << c.failed;
}

class KeyedCounts : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveXBase())
            GTEST_SKIP() << "Perl XBase (libdbd-xbase-perl) is not installed; test skipped";
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        ASSERT_TRUE(makeResultTables(src, dst));
    }
    RecordRunResult compare(const char* mapping)
    {
        return comparar(t1, t2, host, src, dst, QString::fromUtf8(mapping), QStringLiteral("COD"),
                        QStringLiteral("CODIGO"), dir.path() + QStringLiteral("/lista.txt"));
    }

    QTemporaryDir dir;
    QString src, dst;
    Table t1{QStringLiteral("Table1")};
    Table t2{QStringLiteral("Table2")};
    ScriptedHost host;
};

}  // namespace

TEST_F(KeyedCounts, AtualizarCountsUpdatedUnchangedUnmatchedAndFailed)
{
    const RecordRunResult r = atualizar(t1, t2, host, src, dst, QString::fromUtf8(resultMapping()),
                                        QStringLiteral("COD"), QStringLiteral("CODIGO"));
    EXPECT_EQ(countsOf(r), (Counts{4, 0, 1, 1, 1, -1, 1}));
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME")), QStringList({"Ana", "Bia", "Dora", "Gil"}));
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].recordNumber, 4);
    EXPECT_EQ(r.failures[0].key, QStringLiteral("4,1"));
    EXPECT_EQ(host.questions, QStringList({QStringLiteral("Erro processando, %1, cancelar o processo ?")
                                               .arg(r.failures[0].error)}));
    EXPECT_TRUE(r.unmatched.empty());
}

TEST_F(KeyedCounts, CompararCountsBothWaysAndListsTheRecordsWithoutAPartner)
{
    struct Case {
        RecordRunHost::Answer verification;
        int option;
        Counts counts;
        QStringList names;  // the destination's NOME afterwards
    };
    const Case cases[] = {
        // Compare only: the different name is a divergence, but nothing changes.
        {RecordRunHost::Answer::No, -1, {4, 0, 0, 3, 1, 1, 0}, {"Ana", "Bete", "Dora", "Gil"}},
        // Source to destination: record 2 and "4,1" are changed.
        {RecordRunHost::Answer::Yes, 0, {4, 0, 2, 1, 1, 1, 0}, {"Ana", "Bia", "Davi", "Gil"}},
        // Both left as they are.
        {RecordRunHost::Answer::Yes, 2, {4, 0, 0, 3, 1, 1, 0}, {"Ana", "Bete", "Dora", "Gil"}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(QFile::remove(src) && QFile::remove(dst));
        ASSERT_TRUE(makeResultTables(src, dst));
        host = ScriptedHost();
        host.verification = c.verification;
        host.recordOption = [&](int, const QString&) { return c.option; };
        const RecordRunResult r = compare("NOME=NOME\n");
        SCOPED_TRACE(c.option);
        EXPECT_EQ(countsOf(r), c.counts);
        EXPECT_EQ(columnOf(dst, QStringLiteral("NOME")), c.names);
        ASSERT_EQ(r.unmatched.size(), 2u);
        EXPECT_TRUE(r.unmatched[0].inSource);
        EXPECT_EQ(r.unmatched[0].recordNumber, 3);
        EXPECT_EQ(r.unmatched[0].key, QStringLiteral("3"));
        EXPECT_FALSE(r.unmatched[1].inSource);
        EXPECT_EQ(r.unmatched[1].recordNumber, 4);
        EXPECT_EQ(r.unmatched[1].key, QStringLiteral("7"));
    }
}

TEST_F(KeyedCounts, CompararCancelledBeforeTheWalkReadsNothing)
{
    host.verification = RecordRunHost::Answer::Cancel;
    const RecordRunResult r = compare("NOME=NOME\n");
    EXPECT_EQ(countsOf(r), (Counts{0, 0, 0, 0, 0, -1, 0}));
    EXPECT_TRUE(r.unmatched.empty());
}

// A Paradox destination written by pxlib: its record numbers are positions, and the record no
// source record found is listed by its own.
TEST_F(KeyedCounts, CompararAgainstAParadoxDestinationWrittenByPxlib)
{
    QUILLORA_REQUIRE_PXLIB_WRITER();
    const QString px = dir.path() + QStringLiteral("/destino.db");
    ASSERT_TRUE(makeDbWithPxlib(px, QStringLiteral("CODIGO:A:6,NOME:A:10"),
                                {"7|Gil", "1|Ana", "2|Bete", "4,1|Dora"}));
    const RecordRunResult r = comparar(t1, t2, host, src, px, QStringLiteral("NOME=NOME\n"), QStringLiteral("COD"),
                                       QStringLiteral("CODIGO"), dir.path() + QStringLiteral("/lista.txt"));
    EXPECT_EQ(countsOf(r), (Counts{4, 0, 0, 3, 1, 1, 0}));
    ASSERT_EQ(r.unmatched.size(), 2u);
    EXPECT_EQ(r.unmatched[1].inSource, false);
    EXPECT_EQ(r.unmatched[1].recordNumber, 1);
    EXPECT_EQ(r.unmatched[1].key, QStringLiteral("7"));
}
