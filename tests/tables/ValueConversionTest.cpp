#include "tables/Error.h"
#include "tables/FieldConvert.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using quillora::test::errorText;

namespace {
FieldDef def(FieldType type, int size = 0) { return FieldDef{QStringLiteral("CAMPO"), type, size}; }

}  // namespace

TEST(FieldConvert, TypedTextReadForEachKind)
{
    EXPECT_EQ(parseForField(def(ftInteger), QStringLiteral("42")), Value::integer(42));
    EXPECT_EQ(parseForField(def(ftFloat), QStringLiteral("3,7")), Value::floating(3.7));
    EXPECT_EQ(parseForField(def(ftCurrency), QStringLiteral("3,7")), Value::floating(3.7));
    EXPECT_EQ(parseForField(def(ftBCD), QStringLiteral("1,5")), Value::fixed(Fixed{15000}));
    EXPECT_EQ(parseForField(def(ftDate), QStringLiteral("31/12/2024")), Value::date(QDate(2024, 12, 31)));
    EXPECT_EQ(parseForField(def(ftBoolean), QStringLiteral("Verdadeiro")), Value::boolean(true));
    EXPECT_TRUE(parseForField(def(ftInteger), QString()).isNull());
    EXPECT_TRUE(parseForField(def(ftString, 10), QString()).isNull());
}

TEST(FieldConvert, TypedTextErrors)
{
    EXPECT_EQ(errorText([] { parseForField(def(ftInteger), QStringLiteral("12a")); }),
              QStringLiteral("'12a' não é um inteiro válido para o campo 'CAMPO'"));
    EXPECT_EQ(errorText([] { parseForField(def(ftSmallint), QStringLiteral("1,5")); }),
              QStringLiteral("'1,5' não é um inteiro válido para o campo 'CAMPO'"));
    EXPECT_EQ(errorText([] { parseForField(def(ftFloat), QStringLiteral("1.5")); }),
              QStringLiteral("'1.5' is not a valid floating point value"));
    EXPECT_EQ(errorText([] { parseForField(def(ftDate), QStringLiteral("32/01/2024")); }),
              QStringLiteral("'32/01/2024' is not a valid date"));
    EXPECT_EQ(errorText([] { parseForField(def(ftSmallint), QStringLiteral("40000")); }),
              QStringLiteral("40000 não é um valor válido para o campo 'CAMPO'. O intervalo permitido é de -32768 até 32767"));
}

TEST(FieldConvert, AssignedValuesTakeTheFieldsKind)
{
    EXPECT_EQ(convertForField(def(ftString, 5), Value::floating(2.5)), Value::text(QStringLiteral("2,5")));
    EXPECT_EQ(convertForField(def(ftString, 5), Value::date(QDate(2024, 1, 2))), Value::text(QStringLiteral("02/01/2024")));
    EXPECT_EQ(convertForField(def(ftInteger), Value::text(QStringLiteral("0042"))), Value::integer(42));
    EXPECT_EQ(convertForField(def(ftInteger), Value::floating(2.5)), Value::integer(2));  // to even, as variants do
    EXPECT_EQ(convertForField(def(ftFloat), Value::integer(7)), Value::floating(7));
    EXPECT_EQ(convertForField(def(ftFloat), Value::boolean(true)), Value::floating(-1));
    EXPECT_EQ(convertForField(def(ftDate), Value::text(QStringLiteral("01/02/2003"))), Value::date(QDate(2003, 2, 1)));
    EXPECT_EQ(convertForField(def(ftDateTime), Value::date(QDate(2003, 2, 1))),
              Value::dateTime(QDateTime(QDate(2003, 2, 1), QTime(0, 0))));
    EXPECT_EQ(convertForField(def(ftBoolean), Value::integer(0)), Value::boolean(false));
    EXPECT_TRUE(convertForField(def(ftInteger), Value()).isNull());
    for (const Value& bad : {Value::text(QStringLiteral("abc")), Value::date(QDate(2024, 1, 1))}) {
        EXPECT_EQ(errorText([&] { convertForField(def(ftInteger), bad); }),
                  QStringLiteral("Valor inválido para o campo 'CAMPO'"));
    }
    EXPECT_EQ(errorText([] { convertForField(def(ftDate), Value::text(QStringLiteral("ontem"))); }),
              QStringLiteral("Valor inválido para o campo 'CAMPO'"));
}

TEST(FieldConvert, DisplayText)
{
    EXPECT_EQ(displayText(def(ftFloat), Value::floating(1234.5)), QStringLiteral("1234,5"));
    EXPECT_EQ(displayText(def(ftBoolean), Value::boolean(false)), QStringLiteral("Falso"));
    EXPECT_EQ(displayText(def(ftDate), Value::date(QDate(1999, 9, 9))), QStringLiteral("09/09/1999"));
    EXPECT_EQ(displayText(def(ftInteger), Value()), QString());
}
