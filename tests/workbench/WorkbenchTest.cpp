// The column operations end to end on dBase and Paradox tables through a scripted host;
// dBase results read back by dbfread.
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/workbench/ScriptedWorkbenchHost.h"
#include "workbench/ColumnOperations.h"
#include "workbench/ColumnRun.h"
#include "workbench/KeyList.h"
#include "workbench/StrZero.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::test;
using namespace quillora::workbench;

namespace {

const QString dataDone = QStringLiteral("Dados processados com sucesso !");
const QString processingDone = QStringLiteral("Processamento concluído com sucesso !");
const QString idleText = QStringLiteral("Processamento de tabelas");

using Operation = void (*)(Table&, WorkbenchHost&, int);

// Runs an operation on a table file from the record at `position` (from 1) of its order.
void runOn(const QString& path, Operation op, const QString& field, ScriptedWorkbenchHost& host, qint64 position = 1,
           const QString& index = {})
{
    Table t(QStringLiteral("Table1"));
    t.Bind(path);
    if (!index.isEmpty())
        t.SetIndexFieldNames(index);
    t.Open();
    if (position > 1) {
        ASSERT_TRUE(t.MoveToPosition(position));
    }
    try {
        op(t, host, t.FieldByName(field)->Index());
    } catch (const Error& e) {
        host.messages << QStringLiteral("erro: ") + e.text();
    }
    t.Close();
}

// One column as dbfread sees it (a blank text column reads "").
QStringList dbfread(const QString& path, const QString& field)
{
    QString out;
    const QString script = QStringLiteral(
        "import sys\nfrom dbfread import DBF\n"
        "for r in DBF(sys.argv[1], encoding='cp850'): print(r[sys.argv[2]])\n");
    EXPECT_EQ(runProgram(QStringLiteral("/usr/bin/python3"), {"-c", script, path, field}, &out), 0);
    QStringList lines = out.split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

QList<QList<Value>> textRows(const QStringList& texts)
{
    QList<QList<Value>> rows;
    for (const QString& s : texts)
        rows << QList<Value>{s.isNull() ? Value() : Value::text(s)};
    return rows;
}

class Workbench : public ::testing::Test {
protected:
    QString dbf(const QStringList& values, int width = 10)
    {
        const QString path = dir.path() + QStringLiteral("/t%1.dbf").arg(++n);
        makeDbf(path, {textField("NOME", width)}, textRows(values));
        return path;
    }
    // A keyed Paradox table: ID (key, 1..n) and NOME.
    QString paradox(const QStringList& values, int width = 10)
    {
        const QString path = dir.path() + QStringLiteral("/p%1.db").arg(++n);
        createParadoxTable(path, {FieldDef{QStringLiteral("ID"), ftInteger}, FieldDef{QStringLiteral("NOME"), ftString, width}},
                           ParadoxCreateOptions(7, 1));
        Table t(QStringLiteral("Fixture"));
        t.Bind(path);
        t.Open();
        for (int i = 0; i < values.size(); ++i) {
            t.Append();
            t.Fields(0)->SetValue(Value::integer(i + 1));
            if (!values[i].isNull())
                t.Fields(1)->SetValue(Value::text(values[i]));
            t.Post();
        }
        t.Close();
        return path;
    }
    QTemporaryDir dir;
    int n = 0;
};

// A run over a key field finds its records again by the keys it noted; those come back as they
// went in, of every kind.
TEST(KeyList, KeysComeBackAsTheyWentIn)
{
    const QString lone = QString(QChar(0xD800)) + QStringLiteral("x");
    const QList<QList<Value>> keys = {
        {Value::text(QStringLiteral("Ana")), Value::integer(-7)},
        {Value::text(QString()), Value()},
        {Value::text(QStringLiteral("São Paulo \U0001F600")), Value::floating(-0.1)},
        {Value::fixed(Fixed{-123456}), Value::date(QDate(1, 1, 1)), Value::boolean(true)},
        {Value::bytes(QByteArray("\0\xff", 2)), Value::text(QString(300, QLatin1Char('a')))},
        {Value::text(lone)},
        {Value::time(QTime(23, 59, 59, 999)), Value::dateTime(QDateTime(QDate(2024, 2, 29), QTime(12, 0)))},
        {},
    };
    KeyList list;
    for (const auto& k : keys)
        list.append(k);
    ASSERT_EQ(list.size(), keys.size());
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QList<Value> back = list.at(i);
        ASSERT_EQ(back.size(), keys[i].size()) << i;
        for (qsizetype k = 0; k < back.size(); ++k) {
            EXPECT_EQ(back[k].kind(), keys[i][k].kind()) << i << " " << k;
            EXPECT_TRUE(back[k] == keys[i][k]) << i << " " << k;
        }
    }
    EXPECT_EQ(list.at(5).first().asText(), lone);
}

TEST(ReplicateStrZero, Cases)
{
    EXPECT_EQ(Replicate("0", 3), "000");
    EXPECT_EQ(Replicate("ab", 2), "abab");
    EXPECT_EQ(Replicate("0", 0), "");
    EXPECT_EQ(Replicate("0", 255), "");
    EXPECT_EQ(Replicate("", 5), "");
    EXPECT_EQ(Replicate("0", 254).size(), 254);

    const struct {
        int width;
        double value;
        const char* text;
    } cases[] = {
        {4, 7, "0007"},   {2, 123, "123"}, {3, -7, "-007"}, {3, 2.5, "003"},  {3, -2.5, "-003"},
        {3, 2.4, "002"},  {0, 42, "42"},   {255, 42, "42"}, {0, 3.5, "3,5"},  {3, -0.4, "000"},
        {224, 1, nullptr}, {5, 1e18, "1E18"},
    };
    for (const auto& c : cases) {
        if (!c.text) {
            EXPECT_EQ(StrZero(c.width, c.value).size(), 224);
            continue;
        }
        EXPECT_EQ(StrZero(c.width, c.value), QString::fromUtf8(c.text)) << c.width << " " << c.value;
    }
    for (int width : {225, 230, 254})
        EXPECT_EQ(errorText([&] { StrZero(width, 42); }), "Format string too long");
}

TEST(CutText, Cases)
{
    const struct {
        const char* text;
        int start, count;
        const char* result;
    } cases[] = {
        {"ABCDEFG", 3, 2, "ABEFG"}, {"ABCDEFG", 6, 10, "ABCDE"}, {"ABCDEFG", 8, 1, "ABCDEFG"},
        {"AB", 1, 5, ""},           {"", 1, 1, ""},              {"ABC", 2, 0, "ABC"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cutText(c.text, c.start, c.count), QString::fromUtf8(c.result)) << c.text;
    EXPECT_EQ(spinValue("abc"), 1);
    EXPECT_EQ(spinValue(""), 1);
    EXPECT_EQ(spinValue("150"), 99);
    EXPECT_EQ(spinValue("-3"), 1);
    EXPECT_EQ(spinValue(" 7 "), 7);
}

TEST_F(Workbench, LeadingZerosIgnoreValuesThatAreNoNumbers)
{
    const QString path = dbf({"42", "3,7", "-42", "123456", "abc", QString()});
    ScriptedWorkbenchHost host;
    host.width = 5;
    runOn(path, &leadingZeros, "NOME", host);
    EXPECT_EQ(dbfread(path, "NOME"), QStringList({"00042", "00004", "-00042", "123456", "abc", ""}));
    EXPECT_EQ(host.messages, QStringList{dataDone});
    EXPECT_EQ(host.status(), idleText);

    const QString narrow = dbf({"7"}, 2);
    host.width = 3;
    runOn(narrow, &leadingZeros, "NOME", host);
    EXPECT_EQ(dbfread(narrow, "NOME"), QStringList{"00"});
}

TEST_F(Workbench, FillFromTheThirdRecordLeavesTheFirstTwo)
{
    const QString path = dbf({"a", "b", "c", "d", "e"});
    ScriptedWorkbenchHost host;
    host.value = "ABC";
    runOn(path, &fillColumn, "NOME", host, 3);
    EXPECT_EQ(dbfread(path, "NOME"), QStringList({"a", "b", "ABC", "ABC", "ABC"}));
    EXPECT_EQ(host.messages, QStringList{processingDone});
    EXPECT_EQ(host.status(), idleText);
}

TEST_F(Workbench, FillConvertsForNumbersAndDates)
{
    const QString path = dir.path() + "/kinds.dbf";
    makeDbf(path, {FieldDef{"QTD", ftInteger, 6}, FieldDef{"DATA", ftDate, 8}, FieldDef{"OK", ftBoolean, 1}},
            {{Value::integer(1), Value(), Value()}, {Value::integer(2), Value(), Value()}});
    ScriptedWorkbenchHost host;
    host.value = "12a";
    runOn(path, &fillColumn, "QTD", host);
    EXPECT_EQ(host.messages, QStringList{"erro: '12a' is not a valid integer value"});
    EXPECT_EQ(dbfread(path, "QTD"), QStringList({"1", "2"}));

    host = {};
    host.value = "31/12/2024";
    runOn(path, &fillColumn, "DATA", host);
    EXPECT_EQ(dbfread(path, "DATA"), QStringList({"2024-12-31", "2024-12-31"}));
    EXPECT_EQ(host.messages, QStringList{processingDone});

    // A logical column: nothing asked, nothing said, the idle text shown.
    host = {};
    runOn(path, &fillColumn, "OK", host);
    EXPECT_TRUE(host.dialogs.isEmpty());
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(host.statusTexts, QStringList{idleText});
}

TEST_F(Workbench, CutCharacters)
{
    const QString path = dbf({"ABCDEFG", "AB", QString()});
    ScriptedWorkbenchHost host;
    host.cut = CutParameters{3, 2};
    runOn(path, &cutCharacters, "NOME", host);
    EXPECT_EQ(dbfread(path, "NOME"), QStringList({"ABEFG", "AB", ""}));
    host.cut = CutParameters{1, 5};
    runOn(path, &cutCharacters, "NOME", host, 2);
    EXPECT_EQ(dbfread(path, "NOME"), QStringList({"ABEFG", "", ""}));
    EXPECT_EQ(host.messages, QStringList({processingDone, processingDone}));
}

TEST_F(Workbench, NumberSequenceLeavesTheLastProgressText)
{
    for (const auto& [start, expected] :
         {std::pair{"10", QStringList{"10", "11", "12", "13"}}, std::pair{"-2", QStringList{"-2", "-1", "0", "1"}}}) {
        const QString path = paradox({"a", "b", "c", "d"});
        ScriptedWorkbenchHost host;
        host.value = start;
        runOn(path, &numberSequence, "NOME", host);
        EXPECT_EQ(columnOf(path, "NOME"), expected);
        EXPECT_EQ(host.messages, QStringList{processingDone});
        EXPECT_EQ(host.status(), "Percentual processado: 100 %");
    }
    // A start that is no whole number: the error, nothing changed.
    const QString path = dbf({"x"});
    ScriptedWorkbenchHost host;
    host.value = "1,5";
    runOn(path, &numberSequence, "NOME", host);
    EXPECT_EQ(host.messages, QStringList{"erro: '1,5' is not a valid integer value"});
    EXPECT_EQ(host.runs, 0);
    EXPECT_EQ(dbfread(path, "NOME"), QStringList{"x"});
}

TEST_F(Workbench, RecordNumberIsThePositionInParadoxAndThePhysicalNumberInDbase)
{
    const QString px = paradox({"a", "b", "c", "d", "e"}, 6);
    ScriptedWorkbenchHost host;
    runOn(px, &recordNumber, "NOME", host, 3);
    EXPECT_EQ(columnOf(px, "NOME"), QStringList({"a", "b", "000003", "000004", "000005"}));
    EXPECT_TRUE(host.dialogs.isEmpty());

    // dBase: the second record deleted, the run from the second visible one writes 3, 4, 5.
    const QString db = dbf({"a", "b", "c", "d", "e"}, 6);
    {
        Table t("T");
        t.Bind(db);
        t.Open();
        t.MoveToPosition(2);
        t.Delete();
        t.Close();
    }
    runOn(db, &recordNumber, "NOME", host, 2);
    EXPECT_EQ(dbfread(db, "NOME"), QStringList({"a", "000003", "000004", "000005"}));
}

TEST_F(Workbench, RecordNumberOnWideColumns)
{
    // 255 wide: no picture, the number written as it is.
    const QString wide = paradox({"a", "b", "c"}, 255);
    ScriptedWorkbenchHost host;
    runOn(wide, &recordNumber, "NOME", host, 3);
    EXPECT_EQ(columnOf(wide, "NOME"), QStringList({"a", "b", "3"}));
    EXPECT_EQ(host.messages, QStringList{processingDone});

    // 225 to 254 wide: the picture is refused at the first record and nothing changes.
    const QString tooLong = dbf({"a", "b"}, 230);
    ScriptedWorkbenchHost refused;
    runOn(tooLong, &recordNumber, "NOME", refused);
    EXPECT_EQ(refused.messages, QStringList{"erro: Format string too long"});
    EXPECT_EQ(dbfread(tooLong, "NOME"), QStringList({"a", "b"}));
}

TEST_F(Workbench, LetterCaseFollowsTheRegionalMapping)
{
    for (const auto& [choice, expected] : {std::pair{CaseChoice::Upper, "AÇÃO RÁPIDA"}, std::pair{CaseChoice::Lower, "ação rápida"}}) {
        const QString path = dbf({"Ação rápida", QString()}, 20);
        ScriptedWorkbenchHost host;
        host.choice = choice;
        runOn(path, &letterCase, "NOME", host);
        EXPECT_EQ(dbfread(path, "NOME"), QStringList({QString::fromUtf8(expected), ""}));
        EXPECT_EQ(host.messages, QStringList{dataDone});
    }
    const QString path = dbf({"Abc"});
    ScriptedWorkbenchHost host;
    host.choice = CaseChoice::Cancel;
    runOn(path, &letterCase, "NOME", host);
    EXPECT_EQ(host.runs, 0);
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(host.status(), idleText);
}

TEST_F(Workbench, RefusedKindsAndCancel)
{
    const QString path = dir.path() + "/num.dbf";
    makeDbf(path, {FieldDef{"QTD", ftInteger, 6}}, {{Value::integer(7)}});
    const struct {
        Operation op;
        const char* message;  // nullptr: silent
        bool idle;
    } cases[] = {
        {&leadingZeros, "Este campo não pode ser processado com zeros a esquerda !", true},
        {&cutCharacters, "Este campo não pode ser processado !", true},
        {&letterCase, "Este campo não pode ser processado !", true},
        {&numberSequence, nullptr, false},
        {&recordNumber, nullptr, false},
    };
    for (const auto& c : cases) {
        ScriptedWorkbenchHost host;
        runOn(path, c.op, "QTD", host);
        EXPECT_EQ(host.messages, c.message ? QStringList{QString::fromUtf8(c.message)} : QStringList());
        EXPECT_EQ(host.statusTexts, c.idle ? QStringList{idleText} : QStringList());
        EXPECT_TRUE(host.dialogs.isEmpty());
    }
    EXPECT_EQ(dbfread(path, "QTD"), QStringList{"7"});

    // Cancel in each dialog: nothing changes, no message.
    const QString text = dbf({"abc"});
    ScriptedWorkbenchHost host;
    host.width.reset();
    host.value.reset();
    host.cut.reset();
    for (Operation op : {&leadingZeros, &fillColumn, &cutCharacters, &numberSequence})
        runOn(text, op, "NOME", host);
    EXPECT_EQ(host.dialogs.size(), 4);
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(host.runs, 0);
    EXPECT_EQ(dbfread(text, "NOME"), QStringList{"abc"});
}

TEST_F(Workbench, ProgressOfFourParadoxRecords)
{
    const QString path = paradox({"a", "b", "c", "d"});
    ScriptedWorkbenchHost host;
    host.value = "x";
    runOn(path, &fillColumn, "NOME", host);
    EXPECT_EQ(host.progress(), QStringList({"Percentual processado: 50 %", "Percentual processado: 75 %",
                                            "Percentual processado: 100 %", "Percentual processado: 100 %"}));
    // From the last record (reached by Last, which leaves the table at its end): only it.
    Table t("Table1");
    t.Bind(path);
    t.Open();
    t.Last();
    ScriptedWorkbenchHost last;
    last.value = "z";
    fillColumn(t, last, 1);
    t.Close();
    EXPECT_EQ(columnOf(path, "NOME"), QStringList({"x", "x", "x", "z"}));
    EXPECT_EQ(last.progress(), QStringList{"Percentual processado: 100 %"});

    // An empty table: the completion message all the same.
    const QString empty = paradox({});
    ScriptedWorkbenchHost none;
    none.value = "x";
    runOn(empty, &fillColumn, "NOME", none);
    EXPECT_EQ(none.messages, QStringList{processingDone});
    EXPECT_TRUE(none.progress().isEmpty());
}

// Rewriting the column the order is built on moves records within it; every record from the
// start is still visited once.
TEST_F(Workbench, ARunOverTheOrderColumnVisitsEachRecordOnce)
{
    // The primary key renumbered: each stored change moves its record to the end of the order.
    const QString keyed = dir.path() + "/k.db";
    createParadoxTable(keyed, {FieldDef{"COD", ftString, 4}, FieldDef{"V", ftString, 4}}, ParadoxCreateOptions(7, 1));
    {
        Table t("T");
        t.Bind(keyed);
        t.Open();
        for (const char* k : {"1", "2", "3", "4"}) {
            t.Append();
            t.Fields(0)->SetValue(Value::text(k));
            t.Fields(1)->SetValue(Value::text(k));
            t.Post();
        }
        t.Close();
    }
    ScriptedWorkbenchHost seq;
    seq.value = "5";  // 1 -> 5 moves the first record to the end of the key order
    runOn(keyed, &numberSequence, "COD", seq);
    EXPECT_EQ(seq.messages, QStringList{processingDone});
    EXPECT_EQ(columnOf(keyed, "V"), QStringList({"1", "2", "3", "4"}));
    EXPECT_EQ(columnOf(keyed, "COD"), QStringList({"5", "6", "7", "8"}));
}

// A dBase table in the order of its production index: each filled record moves to the end
// of the order, and the run still visits the three of them.
TEST_F(Workbench, ARunOverAnIndexedColumnVisitsEachRecordOnce)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString path = copyInto(dir.path(), {sample("dbase/generated-xbase64-4.1.11/XSQL.DBF"),
                                               sample("dbase/generated-xbase64-4.1.11/XSQL.MDX")});
    ScriptedWorkbenchHost host;
    host.value = "Zé";
    runOn(path, &fillColumn, "NAME", host, 1, "NAME");
    EXPECT_EQ(host.messages, QStringList{processingDone});
    EXPECT_EQ(host.progress().size(), 3);
    EXPECT_EQ(dbfread(path, "NAME"), QStringList({"Zé", "Zé", "Zé"}));
}

// In index order a dBase table reports physical record numbers: Ana (2), Bruno (3), Carla (1),
// so the progress after each move falls back and never passes 100.
TEST_F(Workbench, DbaseProgressFollowsPhysicalRecordNumbers)
{
    QUILLORA_REQUIRE_SAMPLES();
    const QString path = copyInto(dir.path(), {sample("dbase/generated-xbase64-4.1.11/XSQL.DBF"),
                                               sample("dbase/generated-xbase64-4.1.11/XSQL.MDX")});
    ScriptedWorkbenchHost host;
    host.value = "2";
    runOn(path, &fillColumn, "QTY", host, 1, "NAME");
    EXPECT_EQ(host.progress(), QStringList({"Percentual processado: 100 %", "Percentual processado: 33 %",
                                            "Percentual processado: 33 %"}));
    EXPECT_EQ(dbfread(path, "QTY"), QStringList({"2.0", "2.0", "2.0"}));
}

// A filter on the rewritten column: each stored record leaves the view, and the run still
// visits every record that was in view when it started, once.
TEST_F(Workbench, ARunOverAFilteredColumnVisitsEachRecordOnce)
{
    const QString path = dbf({"a", "x", "a", "a", "x", "a"});
    Table t(QStringLiteral("Table1"));
    t.Bind(path);
    t.SetFilter(QStringLiteral("NOME = 'a'"));
    t.SetFiltered(true);
    t.Open();
    ScriptedWorkbenchHost host;
    host.value = "b";
    fillColumn(t, host, 0);
    EXPECT_EQ(host.messages, QStringList{processingDone});
    t.Close();
    EXPECT_EQ(dbfread(path, "NOME"), QStringList({"b", "x", "b", "b", "x", "b"}));

    ScriptedWorkbenchHost seq;
    seq.value = "1";
    t.SetFilter(QStringLiteral("NOME = 'b'"));
    t.Open();
    numberSequence(t, seq, 0);
    t.Close();
    EXPECT_EQ(dbfread(path, "NOME"), QStringList({"1", "x", "2", "3", "x", "4"}));
}

// A table error ends the run: the records before keep their values, the run's state is undone.
TEST_F(Workbench, TableErrorEndsTheRun)
{
    const QString keyed = dir.path() + "/dup.db";
    createParadoxTable(keyed, {FieldDef{"COD", ftString, 4}}, ParadoxCreateOptions(7, 1));
    {
        Table t("T");
        t.Bind(keyed);
        t.Open();
        for (const char* k : {"1", "2", "3"}) {
            t.Append();
            t.Fields(0)->SetValue(Value::text(k));
            t.Post();
        }
        t.Close();
    }
    Table t("Table1");
    t.Bind(keyed);
    t.Open();
    ScriptedWorkbenchHost host;
    host.value = "X";  // the second record cannot take the key the first now has
    EXPECT_NE(errorText([&] { fillColumn(t, host, 0); }), "<no error>");
    EXPECT_FALSE(t.ControlsDisabled());
    EXPECT_EQ(t.state(), Table::State::Browse);
    EXPECT_TRUE(host.messages.isEmpty());
    t.Close();
    EXPECT_EQ(columnOf(keyed, "COD"), QStringList({"2", "3", "X"}));
}

}  // namespace
