// "Comparar" end to end on dBase and Paradox tables through a scripted host: the divergence
// list byte for byte, the comparison rule, the verification question and the record options.
#include "reconcile/Comparar.h"
#include "reconcile/CompareValues.h"
#include "reconcile/DivergenceList.h"
#include "tables/Table.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tests/run/DbfFixture.h"
#include "tests/run/ScriptedHost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

const QByteArray rule = QByteArray(94, '-');

class Comparar : public ::testing::Test {
protected:
    void SetUp() override
    {
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        list = dir.path() + QStringLiteral("/lista.txt");
        makeDbf(src, {textField("COD", 6), textField("NOME", 12), FieldDef{"VALOR", ftFloat, 10, 2}},
                {{txt("1"), txt("João"), Value::floating(10)},
                 {txt("2"), txt("igual"), Value::floating(20)},
                 {txt("3"), txt("sem par"), Value::floating(30)},
                 {txt("4"), txt("Quatro"), Value()}});
        makeDbf(dst, {textField("CODIGO", 6), textField("NOME_CLI", 12), FieldDef{"SALDO", ftFloat, 10, 2}},
                {{txt("4"), txt("quatro"), Value::floating(0)},
                 {txt("1"), txt("Joao"), Value::floating(10)},
                 {txt("2"), txt("igual"), Value::floating(20)},
                 {txt("9"), txt("só destino"), Value::floating(1)}});
    }
    RecordRunResult run(const QString& mapping = QStringLiteral("NOME_CLI=NOME\nSALDO=VALOR\n"))
    {
        return comparar(t1, t2, host, src, dst, mapping, QStringLiteral("COD"), QStringLiteral("CODIGO"), list);
    }
    QByteArray header() const
    {
        return "Destino: " + (dir.path() + QStringLiteral("/destino.dbf")).toUtf8() + "\r\nFonte..: " +
               (dir.path() + QStringLiteral("/fonte.dbf")).toUtf8() + "\r\n" + rule + "\r\n";
    }

    QTemporaryDir dir;
    QString src, dst, list;
    Table t1{QStringLiteral("Table1")};
    Table t2{QStringLiteral("Table2")};
    ScriptedHost host;
};

}  // namespace

TEST_F(Comparar, WritesTheListByteForByte)
{
    const RecordRunResult r = run();
    EXPECT_EQ(readFile(list), header() +
                                  "Chave: 1 >>> Destino: NOME_CLI=Joao  <>   Fonte: NOME=Jo\xc3\xa3o\r\n"
                                  "Chave: 4 >>> Destino: NOME_CLI=quatro  <>   Fonte: NOME=Quatro\r\n"
                                  "Chave: 4 >>> Destino: SALDO=0  <>   Fonte: VALOR=\r\n");
    EXPECT_EQ(host.verificationQuestions,
              QStringList({QStringLiteral("Processar as atualizações junto com a verificação ?")}));
    EXPECT_TRUE(host.recordOptionTexts.isEmpty());  // compare only: no dialog, nothing changed
    EXPECT_EQ(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"quatro", "Joao", "igual", "só destino"}));
    EXPECT_EQ(r.failed, 0);
    EXPECT_FALSE(t1.Active() || t2.Active());
}

TEST_F(Comparar, CancelAtTheQuestionWritesTheHeaderOnlyAndReplacesAnOldList)
{
    writeFile(list, QByteArray(5000, 'x'));
    host.verification = RecordRunHost::Answer::Cancel;
    const RecordRunResult r = run();
    EXPECT_EQ(readFile(list), header());
    EXPECT_EQ(r.walked, 0);
    EXPECT_EQ(host.positionAtHide, 0);
}

