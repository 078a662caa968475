// The filter condition language and the filtered view of a Table.
#include "tables/Error.h"
#include "tables/Table.h"
#include "tests/tables/MemoryTableFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using quillora::test::errorText;
using quillora::test::MemoryTableData;
using quillora::test::MemoryTableFile;

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

FieldDef def(const char* name, FieldType type, int size = 0)
{
    FieldDef d;
    d.name = u(name);
    d.type = type;
    d.size = size;
    return d;
}

class FilterFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        MemoryTableFile::registerMemoryFormat();
        path = dir.path() + QStringLiteral("/pessoas.mem");
        data = MemoryTableFile::store(
            path, {def("NOME", ftString, 20), def("CIDADE", ftString, 20), def("IDADE", ftSmallint),
                   def("VALOR", ftFloat), def("NASC", ftDate), def("ATIVO", ftBoolean),
                   def("NOME COMPLETO", ftString, 30), def("CÓDIGO", ftInteger), def("OBS", ftMemo)});
        auto t = [](const char* s) { return s ? Value::text(u(s)) : Value(); };
        auto i = [](int v) { return Value::integer(v); };
        auto d = [](int y, int m, int dd) { return Value::date(QDate(y, m, dd)); };
        auto b = [](bool v) { return Value::boolean(v); };
        data->records = {
            QList<Value>{t("ABC"), t("Recife"), i(30), Value::floating(1.5), d(2000, 2, 1), b(true), t("Ana Bia"), i(1), t("nota um")},
            QList<Value>{t("ABD"), t("Natal"), i(40), Value::floating(2.25), d(1990, 3, 15), b(false), t("Bia Cruz"), i(2), Value()},
            QList<Value>{t("ab"), t("Recife"), Value(), Value::floating(10), Value(), b(true), Value(), i(3), Value()},
            QList<Value>{t("*"), Value(), i(25), Value::floating(1.5), d(2010, 12, 31), b(false), t("Zé"), i(4), t("nota")},
            QList<Value>{t("O'Brien"), t("Olinda"), i(50), Value::floating(-3), d(1985, 7, 7), Value(), t("O'Brien"), i(5), Value()},
        };
        table.Bind(path);
    }

    QString visibleNames()
    {
        QStringList seen;
        for (table.First(); !table.Eof(); table.Next())
            seen << table.FieldByName(QStringLiteral("NOME"))->AsString();
        return seen.join(QLatin1Char(' '));
    }

    QTemporaryDir dir;
    QString path;
    std::shared_ptr<MemoryTableData> data;
    Table table{QStringLiteral("Table1")};
};

}  // namespace

