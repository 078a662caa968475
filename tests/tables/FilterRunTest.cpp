// The source filter in record runs and in quillora-cli: what a run walks and counts, and how a
// faulty condition ends a command.
#include "tables/Table.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ScriptedHost.h"
#include "transfer/Transfer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

class FilteredSource : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        makeDbf(src, {textField("NOME", 10), textField("CIDADE", 10)},
                {{txt("Ana"), txt("Recife")}, {txt("Bia"), txt("Natal")}, {txt("Caio"), txt("Recife")},
                 {txt("Duda"), txt("Olinda")}});
        makeDbf(dst, {textField("NOME", 10), textField("CIDADE", 10)});
    }
    int cli(const QStringList& args, QString* out, QString* err)
    {
        return runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"), args, out, err);
    }

    QTemporaryDir dir;
    QString src, dst;
};

}  // namespace

TEST_F(FilteredSource, ProcessarWalksAndCountsOnlyTheMatchingRecords)
{
    Table t1(QStringLiteral("Table1")), t2(QStringLiteral("Table2"));
    t1.SetFilter(QStringLiteral("CIDADE <> 'Recife'"));
    t1.SetFiltered(true);
    ScriptedHost host;
    const RecordRunResult r =
        processar(t1, t2, host, src, dst, QStringLiteral("NOME=NOME\nCIDADE=CIDADE"), Operacao::Adicionar);
    EXPECT_EQ(host.maximum, 2);  // the progress maximum: matching records, not the file's four
    EXPECT_EQ(r.walked, 2);
    EXPECT_EQ(rowsOf(dst), (QList<QStringList>{{QStringLiteral("Bia"), QStringLiteral("Natal")},
                                                {QStringLiteral("Duda"), QStringLiteral("Olinda")}}));
    EXPECT_TRUE(t1.Filtered());  // the condition stays on the table for later runs
    EXPECT_FALSE(t2.Filtered());

    // The destination is never filtered: a run that copies into it sees all its records.
    t1.SetFiltered(false);
    processar(t1, t2, host, src, dst, QStringLiteral("NOME=NOME"), Operacao::Adicionar);
    EXPECT_EQ(host.maximum, 4);
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME")).size(), 6);
}

TEST_F(FilteredSource, CliAppliesTheConditionAndAFaultyOneEndsWithStatusOne)
{
    QString out, err;
    EXPECT_EQ(cli({"dump", "--locale", "pt_BR", "--filter", "CIDADE = 'Recife' AND NOME <> 'C*'", src}, &out, &err), 0);
    EXPECT_EQ(out.trimmed().split(QLatin1Char('\n')).size(), 2) << out.toStdString();  // header and Ana
    EXPECT_TRUE(out.contains(QStringLiteral("Ana,Recife")));

    const struct {
        const char* condition;
        const char* message;
    } faulty[] = {
        {"ESTADO = 'PE'", "Table1: Campo ESTADO não encontrado"},
        {"NOME = 'Ana", "Constante de string não terminada"},
        {"NOME = \"Ana\"", "Caractere inválido na expressão de filtro: '\"'"},
    };
    for (const auto& f : faulty) {
        SCOPED_TRACE(f.condition);
        EXPECT_EQ(cli({"dump", "--filter", QString::fromUtf8(f.condition), src}, &out, &err), 1);
        EXPECT_TRUE(err.contains(QString::fromUtf8(f.message))) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }

    const QString map = dir.path() + QStringLiteral("/campos.txt");
    writeFile(map, "NOME=NOME\n");
    EXPECT_EQ(cli({"process", "--source", src, "--dest", dst, "--map", map, "--operation", "Adicionar", "--filter",
                   "CIDADE = 'Recife'"}, &out,
                  &err),
              0)
        << err.toStdString();
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME")), (QStringList{QStringLiteral("Ana"), QStringLiteral("Caio")}));
    EXPECT_EQ(cli({"process", "--source", src, "--dest", dst, "--map", map, "--operation", "Adicionar", "--filter",
                   "CIDADE = "},
                  &out, &err),
              1);
    EXPECT_TRUE(err.contains(QStringLiteral("Expressão esperada mas Absolutamente encontrada"))) << err.toStdString();
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME")).size(), 2);  // nothing written
}