TEST_F(Comparar, ReconcileChoicesAndCancel)
{
    // Differences in walk order: key 1 NOME, key 4 NOME, key 4 SALDO, key 1 again (below).
    QFile::remove(src);
    makeDbf(src, {textField("COD", 6), textField("NOME", 12), FieldDef{"VALOR", ftFloat, 10, 2}},
            {{txt("1"), txt("João"), Value::floating(11)},
             {txt("4"), txt("Quatro"), Value::floating(44)},
             {txt("2"), txt("IGUAL"), Value::floating(20)}});
    host.verification = RecordRunHost::Answer::Yes;
    // 0: source to destination, 1: destination to source, 2: leave, -1: Cancel.
    const QList<int> choices = {0, 1, 2, -1, 0};
    host.recordOption = [&](int n, const QString&) { return choices.value(n, -1); };
    run();

    EXPECT_EQ(rowsOf(dst), QList<QStringList>({{"4", "quatro", "0"},
                                               {"1", "João", "10"},
                                               {"2", "IGUAL", "20"},
                                               {"9", "só destino", "1"}}));
    // Key 1's SALDO: choice 1 copied the destination's 10 into the source.
    EXPECT_EQ(rowsOf(src), QList<QStringList>({{"1", "João", "10"}, {"4", "Quatro", "44"}, {"2", "IGUAL", "20"}}));
    EXPECT_EQ(host.recordOptionTexts.value(0),
              QStringLiteral("Chave: 1\r>>> Destino: NOME_CLI= Joao <>  Fonte: NOME= João"));
    EXPECT_EQ(host.recordOptionTexts.size(), 5);
    // Every difference is in the list, whatever was chosen for it.
    EXPECT_EQ(readFile(list), header() +
                                  "Chave: 1 >>> Destino: NOME_CLI=Joao  <>   Fonte: NOME=Jo\xc3\xa3o\r\n"
                                  "Chave: 1 >>> Destino: SALDO=10  <>   Fonte: VALOR=11\r\n"
                                  "Chave: 4 >>> Destino: NOME_CLI=quatro  <>   Fonte: NOME=Quatro\r\n"
                                  "Chave: 4 >>> Destino: SALDO=0  <>   Fonte: VALOR=44\r\n"
                                  "Chave: 2 >>> Destino: NOME_CLI=igual  <>   Fonte: NOME=IGUAL\r\n");
}

TEST_F(Comparar, AFailedSourcePostEndsOnlyThatRecord)
{
    // A keyed Paradox source: writing key "2" onto the first record violates its key.
    const QString px = dir.path() + QStringLiteral("/FONTE.DB");
    createParadoxTable(px, {textField("ID", 4), textField("REF", 4)}, {7, 1});
    Table f(QStringLiteral("Fixture"));
    f.Bind(px);
    f.Open();
    for (const char* rec : {"1x", "2y"}) {
        f.Append();
        f.Fields(0)->SetValue(Value::text(QString(QLatin1Char(rec[0]))));
        f.Fields(1)->SetValue(Value::text(QString(QLatin1Char(rec[1]))));
        f.Post();
    }
    f.Close();
    src = px;
    QFile::remove(dst);
    makeDbf(dst, {textField("REFD", 4), textField("COD", 4)}, {{txt("x"), txt("2")}, {txt("y"), txt("9")}});
    host.verification = RecordRunHost::Answer::Yes;
    host.recordOption = [](int n, const QString&) { return n == 0 ? 1 : 0; };
    const RecordRunResult r =
        comparar(t1, t2, host, src, dst, QStringLiteral("COD=ID"), QStringLiteral("REF"), QStringLiteral("REFD"), list);

    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(host.questions.size(), 1);
    EXPECT_EQ(r.walked, 2);
    EXPECT_EQ(rowsOf(src), QList<QStringList>({{"1", "x"}, {"2", "y"}}));
    EXPECT_EQ(rowsOf(dst), QList<QStringList>({{"x", "2"}, {"y", "2"}}));
    EXPECT_TRUE(readFile(list).endsWith("Chave: y >>> Destino: COD=9  <>   Fonte: ID=2\r\n"));
}

// A list that cannot be written is refused before the tables are opened: no question, no
// progress, no record reconciled (the window's own list path goes through the same check).
TEST_F(Comparar, AListThatCannotBeWrittenIsRefusedBeforeAnythingIsDone)
{
    host.verification = RecordRunHost::Answer::Yes;
    host.recordOption = [](int, const QString&) { return 0; };
    const QList<QStringList> before = rowsOf(dst);

    list = dir.path() + QStringLiteral("/nao/existe/lista.txt");
    EXPECT_EQ(errorText([&] { run(); }),
              QStringLiteral("Não foi possível gravar a lista de divergências %1: a pasta %2 não existe")
                  .arg(list, dir.path() + QStringLiteral("/nao/existe")));
    writeFile(dir.path() + QStringLiteral("/arquivo"), "x");
    list = dir.path() + QStringLiteral("/arquivo/lista.txt");
    EXPECT_EQ(errorText([&] { run(); }),
              QStringLiteral("Não foi possível gravar a lista de divergências %1: %2 não é uma pasta")
                  .arg(list, dir.path() + QStringLiteral("/arquivo")));

    EXPECT_EQ(rowsOf(dst), before);
    EXPECT_EQ(host.shows, 0);
    EXPECT_TRUE(host.verificationQuestions.isEmpty());
    EXPECT_TRUE(host.recordOptionTexts.isEmpty());
    EXPECT_FALSE(t1.Active() || t2.Active());
}

