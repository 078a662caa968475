// What quillora-cli leaves after a record run: the one summary line on standard error, the
// failed records (--errors) and the records without a partner (--unmatched), byte for byte,
// on tables written by Perl XBase.
#include "tests/run/DbfFixture.h"
#include "tests/run/ResultsFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

struct CliRun {
    int status = -1;
    QString out, err;
};

// The failed record of the fixture as the CSV lists it.
const QByteArray failedLine = "4,\"4,1\",Valor inválido para o campo 'QTD'\r\n";

class RunReportsCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveXBase())
            GTEST_SKIP() << "Perl XBase (libdbd-xbase-perl) is not installed; test skipped";
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        map = dir.path() + QStringLiteral("/campos.txt");
        errors = dir.path() + QStringLiteral("/erros.csv");
        ASSERT_TRUE(makeResultTables(src, dst));
        writeFile(map, resultMapping());
    }
    CliRun cli(const QStringList& args)
    {
        CliRun r;
        r.status = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"),
                              args + QStringList{"--source", src, "--dest", dst, "--map", map, "--locale", "pt_BR",
                                                 "--on-error", "continue"},
                              &r.out, &r.err);
        return r;
    }
    // The one summary line, with the time checked for its form and left out.
    static QString summaryOf(const CliRun& r)
    {
        const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(lines.filter(QStringLiteral("Resumo:")).size(), 1) << r.err.toStdString();
        EXPECT_FALSE(lines.isEmpty());
        const QString last = lines.isEmpty() ? QString() : lines.last();
        static const QRegularExpression time(QStringLiteral("; tempo \\d+,\\d\\d s$"));
        EXPECT_TRUE(time.match(last).hasMatch()) << last.toStdString();
        return QString(last).remove(time);
    }

    QTemporaryDir dir;
    QString src, dst, map, errors;
};

}  // namespace

TEST_F(RunReportsCli, ProcessPrintsItsSummaryAndListsTheFailedRecord)
{
    struct Case {
        const char* operation;
        const char* summary;
    };
    const Case cases[] = {
        {"Adicionar", "Resumo: lidos 4; incluídos 3; alterados 0; inalterados 0; sem correspondência 0; com erro 1"},
        {"Copiar", "Resumo: lidos 4; incluídos 0; alterados 1; inalterados 1; sem correspondência 1; com erro 1"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(QFile::remove(src) && QFile::remove(dst));
        ASSERT_TRUE(makeResultTables(src, dst));
        const CliRun r = cli({"process", "--operation", c.operation, "--errors", errors});
        EXPECT_EQ(r.status, 1) << r.err.toStdString();
        EXPECT_EQ(summaryOf(r), QString::fromUtf8(c.summary));
        EXPECT_EQ(readFile(errors), "registro,chave,erro\r\n" + failedLine);
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(RunReportsCli, UpdatePrintsItsSummaryAndListsTheFailedRecord)
{
    const CliRun r = cli({"update", "--source-key", "COD", "--dest-key", "CODIGO", "--errors", errors});
    EXPECT_EQ(r.status, 1) << r.err.toStdString();
    EXPECT_EQ(summaryOf(r),
              QStringLiteral("Resumo: lidos 4; incluídos 0; alterados 1; inalterados 1; sem correspondência 1; "
                             "com erro 1"));
    EXPECT_EQ(readFile(errors), "registro,chave,erro\r\n" + failedLine);
}

TEST_F(RunReportsCli, CompareCountsAndListsTheRecordsWithoutAPartnerBothWays)
{
    writeFile(map, "NOME=NOME\n");
    const QString unmatched = dir.path() + QStringLiteral("/sem_par.csv");
    const CliRun r = cli({"compare", "--source-key", "COD", "--dest-key", "CODIGO", "--out",
                          dir.path() + QStringLiteral("/lista.txt"), "--errors", errors, "--unmatched", unmatched});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(summaryOf(r),
              QStringLiteral("Resumo: lidos 4; incluídos 0; alterados 0; inalterados 3; sem correspondência 1 (1); "
                             "com erro 0"));
    EXPECT_EQ(readFile(errors), "registro,chave,erro\r\n");
    EXPECT_EQ(readFile(unmatched), "lado,registro,chave\r\nfonte,3,3\r\ndestino,4,7\r\n");
}

TEST_F(RunReportsCli, AListThatCannotBeWrittenStopsTheRunBeforeATableIsTouched)
{
    const QByteArray before = readFile(dst);
    const QString nowhere = dir.path() + QStringLiteral("/nao/existe.csv");
    const CliRun r = cli({"process", "--operation", "Adicionar", "--errors", nowhere});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("Não foi possível gravar o arquivo %1: ").arg(nowhere)))
        << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("Resumo:")));
    EXPECT_EQ(readFile(dst), before);
}
