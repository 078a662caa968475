// The summary line and the CSV lists of a record run, from counts set by hand.
#include "run/RunCsv.h"
#include "run/RunSummary.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;

namespace {

RecordRunResult someCounts()
{
    RecordRunResult r;
    r.read = 12;
    r.appended = 3;
    r.updated = 4;
    r.unchanged = 2;
    r.notMatched = 1;
    r.failed = 2;
    r.elapsedMs = 1234;
    return r;
}

}  // namespace

TEST(RunSummary, LineSpellsEveryCountAndTheTimeWithTheLocalesSeparator)
{
    RecordRunResult r = someCounts();
    EXPECT_EQ(summaryLine(r), QStringLiteral("Resumo: lidos 12; incluídos 3; alterados 4; inalterados 2; "
                                             "sem correspondência 1; com erro 2; tempo 1,23 s"));
    r.unreached = 5;
    r.elapsedMs = 60005;
    EXPECT_EQ(summaryLine(r), QStringLiteral("Resumo: lidos 12; incluídos 3; alterados 4; inalterados 2; "
                                             "sem correspondência 1 (5); com erro 2; tempo 60,01 s"));
    r.unreached = 0;
    EXPECT_TRUE(summaryLine(r).contains(QStringLiteral("sem correspondência 1 (0); "))) << summaryLine(r).toStdString();
}

TEST(RunSummary, TextForTheWindowSaysHowTheRunEnded)
{
    RecordRunResult r = someCounts();
    r.stopped = true;
    EXPECT_EQ(summaryText(r), QStringLiteral("Registros lidos: 12\nIncluídos: 3\nAlterados: 4\nInalterados: 2\n"
                                             "Sem correspondência: 1\nCom erro: 2\nTempo: 1,23 s\n"
                                             "O processamento foi interrompido."));
    r.stopped = false;
    r.unreached = 6;
    EXPECT_TRUE(summaryText(r).contains(QStringLiteral("Sem correspondência no destino: 1\n"
                                                       "Do destino sem correspondência na fonte: 6\n")))
        << summaryText(r).toStdString();
}

TEST(RunCsv, QuotesOnlyTheFieldsThatNeedIt)
{
    RecordRunResult r;
    r.failures = {{7, QStringLiteral("a,b"), QStringLiteral("diz \"não\"")},
                  {9, QStringLiteral("João"), QStringLiteral("linha\nquebrada")},
                  {10, QString(), QStringLiteral("simples")}};
    EXPECT_EQ(failedRecordsCsv(r), QByteArray("registro,chave,erro\r\n"
                                              "7,\"a,b\",\"diz \"\"n\xc3\xa3o\"\"\"\r\n"
                                              "9,Jo\xc3\xa3o,\"linha\nquebrada\"\r\n"
                                              "10,,simples\r\n"));
    r.unmatched = {{true, 3, QStringLiteral("3")}, {false, 4, QStringLiteral("x\"y")}};
    EXPECT_EQ(unmatchedCsv(r), QByteArray("lado,registro,chave\r\nfonte,3,3\r\ndestino,4,\"x\"\"y\"\r\n"));
    EXPECT_EQ(unmatchedCsv(RecordRunResult()), QByteArray("lado,registro,chave\r\n"));
}