// The headers name each table by its full path, however the path was given.
TEST_F(Comparar, HeadersShowTheFullPathOfTablesGivenByRelativePaths)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path() + QStringLiteral("/sub")));
    src = QStringLiteral("../fonte.dbf");
    dst = QStringLiteral("./../sub/../destino.dbf");
    const RecordRunResult r = run();
    QDir::setCurrent(oldCurrent);
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(readFile(list).startsWith(header())) << readFile(list).left(200).toStdString();
}

// Keys are paired ignoring the trailing blanks a Paradox Alpha key keeps and a dBase field
// drops; the values themselves are compared as before, blanks and all.
TEST_F(Comparar, ParadoxKeysEndingInBlanksArePairedAndTheirValuesStillCompareExactly)
{
    QUILLORA_REQUIRE_PXLIB_WRITER();
    src = dir.path() + QStringLiteral("/fonte.db");
    ASSERT_TRUE(makeDbWithPxlib(src, QStringLiteral("COD:A:6,NOME:A:12"), {"1  |JOAO", "2 |igual", "5 |sem par"}));
    const RecordRunResult r = run(QStringLiteral("NOME_CLI=NOME\nCODIGO=COD\n"));
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(readFile(list), "Destino: " + dst.toUtf8() + "\r\nFonte..: " + src.toUtf8() + "\r\n" + rule + "\r\n" +
                                  "Chave: 1   >>> Destino: NOME_CLI=Joao  <>   Fonte: NOME=JOAO\r\n"
                                  "Chave: 1   >>> Destino: CODIGO=1  <>   Fonte: COD=1  \r\n"
                                  "Chave: 2  >>> Destino: CODIGO=2  <>   Fonte: COD=2 \r\n");
}

TEST_F(Comparar, OpeningFailsBeforeTheListIsTouched)
{
    writeFile(list, "antiga\r\n");
    dst = dir.path() + QStringLiteral("/nao_existe.dbf");
    EXPECT_NE(errorText([&] { run(); }), QStringLiteral("<no error>"));
    EXPECT_EQ(readFile(list), QByteArray("antiga\r\n"));
}

// The comparison rule over the kinds the tables give, on a Paradox pair of one record each:
// every mapping line is one case, and the list shows which of them differ.
TEST_F(Comparar, ComparisonRuleOnParadoxFields)
{
    const QString ps = dir.path() + QStringLiteral("/S.DB");
    const QString pd = dir.path() + QStringLiteral("/D.DB");
    const QList<FieldDef> fields = {textField("K", 4),           textField("T", 10),
                                    FieldDef{"I", ftInteger, 0},  FieldDef{"F", ftFloat, 0},
                                    FieldDef{"B", ftBCD, 32, 4},  FieldDef{"L", ftBoolean, 0},
                                    FieldDef{"D", ftDate, 0},     FieldDef{"DT", ftDateTime, 0},
                                    FieldDef{"S", ftSmallint, 0}, FieldDef{"E", ftInteger, 0}};
    createParadoxTable(ps, fields);
    createParadoxTable(pd, fields);
    auto fill = [](const QString& path, const QList<Value>& values) {
        Table t(QStringLiteral("Fixture"));
        t.Bind(path);
        t.Open();
        t.Append();
        for (int i = 0; i < values.size(); ++i)
            t.Fields(i)->SetValue(values[i]);
        t.Post();
        t.Close();
    };
    const QDate day(2024, 2, 29);
    fill(ps, {txt("k"), txt("abc"), Value::integer(10), Value::floating(1.00001), Value::fixed(Fixed{10000}),
              Value::boolean(true), Value::date(day), Value::dateTime(QDateTime(day, QTime(0, 0))),
              Value::integer(0), Value()});
    fill(pd, {txt("K"), txt("abc "), Value::integer(-1), Value::floating(2), Value::fixed(Fixed{10001}),
              Value::boolean(false), Value::date(day), Value::dateTime(QDateTime(day, QTime(0, 0, 1))),
              Value(), Value()});
    const char* cases[][3] = {
        // destination field, source field, expected: "=" equal, "<>" differs
        {"T", "T", "<>"},   // "abc " against "abc": trailing blanks count
        {"T", "K", "<>"},   // "abc " against "k"
        {"K", "K", "<>"},   // "K" against "k": letter case counts although the key matched
        {"I", "L", "="},    // -1 against true
        {"L", "S", "="},    // false against 0
        {"B", "F", "<>"},   // 1.0001 against 1.00001 (rounds to 1.0000)
        {"F", "I", "<>"},   // 2 against 10
        {"D", "DT", "="},   // a date against the same day at midnight
        {"DT", "D", "<>"},  // one second later
        {"E", "E", "="},    // blank against blank
        {"S", "I", "<>"},   // blank against 10
        {"E", "S", "<>"},   // blank against 0
    };
    QString mapping;
    QByteArray expected = "Destino: " + pd.toUtf8() + "\r\nFonte..: " + ps.toUtf8() + "\r\n" + rule + "\r\n";
    for (const auto& c : cases) {
        mapping += QStringLiteral("%1=%2\n").arg(QLatin1String(c[0]), QLatin1String(c[1]));
        if (QByteArray(c[2]) == "<>") {
            t1.Bind(ps), t2.Bind(pd);
            t1.Open(), t2.Open();
            expected += "Chave: k >>> Destino: " + QByteArray(c[0]) + "=" +
                        t2.FieldByName(QLatin1String(c[0]))->AsString().toUtf8() + "  <>   Fonte: " + c[1] + "=" +
                        t1.FieldByName(QLatin1String(c[1]))->AsString().toUtf8() + "\r\n";
            t1.Close(), t2.Close();
        }
    }
    const RecordRunResult r = comparar(t1, t2, host, ps, pd, mapping, QStringLiteral("K"), QStringLiteral("K"), list);
    EXPECT_EQ(r.failed, 0) << host.questions.value(0).toStdString();
    EXPECT_EQ(QString::fromUtf8(readFile(list)), QString::fromUtf8(expected));
}

