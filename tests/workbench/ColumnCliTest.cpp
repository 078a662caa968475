// `quillora-cli column` as scripts see it: exit status, messages, the rewritten table.
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::test;

namespace {

struct CliResult {
    int status = -1;
    QString out, err;
};

CliResult column(const QStringList& args)
{
    CliResult r;
    r.status = runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"),
                          QStringList{"column", "--locale", "pt_BR"} + args, &r.out, &r.err);
    return r;
}

class ColumnCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.path() + "/t.dbf";
        makeDbf(path, {textField("NOME", 8), FieldDef{"QTD", ftInteger, 5}},
                {{txt("7"), Value::integer(1)}, {txt("Ab"), Value::integer(2)}, {txt("12"), Value::integer(3)}});
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(ColumnCli, OperationsRewriteTheColumnFromTheChosenRecord)
{
    const struct {
        QStringList args;
        QStringList column;
        const char* message;
    } cases[] = {
        {{"--operation", "zeros", "--width", "3"}, {"007", "Ab", "012"}, "Dados processados com sucesso !"},
        {{"--operation", "fill", "--value", "xy", "--from", "2"}, {"007", "xy", "xy"}, "Processamento concluído com sucesso !"},
        {{"--operation", "sequence", "--value", "9"}, {"9", "10", "11"}, "Processamento concluído com sucesso !"},
        {{"--operation", "cut", "--start", "1", "--count", "1", "--from", "3"}, {"9", "10", "1"}, "Processamento concluído com sucesso !"},
        {{"--operation", "recno", "--from", "2"}, {"9", "00000002", "00000003"}, "Processamento concluído com sucesso !"},
        {{"--operation", "case", "--upper"}, {"9", "00000002", "00000003"}, "Dados processados com sucesso !"},
    };
    for (const auto& c : cases) {
        const CliResult r = column(QStringList{path, "--column", "NOME"} + c.args);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, QString::fromUtf8(c.message) + "\n");
        EXPECT_EQ(columnOf(path, "NOME"), c.column) << c.args.join(' ').toStdString();
    }
}

TEST_F(ColumnCli, RefusalsErrorsAndUsage)
{
    CliResult r = column({path, "--column", "QTD", "--operation", "cut"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Este campo não pode ser processado !\n");
    r = column({path, "--column", "QTD", "--operation", "sequence", "--value", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("não pode ser processado")) << r.err.toStdString();
    r = column({path, "--column", "QTD", "--operation", "fill", "--value", "12a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("'12a' is not a valid integer value")) << r.err.toStdString();
    EXPECT_EQ(columnOf(path, "QTD"), QStringList({"1", "2", "3"}));
    r = column({path, "--column", "NADA", "--operation", "zeros"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Campo NADA não encontrado")) << r.err.toStdString();

    for (const QStringList& bad : {QStringList{path, "--column", "NOME", "--operation", "x"},
                                   QStringList{path, "--column", "NOME", "--operation", "zeros", "--width", "0"},
                                   QStringList{path, "--column", "NOME", "--operation", "case"},
                                   QStringList{path, "--column", "NOME", "--operation", "fill"},
                                   QStringList{path, "--operation", "zeros"}}) {
        r = column(bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("uso: quillora-cli"));
    }
    EXPECT_EQ(columnOf(path, "NOME"), QStringList({"7", "Ab", "12"}));
}

}  // namespace