TEST_F(FilterFixture, ConditionsSelectTheRecordsTheyDescribe)
{
    const struct {
        const char* condition;
        const char* names;
    } cases[] = {
        {"NOME = 'ABC'", "ABC"},
        {"nome = 'ABC'", "ABC"},  // names without regard to case, values with it
        {"NOME = 'abc'", ""},
        {"NOME = 'AB*'", "ABC ABD"},
        {"NOME = '*'", "*"},
        {"NOME = 'ab*'", "ab"},
        {"NOME <> 'AB*'", "ab * O'Brien"},
        {"NOME LIKE 'A_C'", "ABC"},
        {"NOME LIKE '%b%'", "ab"},
        {"NOME LIKE 'AB*'", "ABC ABD"},
        {"NOME = 'O'Brien'", "O'Brien"},  // a plain word after the quote belongs to the text
        {"NOME = 'O''Brien'", "O'Brien"},
        {"NOME IN ('ABC', 'ab')", "ABC ab"},
        {"IDADE > 25 AND IDADE < 50", "ABC ABD"},
        {"IDADE >= 25 AND IDADE <= 30", "ABC *"},
        {"IDADE = NULL", "ab"},
        {"IDADE <> NULL", "ABC ABD * O'Brien"},
        {"IDADE IS NULL", "ab"},
        {"idade is not null", "ABC ABD * O'Brien"},
        {"CIDADE = 'Recife' OR CIDADE = 'Natal' AND IDADE = 30", "ABC ab"},
        {"(CIDADE = 'Recife' OR CIDADE = 'Natal') AND IDADE = 30", "ABC"},
        {"NOT CIDADE = 'Recife' AND IDADE > 0", "ABD * O'Brien"},
        {"NOT (CIDADE = 'Recife' AND IDADE > 0)", "ABD ab * O'Brien"},
        {"IDADE = 30 OR IDADE = 40 AND NOT IDADE = 40", "ABC"},
        {"CIDADE = ''", "*"},
        {"VALOR IN (1,5, 10)", "ABC ab *"},  // decimal comma; the blank ends the item
        {"VALOR = 2,25", "ABD"},
        {"VALOR < -1", "O'Brien"},
        {"1,5 = VALOR", "ABC *"},
        {"NASC = '01/02/2000'", "ABC"},
        {"NASC < '01/01/1990'", "O'Brien"},
        {"ATIVO", "ABC ab"},
        {"ATIVO = Verdadeiro", "ABC ab"},
        {"ATIVO = falso", "ABD *"},
        {"Verdadeiro", "ABC ABD ab * O'Brien"},
        {"Falso", ""},
        {"[NOME COMPLETO] = 'Bia Cruz'", "ABD"},
        {"[CÓDIGO] IN (4, 5)", "* O'Brien"},
        {"/* só Natal */ CIDADE = 'Natal'", "ABD"},
        {"OBS LIKE 'nota%'", "ABC *"},
        {"OBS IS NULL", "ABD ab O'Brien"},
        {"IDADE = 32767", ""},
        {"", "ABC ABD ab * O'Brien"},
        {"  /* nada */ ", "ABC ABD ab * O'Brien"},
        {"NOME='ABC'AND IDADE=30", "ABC"},  // no blanks needed between tokens
        {"VALOR=-3", "O'Brien"},            // a minus where a value is expected begins a number
        {"-3 = VALOR", "O'Brien"},
        {"IDADE IN (-1, 25)", "*"},
        {"NOME = 'ABC' /* fim */", "ABC"},
        {"[nome] = 'ABC'", "ABC"},
        {"NOME LIKE 'O''%'", "O'Brien"},
        {"NOT ATIVO", "ABD * O'Brien"},
        {"ATIVO <> Verdadeiro", "ABD * O'Brien"},
        {"NASC >= '01/01/2000'", "ABC *"},
        {"nome like 'A%' or nome like 'O%'", "ABC ABD O'Brien"},
        {"OBS IS NOT NULL", "ABC *"},
        // Lists and chains of equalities long enough to be looked up in a hash set.
        {"NOME IN ('abc', 'ABD', 'O''Brien')", "ABD O'Brien"},
        {"NASC IN ('01/02/2000', '31/12/2010', '02/02/2000')", "ABC *"},
        {"IDADE = 30 OR IDADE = 40 OR IDADE = 50 OR IDADE = 99", "ABC ABD O'Brien"},
        {"IDADE = 30 OR IDADE = 41 OR NOME = 'ab' OR IDADE = 50 OR IDADE = 99", "ABC ab O'Brien"},
        {"VALOR = 1,5 OR VALOR = 10 OR VALOR = -3 OR VALOR = 7", "ABC ab * O'Brien"},
        {"IDADE = 1 OR IDADE = 2 OR IDADE = 3 OR IDADE = NULL", "ab"},
        {"NASC = '01/02/2000' OR NASC = '15/03/1990' OR NASC = '07/07/1985' OR NASC = '01/01/1900' OR ATIVO",
         "ABC ABD ab O'Brien"},
        {"NOT (CIDADE = 'Recife' OR CIDADE = 'Natal' OR CIDADE = 'Olinda' OR CIDADE = 'Paulista')", "*"},
    };
    table.SetFiltered(true);
    table.Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        table.SetFilter(u(c.condition));
        EXPECT_EQ(visibleNames(), u(c.names));
        EXPECT_EQ(table.RecordCount(), u(c.names).isEmpty() ? 0 : u(c.names).split(QLatin1Char(' ')).size());
    }
}

