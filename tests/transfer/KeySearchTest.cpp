// The key searches of "Processar" ("Adicionar/Atualizar", "Copiar") on tables written by other
// programs: a key is found again whatever trailing blanks either format keeps and however the
// destination's field cuts it, so a second run of the same upsert changes nothing. Also the
// numbers inside record errors, under the regional settings.
#include "tables/Table.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ScriptedHost.h"
#include "transfer/Transfer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

class KeySearching : public ::testing::Test {
protected:
    // A dBase destination written by shapelib: CODIGO C(width), NOME_CLI C12.
    void shapelibDestination(const QString& path, int width, const QList<QStringList>& records = {})
    {
        if (!haveProgram(QStringLiteral("dbfcreate")))
            GTEST_SKIP() << "shapelib's dbfcreate is not installed";
        ASSERT_EQ(runProgram(QStringLiteral("dbfcreate"),
                             {path, "-s", "CODIGO", QString::number(width), "-s", "NOME_CLI", "12"}),
                  0);
        for (const QStringList& r : records)
            ASSERT_EQ(runProgram(QStringLiteral("dbfadd"), QStringList{path} + r), 0);
    }
    RecordRunResult run(const QString& source, const QString& destination, const QString& list, Operacao op)
    {
        return processar(t1, t2, host, source, destination, list, op);
    }

    QTemporaryDir dir;
    Table t1{QStringLiteral("Table1")};
    Table t2{QStringLiteral("Table2")};
    ScriptedHost host;
};

}  // namespace

// dBase to dBase: keys wider than the destination's field are searched as the field keeps
// them, so the second run finds every record the first one wrote; the warning comes once a run.
TEST_F(KeySearching, SecondUpsertChangesNothingDbaseToDbaseWithKeysCut)
{
    QUILLORA_REQUIRE_XBASE();
    const QString src = dir.path() + QStringLiteral("/fonte.dbf");
    const QString dst = dir.path() + QStringLiteral("/destino.dbf");
    ASSERT_TRUE(makeDbfWithXBase(src, QStringLiteral("COD:C:15,NOME:C:12"),
                                 {"12|doze", "abc|letras", "ABCDEFGHIJ-1|um", "ABCDEFGHIJ-2|dois"}));
    shapelibDestination(dst, 10, {{"ABC", "velho"}});
    if (HasFatalFailure() || IsSkipped())
        return;
    const QString list = QStringLiteral("CODIGO=COD\nNOME_CLI=NOME\n");
    const QList<QStringList> expected = {{"abc", "letras"}, {"12", "doze"}, {"ABCDEFGHIJ", "dois"}};

    RecordRunResult r = run(src, dst, list, Operacao::AdicionarAtualizar);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(rowsOf(dst), expected);
    const QString warning =
        QStringLiteral("Aviso: chaves maiores que o campo CODIGO do destino foram cortadas para 10 caracteres");
    EXPECT_EQ(host.warnings, QStringList{warning});
    EXPECT_TRUE(host.questions.isEmpty());

    r = run(src, dst, list, Operacao::AdicionarAtualizar);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(rowsOf(dst), expected);
    EXPECT_EQ(host.warnings, QStringList({warning, warning}));  // once in each run
    // Perl XBase reads what we wrote: no record added, none deleted.
    EXPECT_EQ(xbaseDump(dst), QStringList({"ok|abc|letras", "ok|12|doze", "ok|ABCDEFGHIJ|dois"}));
}

// Paradox to dBase: Alpha keys ending in blanks ("12 ") go into C fields that give them back
// without the blanks; the second run finds them, and "Copiar" finds them too.
TEST_F(KeySearching, SecondUpsertChangesNothingParadoxToDbase)
{
    QUILLORA_REQUIRE_PXLIB_WRITER();
    const QString src = dir.path() + QStringLiteral("/fonte.db");
    const QString dst = dir.path() + QStringLiteral("/destino.dbf");
    ASSERT_TRUE(makeDbWithPxlib(src, QStringLiteral("COD:A:6,NOME:A:12"), {"12 |doze", "7  |sete", "Xy|xis"}));
    shapelibDestination(dst, 6, {{"xY", "antigo"}});
    if (HasFatalFailure() || IsSkipped())
        return;
    const QString list = QStringLiteral("CODIGO=COD\nNOME_CLI=NOME\n");
    const QList<QStringList> expected = {{"Xy", "xis"}, {"12", "doze"}, {"7", "sete"}};

    for (int pass = 0; pass < 2; ++pass) {
        const RecordRunResult r = run(src, dst, list, Operacao::AdicionarAtualizar);
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(rowsOf(dst), expected) << "run " << pass + 1;
    }
    EXPECT_TRUE(host.warnings.isEmpty());
    EXPECT_TRUE(host.questions.isEmpty());
}

