// "Processar" end to end on dBase tables written by our own writer, through a scripted host.
#include "tables/Error.h"
#include "tables/Table.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ScriptedHost.h"
#include "transfer/Transfer.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

class Processar : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/clientes.dbf");
        dst = dir.path() + QStringLiteral("/cadastro.dbf");
        makeDbf(src,
                {textField("COD", 6), textField("NOME", 20), FieldDef{"VALOR", ftFloat, 10, 2},
                 FieldDef{"NASC", ftDate, 0}},
                {{txt("0042"), txt("João"), Value::floating(10.5), Value::date(QDate(1980, 2, 29))},
                 {txt("0007"), txt("Ana Lúcia"), Value(), Value::date(QDate(2001, 12, 31))},
                 {txt("abc"), txt("Zé"), Value::floating(-3), Value()}});
    }
    void makeDestination(const QList<QList<Value>>& records = {})
    {
        makeDbf(dst,
                {textField("CODIGO", 6), textField("NOME_CLI", 20), FieldDef{"SALDO", ftFloat, 10, 2},
                 textField("OBS", 10)},
                records);
    }
    RecordRunResult run(const QString& list, Operacao op)
    {
        return processar(t1, t2, host, src, dst, list, op);
    }

    QTemporaryDir dir;
    QString src, dst;
    Table t1{QStringLiteral("Table1")};
    Table t2{QStringLiteral("Table2")};
    ScriptedHost host;
};

QStringList row(std::initializer_list<const char*> values)
{
    QStringList out;
    for (const char* v : values)
        out << QString::fromUtf8(v);
    return out;
}

}  // namespace

TEST_F(Processar, AdicionarAppendsOneNumberedRecordPerSourceRecord)
{
    makeDestination({{txt("X"), txt("já estava"), Value(), Value()}});
    const RecordRunResult r =
        run(QStringLiteral("CODIGO=@1\nNOME_CLI=NOME\nSALDO=VALOR\nOBS=#fixo\n"), Operacao::Adicionar);
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({row({"X", "já estava", "", ""}), row({"1", "João", "10,5", "fixo"}),
                                               row({"2", "Ana Lúcia", "", "fixo"}), row({"3", "Zé", "-3", "fixo"})}));
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(host.maximum, 3);
    EXPECT_EQ(host.positionAtHide, 3);
    EXPECT_FALSE(t1.Active() || t2.Active());
}

TEST_F(Processar, SequenceIsSharedByLinesAndRecordsAndEmptyLinesAreSkipped)
{
    makeDestination();
    // The empty line in the middle is not a second application of "OBS=@5".
    run(QStringLiteral("CODIGO=@1\n\nOBS=@5\n\n"), Operacao::Adicionar);
    EXPECT_EQ(columnOf(dst, "CODIGO"), QStringList({"1", "3", "5"}));
    EXPECT_EQ(columnOf(dst, "OBS"), QStringList({"2", "4", "6"}));
    // A new run starts the numbers again.
    run(QStringLiteral("CODIGO=@001"), Operacao::Adicionar);
    EXPECT_EQ(columnOf(dst, "CODIGO").mid(3), QStringList({"001", "002", "003"}));
}

TEST_F(Processar, AdicionarWithAnEmptyListAddsEmptyRecords)
{
    makeDestination();
    run(QString(), Operacao::Adicionar);
    EXPECT_EQ(rowsOf(dst), QList<QStringList>(3, row({"", "", "", ""})));
}

TEST_F(Processar, FailingRecordLeavesNothingHalfFilledAndKeepsItsSequenceNumber)
{
    makeDestination();
    // "abc" cannot go into the numeric SALDO: the third record fails after CODIGO was set.
    for (bool yes : {false, true}) {
        QFile::remove(dst);
        makeDestination();
        host = ScriptedHost();
        host.answer = [&](int, const QString&) { return yes; };
        src = dir.path() + QStringLiteral("/numeros.dbf");
        QFile::remove(src);
        makeDbf(src, {textField("COD", 6)}, {{txt("1")}, {txt("abc")}, {txt("3")}});
        const RecordRunResult r = run(QStringLiteral("CODIGO=@1\nSALDO=COD"), Operacao::Adicionar);
        EXPECT_EQ(host.questions,
                  QStringList({"Erro processando, Valor inválido para o campo 'SALDO', cancelar o processo ?"}));
        EXPECT_EQ(r.failed, 1);
        if (yes) {
            EXPECT_EQ(rowsOf(dst), QList<QStringList>({row({"1", "", "1", ""})}));
            EXPECT_EQ(host.positionAtHide, 2);
        } else {
            // The failed record consumed number 2: the next one carries on after it.
            EXPECT_EQ(rowsOf(dst), QList<QStringList>({row({"1", "", "1", ""}), row({"3", "", "3", ""})}));
            EXPECT_EQ(host.positionAtHide, 3);
        }
    }
}

TEST_F(Processar, BlanksAroundTheEqualsSignFailEveryRecordWithTheFieldName)
{
    makeDestination();
    const RecordRunResult r = run(QStringLiteral("NOME_CLI = NOME"), Operacao::Adicionar);
    EXPECT_EQ(host.questions,
              QStringList(3, "Erro processando, Table1: Campo  NOME não encontrado, cancelar o processo ?"));
    EXPECT_EQ(r.failed, 3);
    EXPECT_TRUE(rowsOf(dst).isEmpty());
}

