// "Atualizar" end to end on dBase tables through a scripted host; inputs written by shapelib
// where it matters, results read back by dbfread.
#include "reconcile/Atualizar.h"
#include "tables/Table.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ScriptedHost.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

class Atualizar : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        makeDbf(dst, {textField("CODIGO", 6), textField("NOME_CLI", 12), FieldDef{"SALDO", ftFloat, 10, 2}},
                {{txt("123"), txt("cento"), Value::floating(1)},
                 {txt("ABC"), txt("letras"), Value::floating(2)},
                 {txt("12"), txt("doze"), Value::floating(3)},
                 {txt("999"), txt("sozinho"), Value::floating(4)}});
    }
    void makeSource(const QList<QList<Value>>& records)
    {
        makeDbf(src, {textField("COD", 6), textField("NOME", 12), FieldDef{"VALOR", ftFloat, 10, 2}}, records);
    }
    RecordRunResult run(const QString& list, const QString& sourceKey = QStringLiteral("COD"),
                        const QString& destKey = QStringLiteral("CODIGO"))
    {
        return atualizar(t1, t2, host, src, dst, list, sourceKey, destKey);
    }

    QTemporaryDir dir;
    QString src, dst;
    Table t1{QStringLiteral("Table1")};
    Table t2{QStringLiteral("Table2")};
    ScriptedHost host;
};

}  // namespace

TEST_F(Atualizar, MatchesTheWholeKeyIgnoringCaseAndTheLastSourceRecordWins)
{
    makeSource({{txt("12"), txt("primeiro"), Value::floating(10)},
                {txt("abc"), txt("minúsculo"), Value::floating(20)},
                {txt("77"), txt("sem par"), Value::floating(30)},
                {txt("12"), txt("segundo"), Value::floating(40)}});
    const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\nSALDO=VALOR\n"));

    // "12" never touches "123"; "abc" finds "ABC"; "77" passes silently; the later "12" wins.
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({{"123", "cento", "1"},
                                               {"ABC", "minúsculo", "20"},
                                               {"12", "segundo", "40"},
                                               {"999", "sozinho", "4"}}));
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(host.questions.isEmpty());
    EXPECT_EQ(host.positionAtHide, 4);
    EXPECT_FALSE(t1.Active() || t2.Active());
}

TEST_F(Atualizar, AnErrorInTheLastLineLeavesTheMatchedRecordUnchanged)
{
    makeSource({{txt("ABC"), txt("novo"), Value::floating(5)}, {txt("999"), txt("outro"), Value::floating(6)}});
    const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\nSALDO=NAO_HA\n"));
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"cento", "letras", "doze", "sozinho"}));
    EXPECT_EQ(r.failed, 2);
    EXPECT_EQ(host.questions.value(0),
              QStringLiteral("Erro processando, Table1: Campo NAO_HA não encontrado, cancelar o processo ?"));
}

TEST_F(Atualizar, KeyChoicesThatCannotWorkAskForEveryRecord)
{
    makeSource({{txt("ABC"), txt("novo"), Value::floating(5)}, {txt("12"), txt("outro"), Value::floating(6)}});
    struct Case {
        const char* sourceKey;
        const char* destKey;
        const char* error;
    };
    for (const Case& c : {Case{"", "CODIGO", "Table1: Campo  não encontrado"},
                          Case{"COD", "", "Nenhum campo chave do destino foi escolhido (Chave Filho)"},
                          Case{"COD", "NAO_HA", "Table2: Campo NAO_HA não encontrado"}}) {
        host = ScriptedHost();
        const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\n"), QString::fromUtf8(c.sourceKey),
                                      QString::fromUtf8(c.destKey));
        EXPECT_EQ(r.failed, 2) << c.destKey;
        EXPECT_EQ(host.questions.value(1), RecordRun::errorQuestion(QString::fromUtf8(c.error))) << c.destKey;
    }
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"cento", "letras", "doze", "sozinho"}));
}