// The rule on values the tables cannot hold as such (empty text is a blank in both formats).
TEST(CompareValues, KindsMeetInTheirCommonKind)
{
    struct Case {
        Value d;
        FieldType dt;
        Value s;
        FieldType st;
        bool equal;
    };
    const Case cases[] = {
        {Value(), ftString, Value::text(QString()), ftString, false},
        {Value(), ftInteger, Value::integer(0), ftInteger, false},
        {Value::integer(10), ftInteger, Value::text("10"), ftString, true},
        {Value::text("10,0"), ftString, Value::integer(10), ftInteger, true},
        {Value::floating(1.00001), ftFloat, Value::fixed(Fixed{10000}), ftBCD, true},
        {Value::text("1,00004"), ftString, Value::fixed(Fixed{10000}), ftBCD, true},
        {Value::text("Verdadeiro"), ftString, Value::boolean(true), ftBoolean, true},
        {Value::text("0"), ftString, Value::boolean(false), ftBoolean, true},
        {Value::text("29/02/2024"), ftString, Value::date(QDate(2024, 2, 29)), ftDate, true},
        {Value::integer(1LL << 40), ftLargeint, Value::integer((1LL << 40) + 1), ftLargeint, false},
        {Value::integer(45351), ftInteger, Value::date(QDate(2024, 2, 29)), ftDate, true},
        {Value::text("á"), ftString, Value::text("a"), ftString, false},
        // A time's text has no date part.
        {Value::text("10:30:00"), ftString, Value::time(QTime(10, 30)), ftTime, true},
        {Value::time(QTime(10, 30)), ftTime, Value::text("10:30:01"), ftString, false},
        {Value::text("29/02/2024 10:30:00"), ftString, Value::dateTime(QDateTime(QDate(2024, 2, 29), QTime(10, 30))),
         ftDateTime, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(valuesEqual(c.d, c.dt, c.s, c.st), c.equal) << c.d.debugString().toStdString() << " / "
                                                             << c.s.debugString().toStdString();
    EXPECT_EQ(errorText([] { valuesEqual(Value::integer(1), ftInteger, Value::text("abc"), ftString); }),
              QStringLiteral("'abc' is not a valid floating point value"));
    EXPECT_EQ(errorText([] { valuesEqual(Value::text("amanhã"), ftString, Value::date(QDate(2024, 1, 1)), ftDate); }),
              QStringLiteral("'amanhã' is not a valid date and time"));
}

TEST_F(Comparar, TextThatIsNotANumberIsAnErrorOfTheRecord)
{
    QFile::remove(dst);
    makeDbf(dst, {textField("CODIGO", 6), FieldDef{"NUM", ftInteger, 0}}, {{txt("1"), Value::integer(10)}});
    const RecordRunResult r = run(QStringLiteral("NUM=NOME\n"));
    EXPECT_EQ(r.failed, 1);
    EXPECT_EQ(host.questions.value(0),
              RecordRun::errorQuestion(QStringLiteral("'João' is not a valid floating point value")));
    EXPECT_EQ(readFile(list), header());
}

TEST(DivergenceList, DefaultPathIsInTheHomeDirectory)
{
#ifndef Q_OS_WIN
    EXPECT_EQ(divergenceListPath(), QDir::homePath() + QStringLiteral("/LISTADIVERGENCIAS.txt"));
#else
    EXPECT_EQ(divergenceListPath(), QStringLiteral("C:\\LISTADIVERGENCIAS.txt"));
#endif
}
