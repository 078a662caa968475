// Key expressions of dBase index tags, evaluated as dBase evaluates them.
#include "tables/dbase/DbaseExpression.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace quillora;
using namespace quillora::dbase;
using Type = ExprValue::Type;

namespace {

// NOME C(10), VALOR N, NASC D, ATIVO L; values as a record presents them (text padded).
struct Record : ExprRecord {
    QString nome = QStringLiteral("Ana Maria ");
    double valor = 12.5;
    QDate nasc = QDate(1987, 3, 1);
    bool ativo = true;
    bool apagado = false;
    ExprValue field(int index) const override
    {
        switch (index) {
        case 0: return ExprValue::character(nome);
        case 1: return ExprValue::numeric(valor);
        case 2: return ExprValue::fromDate(nasc);
        default: return ExprValue::boolean(ativo);
        }
    }
    bool deleted() const override { return apagado; }
    qint64 recordNumber() const override { return 7; }
};

DbaseExpression parse(const char* text)
{
    return DbaseExpression::parse(QString::fromUtf8(text),
                                  {QStringLiteral("NOME"), QStringLiteral("VALOR"), QStringLiteral("NASC"),
                                   QStringLiteral("ATIVO")},
                                  {Type::Character, Type::Numeric, Type::Date, Type::Logical});
}

QString text(const char* expression, const Record& r = Record())
{
    const ExprValue v = parse(expression).evaluate(r);
    EXPECT_EQ(v.type, Type::Character) << expression;
    return v.text;
}

}  // namespace

TEST(DbaseExpression, CharacterKeysOfTheFunctionsTagsUse)
{
    struct Case {
        const char* expression;
        const char* result;
    };
    const Case cases[] = {
        {"nome", "Ana Maria "},
        {"UPPER(NOME)", "ANA MARIA "},
        {"lower(nome)", "ana maria "},
        {"NOME+DTOS(NASC)", "Ana Maria 19870301"},
        {"NOME-DTOS(NASC)", "Ana Maria19870301 "},
        {"STR(VALOR,10,2)", "     12.50"},
        {"STR(VALOR)", "        13"},
        {"STR(-2.5,4)", "  -3"},
        {"STR(123456,3)", "***"},
        {"SUBSTR(NOME,5,3)", "Mar"},
        {"SUBSTR(NOME,5)", "Maria "},
        {"LEFT(NOME,3)+RIGHT(NOME,2)", "Anaa "},
        {"TRIM(NOME)+'|'", "Ana Maria|"},
        {"ALLTRIM('  x  ')", "x"},
        {"IIF(ATIVO, 'S', 'N')+IIF(VALOR > 100, \"alto\", [baixo])", "Sbaixo"},
        {"IIF(DELETED(), 'A', 'V')", "V"},
        {"DTOC(NASC)", "03/01/87"},
        {"IIF(.NOT. ATIVO .OR. VALOR = 12.5, 'x', 'y')", "x"},
        {"IIF(NOME = 'Ana', '1', '2')", "1"},  // compares up to the right side's length
        {"IIF(NOME == 'Ana', '1', '2')", "2"},
        {"IIF('Maria' $ NOME, '1', '2')", "1"},
        {"A->NOME", "Ana Maria "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(text(c.expression), QString::fromUtf8(c.result)) << c.expression;
}

TEST(DbaseExpression, BlankDatesAndOtherResultTypes)
{
    Record r;
    r.nasc = QDate();
    EXPECT_EQ(text("DTOS(NASC)", r), QStringLiteral("        "));
    EXPECT_EQ(parse("VALOR * 2 - 1").evaluate(r).number, 24);
    EXPECT_EQ(parse("NASC + 1").type(), Type::Date);
    EXPECT_EQ(parse("CTOD('12/31/1999') + 1").evaluate(r).date, QDate(2000, 1, 1));
    EXPECT_TRUE(parse("VALOR").isSingleField());
    EXPECT_FALSE(parse("UPPER(NOME)").isSingleField());
    EXPECT_EQ(parse("NOME+DTOS(NASC)").fields(), (std::vector<int>{0, 2}));
}

TEST(DbaseExpression, WhatIsNotUnderstoodIsSaidClearly)
{
    for (const char* bad : {"CIDADE", "SOUNDEX(NOME)", "NOME + VALOR", "UPPER(VALOR)", "STR(VALOR", "NOME @ 2",
                            "IIF(ATIVO, 'a', 1)", "'sem fim"}) {
        const QString message = quillora::test::errorText([&] { parse(bad); });
        EXPECT_TRUE(message.startsWith(QStringLiteral("Expressão de índice não suportada: ")))
            << bad << ": " << message.toStdString();
    }
}