TEST_F(FilterFixture, FaultyConditionsGiveTheirMessages)
{
    const struct {
        const char* condition;
        const char* message;
    } cases[] = {
        {"NOME = \"x\"", "Caractere inválido na expressão de filtro: '\"'"},
        {"NOME # 'x'", "Caractere inválido na expressão de filtro: '#'"},
        {"/* aberto NOME = 'x'", "Caractere inválido na expressão de filtro: '/'"},
        {"/* a*b */ NOME = 'x'", "Caractere inválido na expressão de filtro: '/'"},
        {"[NOME = 'x'", "Nome de campo não terminado"},
        {"NOME = 'x", "Constante de string não terminada"},
        {"NOME = 'x' CIDADE", "Constante de string não terminada"},
        {"IDADE IS 3", "Uso de Keyword inválido"},
        {"IDADE IS NOT 3", "Uso de Keyword inválido"},
        {"IDADE IN 3", "')' esperado mas '3' encontrado"},
        {"(IDADE = 3", "')' esperado mas Absolutamente encontrado"},
        {"IDADE IN (3, 4", "')' ou ',' aguardado mas Absolutamente existe"},
        {"IDADE IN (3 4)", "')' ou ',' aguardado mas '4' existe"},
        {"IDADE IN ()", "Lista de predicados IN pode não estar vazia"},
        {"IDADE =", "Expressão esperada mas Absolutamente encontrada"},
        {"= 3", "Expressão esperada mas '=' encontrada"},
        {"IDADE = AND", "Expressão esperada mas 'AND' encontrada"},
        {"IDADE = 3 NOME", "Expressão de filtro incorretamente terminada"},
        {"IDADE = 3 = 4", "Expressão de filtro incorretamente terminada"},
        {"NOME", "Expressão de filtro formada incorretamente"},
        {"'abc'", "Expressão de filtro formada incorretamente"},
        {"NOME AND ATIVO", "Expressão de filtro formada incorretamente"},
        {"IDADE + 1 = 3", "Filtro de expressão aritmética não suportada"},
        {"IDADE - 1 = 3", "Filtro de expressão aritmética não suportada"},
        {"IDADE * 2 = 3", "Filtro de expressão aritmética não suportada"},
        {"IDADE = 1 / 2", "Filtro de expressão aritmética não suportada"},
        {"NOME LIKE NULL", "NULL somente permitido com '=' e '<>'"},
        {"OBS = 'x'", "Tipo de expressão desconhecida"},
        {"OBS IN ('x')", "Tipo de expressão desconhecida"},
        {"XPTO = 1", "Table1: Campo XPTO não encontrado"},
        {"UPPER(NOME) = 'ABC'", "Table1: Campo UPPER não encontrado"},  // no functions: a field name
        {"CÓDIGO = 1", "Table1: Campo C não encontrado"},  // accents only inside brackets
        {"NASC = '31/02/2000'", "'31/02/2000' is not a valid date"},
        {"[CÓDIGO] = 1,5", "'1,5' is not a valid integer value"},
        {"[CÓDIGO] IN (4,5)", "'4,5' is not a valid integer value"},  // no blank: one number
        {"VALOR = 'x'", "'x' is not a valid floating point value"},
        {"IDADE = 40000", "Constante fora de faixa"},
        {"IDADE = -32769", "Constante fora de faixa"},
        {"NOME = 'Bia' AND", "Expressão esperada mas Absolutamente encontrada"},
        {"NOT", "Expressão esperada mas Absolutamente encontrada"},
        {"IDADE IS", "Uso de Keyword inválido"},
        {"IDADE IN", "')' esperado mas Absolutamente encontrado"},
        {"(NOME = 'ABC'))", "Expressão de filtro incorretamente terminada"},
        {"IDADE < NULL", "NULL somente permitido com '=' e '<>'"},
        {"OBS", "Expressão de filtro formada incorretamente"},
        {"VALOR = 1.5", "Caractere inválido na expressão de filtro: '.'"},  // the separator is the comma
        {"IDADE = 30 & IDADE = 40", "Caractere inválido na expressão de filtro: '&'"},
        {"ÁREA = 1", "Table1: Campo ÁREA não encontrado"},  // an accented letter may begin a name
        {"[NOME X] = 1", "Table1: Campo NOME X não encontrado"},
        {"IDADE = 1,5", "'1,5' is not a valid integer value"},
    };
    table.Open();
    table.SetFilter(QStringLiteral("IDADE > 26"));
    table.SetFiltered(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        EXPECT_EQ(errorText([&] { table.SetFilter(u(c.condition)); }), u(c.message));
        // A faulty condition changes nothing.
        EXPECT_EQ(table.Filter(), QStringLiteral("IDADE > 26"));
        EXPECT_TRUE(table.Filtered());
    }
    EXPECT_EQ(visibleNames(), QStringLiteral("ABC ABD O'Brien"));

    // Hostile sizes: deep parentheses are refused, long chains work.
    EXPECT_EQ(errorText([&] { table.SetFilter(QString(5000, QLatin1Char('(')) + QStringLiteral("ATIVO")); }),
              QStringLiteral("Expressão de filtro com parênteses aninhados demais"));
    QStringList chain(20000, QStringLiteral("IDADE <> 1"));
    table.SetFilter(chain.join(QStringLiteral(" AND ")));
    EXPECT_EQ(table.RecordCount(), 5);  // an empty age is different from 1 too
}