TEST_F(KeySearching, CopiarFindsDbaseKeysFromParadoxKeysEndingInBlanks)
{
    QUILLORA_REQUIRE_PXLIB_WRITER();
    const QString src = dir.path() + QStringLiteral("/fonte.db");
    const QString dst = dir.path() + QStringLiteral("/destino.dbf");
    ASSERT_TRUE(makeDbWithPxlib(src, QStringLiteral("COD:A:6,NOME:A:12"), {"12 |novo", "  |branco", "99 |sem par"}));
    shapelibDestination(dst, 6, {{"12", "velho"}, {"", "vazio"}, {"123", "outro"}});
    if (HasFatalFailure() || IsSkipped())
        return;
    const RecordRunResult r = run(src, dst, QStringLiteral("CODIGO=COD\nNOME_CLI=NOME\n"), Operacao::Copiar);
    EXPECT_EQ(r.failed, 0);
    // A key of blanks only is a blank key: it finds the record whose key is empty.
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({{"12", "novo"}, {"", "branco"}, {"123", "outro"}}));
}

// dBase to Paradox: a dBase key ("12", read without padding) finds the Paradox Alpha key
// "12 " that Paradox kept with its blank, instead of adding a second "12".
TEST_F(KeySearching, SecondUpsertChangesNothingDbaseToParadox)
{
    QUILLORA_REQUIRE_XBASE();
    QUILLORA_REQUIRE_PXLIB_WRITER();
    const QString src = dir.path() + QStringLiteral("/fonte.dbf");
    const QString dst = dir.path() + QStringLiteral("/destino.db");
    ASSERT_TRUE(makeDbfWithXBase(src, QStringLiteral("COD:C:8,NOME:C:12"), {"12|novo", "abcdefg|longo", "9|nove"}));
    ASSERT_TRUE(makeDbWithPxlib(dst, QStringLiteral("COD:A:5,NOME:A:12"), {"12 |velho", "ABCDE|cortado"}));
    const QString list = QStringLiteral("COD=COD\nNOME=NOME\n");
    const QList<QStringList> expected = {{"12", "novo"}, {"abcde", "longo"}, {"9", "nove"}};

    for (int pass = 0; pass < 2; ++pass) {
        const RecordRunResult r = run(src, dst, list, Operacao::AdicionarAtualizar);
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(rowsOf(dst), expected) << "run " << pass + 1;
    }
    EXPECT_EQ(host.warnings.size(), 2);
    EXPECT_EQ(host.warnings.value(0),
              QStringLiteral("Aviso: chaves maiores que o campo COD do destino foram cortadas para 5 caracteres"));
}

// The numbers inside record errors follow the regional settings (Brazilian Portuguese here):
// a comma, never a point, before the decimals.
TEST_F(KeySearching, NumbersInErrorTextsFollowTheRegionalSettings)
{
    QUILLORA_REQUIRE_XBASE();
    const QString src = dir.path() + QStringLiteral("/fonte.dbf");
    ASSERT_TRUE(makeDbfWithXBase(src, QStringLiteral("COD:C:4,V:N:10:2"), {"1|99999.99", "2|123.5"}));

    const QString dbf = dir.path() + QStringLiteral("/destino.dbf");
    makeDbf(dbf, {textField("COD", 4), FieldDef{"SALDO", ftFloat, 7, 2}});
    RecordRunResult r = run(src, dbf, QStringLiteral("COD=COD\nSALDO=V\n"), Operacao::Adicionar);
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(host.questions.value(0),
              RecordRun::errorQuestion(
                  QStringLiteral("O valor 99999,99 não cabe no campo SALDO (N 7,2): são 8 caracteres para 7")));

    host = ScriptedHost();
    const QString db = dir.path() + QStringLiteral("/destino.db");
    createParadoxTable(db, {textField("COD", 4), FieldDef{"V", ftBCD, 0, 30}});
    r = run(src, db, QStringLiteral("COD=COD\nV=V\n"), Operacao::Adicionar);
    EXPECT_EQ(r.failed, 2);
    EXPECT_EQ(host.questions.value(1),
              RecordRun::errorQuestion(QStringLiteral("O valor 123,5 não cabe no campo 'V' (30 decimais)")));
}