TEST_F(Processar, CopiarFillsTheRecordMatchingTheWholeKeyIgnoringCase)
{
    makeDestination({{txt("00421"), txt("prefixo"), Value(), Value()},
                     {txt("0042"), txt("antigo"), Value::floating(1), txt("manter")},
                     {txt("ABC"), txt("maiúsculas"), Value(), Value()},
                     {txt("9999"), txt("sem par"), Value(), Value()}});
    const RecordRunResult r = run(QStringLiteral("CODIGO=COD\nNOME_CLI=NOME\nSALDO=VALOR"), Operacao::Copiar);
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(host.questions.isEmpty());
    // "0007" has no match: nothing written for it. "abc" matches "ABC" and writes its own case.
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({row({"00421", "prefixo", "", ""}), row({"0042", "João", "10,5", "manter"}),
                                               row({"abc", "Zé", "-3", ""}), row({"9999", "sem par", "", ""})}));
}

TEST_F(Processar, CopiarWithASequenceOrFixedTextFirstLineWritesNothing)
{
    makeDestination({{txt("0042"), txt("antigo"), Value(), Value()}});
    const QByteArray before = readFile(dst);
    for (const char* list : {"CODIGO=@1\nNOME_CLI=NOME", "CODIGO=#0042\nNOME_CLI=NOME"}) {
        run(QString::fromUtf8(list), Operacao::Copiar);
        EXPECT_EQ(readFile(dst), before) << list;
    }
}

TEST_F(Processar, AdicionarAtualizarUpdatesTheMatchAndAddsTheRest)
{
    makeDestination({{txt("0001"), txt("um"), Value(), Value()},
                     {txt("0042"), txt("antigo"), Value::floating(1), txt("manter")},
                     {txt("0003"), txt("três"), Value(), Value()},
                     {txt("0004"), txt("quatro"), Value(), Value()},
                     {txt("0005"), txt("cinco"), Value(), Value()}});
    run(QStringLiteral("CODIGO=COD\nNOME_CLI=NOME"), Operacao::AdicionarAtualizar);
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({row({"0001", "um", "", ""}), row({"0042", "João", "1", "manter"}),
                                               row({"0003", "três", "", ""}), row({"0004", "quatro", "", ""}),
                                               row({"0005", "cinco", "", ""}), row({"0007", "Ana Lúcia", "", ""}),
                                               row({"abc", "Zé", "", ""})}));
    // Run again: everything matches now, nothing is added and nothing is lost.
    run(QStringLiteral("CODIGO=COD\nNOME_CLI=NOME"), Operacao::AdicionarAtualizar);
    EXPECT_EQ(rowsOf(dst).size(), 7);
}

TEST_F(Processar, AdicionarAtualizarOnAnEmptyDestinationAddsEverySourceRecord)
{
    makeDestination();
    run(QStringLiteral("CODIGO=COD\nNOME_CLI=NOME"), Operacao::AdicionarAtualizar);
    EXPECT_EQ(columnOf(dst, "CODIGO"), QStringList({"0042", "0007", "abc"}));
}

TEST_F(Processar, AdicionarAtualizarWithASequenceFirstLineAppends)
{
    makeDestination({{txt("1"), txt("antigo"), Value(), Value()}});
    run(QStringLiteral("CODIGO=@1\nNOME_CLI=NOME"), Operacao::AdicionarAtualizar);
    EXPECT_EQ(columnOf(dst, "CODIGO"), QStringList({"1", "1", "2", "3"}));
    EXPECT_EQ(columnOf(dst, "NOME_CLI"), QStringList({"antigo", "João", "Ana Lúcia", "Zé"}));
}

TEST_F(Processar, NoSelectionApagarAndAtualizarWalkTheSourceAndWriteNothing)
{
    makeDestination({{txt("0042"), txt("antigo"), Value(), Value()}});
    const QByteArray before = readFile(dst);
    for (Operacao op : {Operacao::Nenhuma, Operacao::Apagar, Operacao::Atualizar}) {
        host = ScriptedHost();
        run(QStringLiteral("CODIGO=COD\nNOME_CLI=NOME"), op);
        EXPECT_EQ(host.shows, 1);
        EXPECT_EQ(host.steps, 3);
        EXPECT_EQ(host.positionAtHide, 3);
        EXPECT_EQ(readFile(dst), before) << int(op);
    }
}

TEST_F(Processar, OperationNamesAndIndexes)
{
    EXPECT_EQ(operationNames(),
              QStringList({"Adicionar", "Adicionar/Atualizar", "Copiar", "Apagar", "Atualizar"}));
    EXPECT_EQ(operationFromText("adicionar/atualizar"), 1);
    EXPECT_EQ(operationFromText("4"), 4);
    EXPECT_EQ(operationFromText("-1"), -1);
    EXPECT_EQ(operationFromText("5"), -2);
    EXPECT_EQ(operationFromText("Somar"), -2);
}