TEST_F(FilterFixture, EveryOperationSeesOnlyTheMatchingRecords)
{
    table.SetFilter(QStringLiteral("CIDADE <> 'Natal'"));  // ABC ab * O'Brien
    table.SetFiltered(true);
    table.Open();
    EXPECT_EQ(table.RecordCount(), 4);
    table.Last();
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("O'Brien"));
    table.Prior();
    table.Prior();
    table.Prior();
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("ABC"));
    table.Prior();
    EXPECT_TRUE(table.Bof());
    EXPECT_TRUE(table.MoveToPosition(2));
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("ab"));
    EXPECT_EQ(table.Position(), 2);
    EXPECT_FALSE(table.MoveToPosition(5));

    // Searches find visible records only, by index (repeated) or by scan (prefix on a number).
    for (int round = 0; round < 2; ++round) {
        const QString before = table.FieldByName(QStringLiteral("NOME"))->AsString();
        EXPECT_FALSE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("ABD")), 0));
        EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), before);
        EXPECT_TRUE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("ab")),
                                 Table::loCaseInsensitive | Table::loPartialKey));
        EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("ABC"));
    }
    EXPECT_TRUE(table.Locate(QStringLiteral("IDADE"), Value::integer(25), 0));
    EXPECT_EQ(table.Position(), 3);

    table.SetFiltered(false);
    EXPECT_EQ(table.RecordCount(), 5);
    EXPECT_EQ(visibleNames(), QStringLiteral("ABC ABD ab * O'Brien"));
    table.SetFiltered(true);
    EXPECT_EQ(visibleNames(), QStringLiteral("ABC ab * O'Brien"));
}

TEST_F(FilterFixture, WritesKeepTheCountAndTheViewRight)
{
    table.SetFilter(QStringLiteral("NOME = 'A*'"));
    table.SetFiltered(true);
    table.Open();
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(table.Position(), 1);  // builds the positions, which the writes below must follow

    // A walk that edits every visible record out of the view still visits each once.
    QStringList visited;
    for (table.First(); !table.Eof(); table.Next()) {
        visited << table.FieldByName(QStringLiteral("NOME"))->AsString();
        table.Edit();
        table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("x") + visited.back());
        table.Post();
        // The posted record stays current until the cursor leaves it, but no longer counts.
        EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("x") + visited.back());
    }
    EXPECT_EQ(visited.join(QLatin1Char(' ')), QStringLiteral("ABC ABD"));
    EXPECT_EQ(table.RecordCount(), 0);
    table.First();
    EXPECT_TRUE(table.Eof());
    EXPECT_TRUE(table.IsEmpty());

    table.Append();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Ana"));
    table.Post();
    table.Append();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Beto"));  // does not match
    table.Post();
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_EQ(visibleNames(), QStringLiteral("Ana"));
    EXPECT_TRUE(table.MoveToPosition(1));
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Alda"));
    table.Post();
    EXPECT_EQ(table.Position(), 1);
    table.Delete();
    EXPECT_EQ(table.RecordCount(), 0);
    EXPECT_TRUE(table.Eof());
    table.SetFiltered(false);
    EXPECT_EQ(visibleNames(), QStringLiteral("xABC xABD ab * O'Brien Beto"));
}

TEST_F(FilterFixture, DeleteInAFilteredViewMovesToTheNextVisibleRecord)
{
    table.SetFilter(QStringLiteral("ATIVO = Falso OR NOME = 'ABC'"));  // ABC ABD *
    table.SetFiltered(true);
    table.Open();
    ASSERT_TRUE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("ABD")), 0));
    table.Delete();
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("*"));  // not ab
    table.Delete();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("ABC"));
    EXPECT_EQ(table.RecordCount(), 1);
}

