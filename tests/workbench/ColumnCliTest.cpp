// `quillora-cli column` as scripts see it: exit status, messages, the rewritten table.
#include "tables/Table.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"

#include <QRegularExpression>
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

// --from is a record number (RecNo): for dBase the physical number, deleted records counted,
// not the position among the visible ones. The table is written by Perl XBase, with records 2
// and 3 deleted, and read back by it.
TEST_F(ColumnCli, FromIsTheDbasePhysicalRecordNumber)
{
    QUILLORA_REQUIRE_XBASE();
    const QString xb = dir.path() + "/apagados.dbf";
    ASSERT_TRUE(makeDbfWithXBase(xb, "NOME:C:6", {"a", "b", "c", "d", "e", "f"}, {2, 3}));

    CliResult r = column({xb, "--column", "NOME", "--operation", "fill", "--value", "x", "--from", "4"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(xbaseDump(xb), QStringList({"ok|a", "DEL|b", "DEL|c", "ok|x", "ok|x", "ok|x"}));

    r = column({xb, "--column", "NOME", "--operation", "recno", "--from", "5"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(xbaseDump(xb), QStringList({"ok|a", "DEL|b", "DEL|c", "ok|x", "ok|000005", "ok|000006"}));

    for (const char* missing : {"2", "7"}) {
        r = column({xb, "--column", "NOME", "--operation", "fill", "--value", "y", "--from", missing});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, QStringLiteral("Registro %1 não existe ou está apagado\n").arg(missing));
    }
    EXPECT_EQ(xbaseDump(xb), QStringList({"ok|a", "DEL|b", "DEL|c", "ok|x", "ok|000005", "ok|000006"}));

    QString help;
    runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"), {"--help"}, &help);
    EXPECT_TRUE(help.contains("no dBase, o número físico")) << help.toStdString();
}

// The run's summary line on standard error and the failed record in --errors, on a table
// written by Perl XBase (record 2 deleted: the run never visits it).
TEST_F(ColumnCli, PrintsItsSummaryAndListsTheRecordItStoppedAt)
{
    QUILLORA_REQUIRE_XBASE();
    const QString xb = dir.path() + "/resumo.dbf";
    const QString errors = dir.path() + "/erros.csv";
    ASSERT_TRUE(makeDbfWithXBase(xb, "NOME:C:6,QTD:N:3:0", {"a|1", "B|2", "c|3", "D|4"}, {2}));
    const auto summaryOf = [](const QString& err) {
        const QStringList lines = err.split('\n', Qt::SkipEmptyParts).filter(QStringLiteral("Resumo:"));
        EXPECT_EQ(lines.size(), 1) << err.toStdString();
        static const QRegularExpression time(QStringLiteral("; tempo \\d+,\\d\\d s$"));
        const QString line = lines.value(0);
        EXPECT_TRUE(time.match(line).hasMatch()) << line.toStdString();
        return QString(line).remove(time);
    };

    CliResult r = column({xb, "--column", "NOME", "--operation", "case", "--upper", "--errors", errors});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(summaryOf(r.err), QStringLiteral("Resumo: lidos 3; incluídos 0; alterados 2; inalterados 1; "
                                               "sem correspondência 0; com erro 0"));
    EXPECT_EQ(readFile(errors), "registro,chave,erro\r\n");
    EXPECT_EQ(xbaseDump(xb), QStringList({"ok|A|1", "DEL|B|2", "ok|C|3", "ok|D|4"}));

    r = column({xb, "--column", "QTD", "--operation", "fill", "--value", "12a", "--from", "3", "--errors", errors});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(summaryOf(r.err), QStringLiteral("Resumo: lidos 1; incluídos 0; alterados 0; inalterados 0; "
                                               "sem correspondência 0; com erro 1"));
    // The error as the command reports it, after the summary, is the one listed.
    const QString error = r.err.split('\n', Qt::SkipEmptyParts).last();
    EXPECT_TRUE(error.contains("'12a'")) << r.err.toStdString();
    EXPECT_EQ(readFile(errors), "registro,chave,erro\r\n3,3," + error.toUtf8() + "\r\n");
    EXPECT_EQ(xbaseDump(xb), QStringList({"ok|A|1", "DEL|B|2", "ok|C|3", "ok|D|4"}));
}

// For Paradox --from stays the position in the current order (a keyed table's key order).
TEST_F(ColumnCli, FromIsTheParadoxPositionInTheCurrentOrder)
{
    const QString db = dir.path() + "/t.db";
    createParadoxTable(db, {FieldDef{"COD", ftString, 4}, FieldDef{"NOME", ftString, 6}}, ParadoxCreateOptions(7, 1));
    {
        Table t(QStringLiteral("Fixture"));
        t.Bind(db);
        t.Open();
        for (const char* cod : {"c", "a", "b"}) {
            t.Append();
            t.FieldByName("COD")->SetValue(txt(cod));
            t.Post();
        }
        t.Close();
    }
    CliResult r = column({db, "--column", "NOME", "--operation", "fill", "--value", "z", "--from", "2"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(columnOf(db, "COD"), QStringList({"a", "b", "c"}));
    EXPECT_EQ(columnOf(db, "NOME"), QStringList({"", "z", "z"}));
    r = column({db, "--column", "NOME", "--operation", "fill", "--value", "z", "--from", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, QStringLiteral("Registro 4 não existe: a tabela tem 3 registros\n"));
}

}  // namespace