TEST_F(Atualizar, YesToTheErrorQuestionStopsAndKeepsWhatWasStored)
{
    // The second record's text cannot go into a number field.
    makeDbf(src, {textField("COD", 6), textField("NOME", 12), textField("VALOR", 6)},
            {{txt("123"), txt("guardado"), txt("5")},
             {txt("ABC"), txt("falha"), txt("x")},
             {txt("999"), txt("nunca"), txt("7")}});
    host.answer = [](int, const QString&) { return true; };
    const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\nSALDO=VALOR\n"));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(host.positionAtHide, 2);
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"guardado", "letras", "doze", "sozinho"}));
}

// A source written by shapelib, the result read back by dbfread.
TEST_F(Atualizar, TablesOfOtherProgramsReadBackByDbfread)
{
    if (!haveProgram(QStringLiteral("dbfcreate")))
        GTEST_SKIP() << "shapelib's dbfcreate is not installed";
    ASSERT_EQ(runProgram(QStringLiteral("dbfcreate"), {src, "-s", "COD", "6", "-s", "NOME", "12", "-n", "VALOR", "10", "2"}), 0);
    for (const QStringList& rec : {QStringList{"abc", "Shapelib", "12.5"}, QStringList{"12", "Doze", "-1"}})
        ASSERT_EQ(runProgram(QStringLiteral("dbfadd"), QStringList{src} + rec), 0);
    run(QStringLiteral("NOME_CLI=NOME\nSALDO=VALOR\n"));

    QString out;
    const QString script = QStringLiteral(
        "import sys\nfrom dbfread import DBF\n"
        "for r in DBF(sys.argv[1], encoding='latin-1'): print('%s|%s|%s' % (r['CODIGO'], r['NOME_CLI'], r['SALDO']))\n");
    ASSERT_EQ(runProgram(QStringLiteral("/usr/bin/python3"), {"-c", script, dst}, &out), 0);
    EXPECT_EQ(out, QStringLiteral("123|cento|1.0\nABC|Shapelib|12.5\n12|Doze|-1.0\n999|sozinho|4.0\n"));
}

// Paradox Alpha keys keep their trailing blanks ("12 "), dBase fields give text back without
// them: the search ignores them on both sides, as it ignores letter case.
TEST_F(Atualizar, ParadoxKeysEndingInBlanksFindTheirDbaseRecords)
{
    QUILLORA_REQUIRE_PXLIB_WRITER();
    src = dir.path() + QStringLiteral("/fonte.db");
    ASSERT_TRUE(makeDbWithPxlib(src, QStringLiteral("COD:A:6,NOME:A:12,VALOR:N"),
                                {"12 |novo|5", "abc  |minusc|6", "1 |sem par|7"}));
    const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\nSALDO=VALOR\n"));
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({{"123", "cento", "1"},
                                               {"ABC", "minusc", "6"},
                                               {"12", "novo", "5"},
                                               {"999", "sozinho", "4"}}));
    EXPECT_TRUE(host.warnings.isEmpty());
}

// A source key wider than the destination's key field is searched as the field would keep it,
// and the run says so once.
TEST_F(Atualizar, KeysWiderThanTheDestinationFieldAreCutForTheSearchWithOneWarning)
{
    dst = dir.path() + QStringLiteral("/estreito.dbf");
    makeDbf(src, {textField("COD", 10), textField("NOME", 12), FieldDef{"VALOR", ftFloat, 10, 2}},
            {{txt("999999"), txt("seis"), Value::floating(1)},
             {txt("9999990"), txt("sete"), Value::floating(2)},
             {txt("abcxyz"), txt("nada"), Value::floating(3)}});
    makeDbf(dst, {textField("CODIGO", 6), textField("NOME_CLI", 12), FieldDef{"SALDO", ftFloat, 10, 2}},
            {{txt("999999"), txt("antes"), Value::floating(0)}});
    const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\n"));
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"sete"}));
    EXPECT_EQ(host.warnings,
              QStringList({"Aviso: chaves maiores que o campo CODIGO do destino foram cortadas para 6 caracteres"}));
}
