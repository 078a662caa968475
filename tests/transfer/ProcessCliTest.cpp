// `quillora-cli process` as scripts see it: exit status, standard error, the written table.
#include "tests/run/DbfFixture.h"

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

class ProcessCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        map = dir.path() + QStringLiteral("/campos.txt");
        makeDbf(src, {textField("COD", 6), textField("NOME", 20)},
                {{txt("1"), txt("Ana")}, {txt("x"), txt("Bia")}, {txt("3"), txt("Caio")}});
        makeDbf(dst, {FieldDef{"NUM", ftInteger, 0}, textField("NOME_CLI", 20)});
    }
    CliRun process(const QByteArray& mapping, QStringList extra)
    {
        writeFile(map, mapping);
        CliRun r;
        QStringList args = {"process", "--source", src, "--dest", dst, "--map", map, "--locale", "pt_BR"};
        r.status = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"), args + extra, &r.out, &r.err);
        return r;
    }

    QTemporaryDir dir;
    QString src, dst, map;
};

}  // namespace

TEST_F(ProcessCli, AddsRecordsAndExitsZero)
{
    const CliRun r = process("NUM=@1\r\nNOME_CLI=NOME\r\n", {"--operation", "Adicionar"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({{"1", "Ana"}, {"2", "Bia"}, {"3", "Caio"}}));
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("100%")) << r.err.toStdString();
}

TEST_F(ProcessCli, OnErrorStopAndContinue)
{
    struct Case {
        QStringList extra;
        QStringList names;
    };
    const Case cases[] = {
        {{"--operation", "0"}, {"Ana"}},  // stop is the default
        {{"--operation", "0", "--on-error", "stop"}, {"Ana"}},
        {{"--operation", "0", "--on-error", "continue"}, {"Ana", "Caio"}},
    };
    for (const Case& c : cases) {
        QFile::remove(dst);
        makeDbf(dst, {FieldDef{"NUM", ftInteger, 0}, textField("NOME_CLI", 20)});
        const CliRun r = process("NUM=COD\nNOME_CLI=NOME\n", c.extra);
        EXPECT_EQ(r.status, 1) << c.extra.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("Erro processando, Valor inválido para o campo 'NUM', cancelar o processo ?"))
            << r.err.toStdString();
        EXPECT_EQ(columnOf(dst, "NOME_CLI"), c.names) << c.extra.join(' ').toStdString();
    }
}

TEST_F(ProcessCli, NoOperationWritesNothing)
{
    const QByteArray before = readFile(dst);
    const CliRun r = process("NUM=@1\n", {});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readFile(dst), before);
}

TEST_F(ProcessCli, BadUsageAndMissingTables)
{
    for (const QStringList& extra : {QStringList{"--operation", "Somar"}, QStringList{"--on-error", "talvez"},
                                     QStringList{"--nada"}}) {
        const CliRun r = process("NUM=@1\n", extra);
        EXPECT_EQ(r.status, 2) << extra.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("uso: quillora-cli")) << r.err.toStdString();
    }
    src = dir.path() + QStringLiteral("/nao_existe.dbf");
    const CliRun r = process("NUM=@1\n", {"--operation", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("nao_existe.dbf")) << r.err.toStdString();
}
