// What "Processar" tells about each source record, on tables written by Perl XBase: the counts
// of the run's result and the failed records' list.
#include "tables/Table.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ResultsFixture.h"
#include "tests/run/ScriptedHost.h"
#include "transfer/Transfer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

struct Counts {
    qint64 read, appended, updated, unchanged, notMatched, failed;
    bool operator==(const Counts&) const = default;
};

Counts countsOf(const RecordRunResult& r)
{
    return {r.read, r.appended, r.updated, r.unchanged, r.notMatched, r.failed};
}

void PrintTo(const Counts& c, std::ostream* os)
{
    *os << "lidos " << c.read << ", incluídos " << c.appended << ", alterados " << c.updated << ", inalterados "
        << c.unchanged << ", sem correspondência " << c.notMatched << ", com erro " << c.failed;
}

}  // namespace

TEST(ProcessCounts, EachOperationCountsWhatItDidWithEveryRecord)
{
    QUILLORA_REQUIRE_XBASE();
    struct Case {
        Operacao operation;
        Counts counts;
        QStringList names;  // the destination's NOME afterwards
    };
    // Records: 1 equal, 2 another name, 3 no partner, "4,1" a partner but a QTD that is no
    // number.
    const Case cases[] = {
        {Operacao::Adicionar, {4, 3, 0, 0, 0, 1}, {"Ana", "Bete", "Dora", "Gil", "Ana", "Bia", "Caio"}},
        {Operacao::AdicionarAtualizar, {4, 1, 1, 1, 0, 1}, {"Ana", "Bia", "Dora", "Gil", "Caio"}},
        {Operacao::Copiar, {4, 0, 1, 1, 1, 1}, {"Ana", "Bia", "Dora", "Gil"}},
        {Operacao::Nenhuma, {4, 0, 0, 4, 0, 0}, {"Ana", "Bete", "Dora", "Gil"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString src = dir.path() + QStringLiteral("/fonte.dbf");
        const QString dst = dir.path() + QStringLiteral("/destino.dbf");
        ASSERT_TRUE(makeResultTables(src, dst));
        Table t1(QStringLiteral("Table1"));
        Table t2(QStringLiteral("Table2"));
        ScriptedHost host;  // every error answered No: the run goes on
        const RecordRunResult r =
            processar(t1, t2, host, src, dst, QString::fromUtf8(resultMapping()), c.operation);
        SCOPED_TRACE(int(c.operation));
        EXPECT_EQ(countsOf(r), c.counts);
        EXPECT_EQ(r.unreached, -1);
        EXPECT_FALSE(r.stopped);
        EXPECT_EQ(columnOf(dst, QStringLiteral("NOME")), c.names);
        if (c.counts.failed == 1) {
            ASSERT_EQ(r.failures.size(), 1u);
            EXPECT_EQ(r.failures[0].recordNumber, 4);
            EXPECT_EQ(r.failures[0].key, QStringLiteral("4,1"));
            EXPECT_EQ(QStringLiteral("Erro processando, %1, cancelar o processo ?").arg(r.failures[0].error),
                      host.questions.value(0));
        } else {
            EXPECT_TRUE(r.failures.empty());
        }
    }
}

TEST(ProcessCounts, AStoppedRunCountsOnlyTheRecordsItReached)
{
    QUILLORA_REQUIRE_XBASE();
    QTemporaryDir dir;
    const QString src = dir.path() + QStringLiteral("/fonte.dbf");
    const QString dst = dir.path() + QStringLiteral("/destino.dbf");
    ASSERT_TRUE(makeResultTables(src, dst));
    // The failing record second, answered Yes: nothing after it is read.
    ASSERT_TRUE(QFile::remove(src));
    ASSERT_TRUE(makeDbfWithXBase(src, QStringLiteral("COD:C:6,NOME:C:10,QTD:C:5"),
                                 {"1|Ana|5", "x|Xis|abc", "3|Caio|7"}));
    Table t1(QStringLiteral("Table1"));
    Table t2(QStringLiteral("Table2"));
    ScriptedHost host;
    host.answer = [](int, const QString&) { return true; };
    const RecordRunResult r =
        processar(t1, t2, host, src, dst, QString::fromUtf8(resultMapping()), Operacao::AdicionarAtualizar);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(countsOf(r), (Counts{2, 0, 0, 1, 0, 1}));
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].recordNumber, 2);
    EXPECT_EQ(r.failures[0].key, QStringLiteral("x"));
}