TEST_F(FilterFixture, ConditionFollowsTheTableAcrossRebinding)
{
    table.Open();
    table.SetFilter(QStringLiteral("CIDADE = 'Recife'"));
    table.SetFiltered(true);
    table.Close();
    const QString other = dir.path() + QStringLiteral("/sem_cidade.mem");
    MemoryTableFile::store(other, {def("NOME", ftString, 20)})->records = {QList<Value>{Value::text(u("Ana"))}};
    table.Bind(other);
    EXPECT_EQ(errorText([&] { table.Open(); }), QStringLiteral("Table1: Campo CIDADE não encontrado"));
    EXPECT_FALSE(table.Active());
    table.SetFiltered(false);  // compiled at every opening, also with filtering off
    EXPECT_EQ(errorText([&] { table.Open(); }), QStringLiteral("Table1: Campo CIDADE não encontrado"));
    table.Bind(path);
    table.Open();
    EXPECT_EQ(table.RecordCount(), 5);
    table.SetFiltered(true);
    EXPECT_EQ(visibleNames(), QStringLiteral("ABC ab"));
    EXPECT_EQ(table.Filter(), QStringLiteral("CIDADE = 'Recife'"));
}

TEST_F(FilterFixture, FilterAndIndexOrderTogether)
{
    data->indexes = {IndexDef{QStringLiteral("PorIdade"), {QStringLiteral("IDADE")}, {}, ixDescending, {}}};
    table.SetIndexName(QStringLiteral("PorIdade"));
    table.SetFilter(QStringLiteral("IDADE < 45"));
    table.SetFiltered(true);
    table.Open();
    EXPECT_EQ(visibleNames(), QStringLiteral("ABD ABC *"));
    EXPECT_TRUE(table.MoveToPosition(2));
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("ABC"));
    table.Edit();
    table.FieldByName(QStringLiteral("IDADE"))->SetValue(Value::integer(10));
    table.Post();
    EXPECT_EQ(table.Position(), 3);
    EXPECT_EQ(visibleNames(), QStringLiteral("ABD * ABC"));
}

// A dBase table written by shapelib, read through the filter.
TEST(FilterOnDbase, ConditionsOnATableWrittenByShapelib)
{
    if (!quillora::test::haveProgram(QStringLiteral("dbfcreate")))
        GTEST_SKIP() << "shapelib's dbfcreate is not installed";
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/itens.dbf");
    ASSERT_EQ(quillora::test::runProgram(QStringLiteral("dbfcreate"),
                                         {file, QStringLiteral("-s"), QStringLiteral("NOME"), QStringLiteral("12"),
                                          QStringLiteral("-n"), QStringLiteral("PRECO"), QStringLiteral("8"),
                                          QStringLiteral("2")}),
              0);
    for (const auto& [name, price] : {std::pair{"ABACATE", "1.5"}, {"abacaxi", "10"}, {"BANANA", "2.25"},
                                      {"AB", "1.5"}, {"CAQUI", "0"}})
        ASSERT_EQ(quillora::test::runProgram(QStringLiteral("dbfadd"), {file, u(name), u(price)}), 0);

    Table t(QStringLiteral("Table1"));
    t.Bind(file);
    t.SetFiltered(true);
    t.Open();
    const struct {
        const char* condition;
        const char* names;
    } cases[] = {
        {"PRECO IN (1,5, 10)", "ABACATE abacaxi AB"},
        {"NOME = 'AB*' AND PRECO < 2", "ABACATE AB"},
        {"NOME LIKE '%A_A%'", "ABACATE BANANA"},
        {"preco >= 2,25 OR nome = 'CAQUI'", "abacaxi BANANA CAQUI"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        t.SetFilter(u(c.condition));
        QStringList seen;
        for (t.First(); !t.Eof(); t.Next())
            seen << t.FieldByName(QStringLiteral("NOME"))->AsString();
        EXPECT_EQ(seen.join(QLatin1Char(' ')), u(c.names));
        EXPECT_EQ(t.RecordCount(), seen.size());
    }
}
