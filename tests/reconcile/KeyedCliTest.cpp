// `quillora-cli update` and `compare` as scripts see them: exit status, standard error, the
// tables and the divergence list written.
#include "tests/run/DbfFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

class KeyedCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        map = dir.path() + QStringLiteral("/campos.txt");
        out = dir.path() + QStringLiteral("/divergencias.txt");
        makeDbf(src, {textField("COD", 6), textField("NOME", 12)},
                {{txt("1"), txt("Ana")}, {txt("2"), txt("Bia")}, {txt("3"), txt("Caio")}});
        makeDbf(dst, {textField("CODIGO", 6), textField("NOME_CLI", 12)},
                {{txt("2"), txt("bia")}, {txt("1"), txt("Ana")}, {txt("7"), txt("Gil")}});
        writeFile(map, "NOME_CLI=NOME\r\n");
    }
    CliRun cli(const QString& command, const QStringList& extra)
    {
        CliRun r;
        const QStringList args = {command,      "--source", src, "--dest", dst, "--map", map, "--source-key", "COD",
                                  "--dest-key", "CODIGO",   "--locale", "pt_BR"};
        r.status = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"), args + extra, &r.out, &r.err);
        return r;
    }
    QByteArray header() const
    {
        return "Destino: " + dst.toUtf8() + "\r\nFonte..: " + src.toUtf8() + "\r\n" + QByteArray(94, '-') + "\r\n";
    }

    QTemporaryDir dir;
    QString src, dst, map, out;
};

}  // namespace

TEST_F(KeyedCli, UpdateWritesTheMatchedRecords)
{
    const CliRun r = cli(QStringLiteral("update"), {});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"Bia", "Ana", "Gil"}));
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(KeyedCli, UpdateWithAFailingRecordExitsOne)
{
    writeFile(map, "NOME_CLI=NOME\nNAO_HA=NOME\n");
    const CliRun r = cli(QStringLiteral("update"), {"--on-error", "continue"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.count(QStringLiteral("Erro processando, Table2: Campo NAO_HA não encontrado, cancelar o processo ? Não")), 2)
        << r.err.toStdString();
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"bia", "Ana", "Gil"}));
}

TEST_F(KeyedCli, CompareWritesTheListAndReconcilesOnRequest)
{
    struct Case {
        QStringList extra;
        QStringList destination;
        QStringList source;
    };
    const QByteArray line = "Chave: 2 >>> Destino: NOME_CLI=bia  <>   Fonte: NOME=Bia\r\n";
    for (const Case& c : {Case{{}, {"bia", "Ana", "Gil"}, {"Ana", "Bia", "Caio"}},
                          Case{{"--reconcile", "none"}, {"bia", "Ana", "Gil"}, {"Ana", "Bia", "Caio"}},
                          Case{{"--reconcile", "source-to-dest"}, {"Bia", "Ana", "Gil"}, {"Ana", "Bia", "Caio"}},
                          Case{{"--reconcile", "dest-to-source"}, {"Bia", "Ana", "Gil"}, {"Ana", "Bia", "Caio"}}}) {
        const CliRun r = cli(QStringLiteral("compare"), QStringList{"--out", out} + c.extra);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), c.destination) << c.extra.join(' ').toStdString();
        EXPECT_EQ(columnOf(src, QStringLiteral("NOME")), c.source) << c.extra.join(' ').toStdString();
        // The last run finds nothing left to differ after the one before it.
        if (c.extra.value(1) == QLatin1String("dest-to-source"))
            EXPECT_EQ(readFile(out), header());
        else
            EXPECT_EQ(readFile(out), header() + line);
    }
}

TEST_F(KeyedCli, BadUsageAndFailuresToSave)
{
    struct Case {
        QString command;
        QStringList extra;
        int status;
        const char* err;
    };
    for (const Case& c : {Case{"compare", {"--reconcile", "sim"}, 2, "--reconcile aceita none"},
                          Case{"update", {"--out", "x"}, 2, "uso: quillora-cli"},
                          Case{"compare", {"--on-error", "talvez"}, 2, "--on-error aceita stop ou continue"},
                          Case{"compare", {"--out", dir.path() + "/nao/ha/lista.txt"}, 1,
                               "Não foi possível gravar a lista de divergências"}}) {
        const CliRun r = cli(c.command, c.extra);
        EXPECT_EQ(r.status, c.status) << c.extra.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
    }
    QString err;
    EXPECT_EQ(runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"),
                         {"update", "--source", src, "--dest", dst, "--map", map, "--source-key", "COD"}, nullptr, &err),
              2);
    EXPECT_TRUE(err.contains(QStringLiteral("falta a opção --dest-key"))) << err.toStdString();
}

// A list that cannot be written stops `compare` before any record is reconciled.
TEST_F(KeyedCli, CompareRefusesAListThatCannotBeWrittenBeforeReconciling)
{
    writeFile(dir.path() + QStringLiteral("/arquivo"), "x");
    struct Case {
        QString out;
        QString reason;
    };
    for (const Case& c : {Case{dir.path() + "/nao/ha/lista.txt", "a pasta " + dir.path() + "/nao/ha não existe"},
                          Case{dir.path() + "/arquivo/lista.txt", dir.path() + "/arquivo não é uma pasta"}}) {
        const CliRun r = cli(QStringLiteral("compare"), {"--out", c.out, "--reconcile", "source-to-dest"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, QStringLiteral("Não foi possível gravar a lista de divergências %1: %2\n").arg(c.out, c.reason));
        EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"bia", "Ana", "Gil"}));
    }
}

// The header shows full paths when the tables are given relative to the working folder.
TEST_F(KeyedCli, CompareHeaderShowsTheFullPathOfRelativeArguments)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("t")));
    QProcess p;
    p.setWorkingDirectory(dir.path() + QStringLiteral("/t"));
    p.start(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"),
            {"compare", "--source", "../fonte.dbf", "--dest", "./../destino.dbf", "--map", map, "--source-key", "COD",
             "--dest-key", "CODIGO", "--locale", "pt_BR", "--out", "lista.txt"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(readFile(dir.path() + QStringLiteral("/t/lista.txt")),
              header() + "Chave: 2 >>> Destino: NOME_CLI=bia  <>   Fonte: NOME=Bia\r\n");
}

// Keys cut to the destination's width are said once, on standard error, as a warning: the run
// still succeeds.
TEST_F(KeyedCli, KeysCutAreWarnedOnceOnStandardError)
{
    src = dir.path() + QStringLiteral("/longas.dbf");
    dst = dir.path() + QStringLiteral("/estreito.dbf");
    makeDbf(src, {textField("COD", 6), textField("NOME", 12)}, {{txt("100"), txt("Ana")}, {txt("101"), txt("Bia")}});
    makeDbf(dst, {textField("CODIGO", 2), textField("NOME_CLI", 12)}, {{txt("10"), txt("x")}});
    const CliRun r = cli(QStringLiteral("update"), {});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("Aviso: chaves maiores que o campo CODIGO do destino foram cortadas para 2 "
                                         "caracteres\n")),
              1)
        << r.err.toStdString();
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"Bia"}));
}
