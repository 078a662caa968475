#include "tables/Error.h"
#include "tables/Regional.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

#include <cmath>

using namespace quillora;

namespace {
const Regional& br() { return Regional::current(); }  // the test main sets pt_BR
}

TEST(Regional, BrazilianSettings)
{
    EXPECT_EQ(br().decimalSeparator(), QLatin1Char(','));
    EXPECT_EQ(br().shortDateFormat(), QStringLiteral("dd/MM/yyyy"));
    EXPECT_EQ(br().formatBoolean(true), QStringLiteral("Verdadeiro"));
    EXPECT_EQ(br().formatBoolean(false), QStringLiteral("Falso"));
}

TEST(Regional, WholeNumbers)
{
    struct Case { const char* text; bool ok; qint32 value; };
    const Case cases[] = {
        {"42", true, 42},          {"  -17", true, -17},       {"+8", true, 8},
        {"$1F", true, 31},         {"x10", true, 16},          {"0X10", true, 16},
        {"0x7FFFFFFF", true, 2147483647}, {"$FFFFFFFF", true, -1},
        {"2147483647", true, 2147483647}, {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},  {"12a", false, 0},          {"42 ", false, 0},
        {"", false, 0},            {"1,5", false, 0},          {"-", false, 0},
        {"$", false, 0},           {"0x", false, 0},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        if (c.ok) {
            EXPECT_EQ(br().parseInteger(text), c.value) << c.text;
        } else {
            try {
                br().parseInteger(text);
                ADD_FAILURE() << "accepted " << c.text;
            } catch (const ConvertError& e) {
                EXPECT_EQ(e.text(), QStringLiteral("'%1' is not a valid integer value").arg(text));
            }
        }
    }
}

TEST(Regional, DecimalNumbers)
{
    struct Case { const char* text; bool ok; double value; };
    const Case cases[] = {
        {"3,7", true, 3.7},   {" -0,5 ", true, -0.5}, {"1e3", true, 1000},   {"2,5E-2", true, 0.025},
        {",5", true, 0.5},    {"7,", true, 7},        {"1.5", false, 0},     {"1.000,5", false, 0},
        {"1,2,3", false, 0},  {"abc", false, 0},      {"", false, 0},        {"1e", false, 0},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        if (c.ok) {
            EXPECT_DOUBLE_EQ(br().parseFloat(text), c.value) << c.text;
        } else {
            try {
                br().parseFloat(text);
                ADD_FAILURE() << "accepted " << c.text;
            } catch (const ConvertError& e) {
                EXPECT_EQ(e.text(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
            }
        }
    }
    EXPECT_EQ(br().parseCurrency(QStringLiteral("1,23456")).scaled, 12346);
}

TEST(Regional, Dates)
{
    EXPECT_EQ(br().parseDate(QStringLiteral("31/12/2024")), QDate(2024, 12, 31));
    EXPECT_EQ(br().parseDate(QStringLiteral("1/2/2003")), QDate(2003, 2, 1));
    EXPECT_EQ(br().parseDate(QStringLiteral("05/06/24")).year() % 100, 24);
    for (const char* bad : {"31/02/2024", "2024-12-31", "abc", "", "12/13/2020", "1/2/3/4"}) {
        try {
            br().parseDate(QString::fromUtf8(bad));
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("'%1' is not a valid date").arg(QString::fromUtf8(bad)));
        }
    }
    EXPECT_EQ(br().formatDate(QDate(2024, 1, 5)), QStringLiteral("05/01/2024"));
    EXPECT_EQ(br().formatDateTime(QDateTime(QDate(2020, 2, 20), QTime(20, 20, 20))),
              QStringLiteral("20/02/2020 20:20:20"));
    EXPECT_EQ(br().formatDateTime(QDateTime(QDate(2020, 2, 20), QTime(0, 0))), QStringLiteral("20/02/2020"));
}

TEST(Regional, GeneralNotation)
{
    struct Case { double value; const char* text; };
    const Case cases[] = {
        {0, "0"},           {12.5, "12,5"},        {-3, "-3"},              {0.1, "0,1"},
        {1.0 / 3, "0,333333333333333"},            {123456789012345.0, "123456789012345"},
        {1e15, "1E15"},     {1.5e20, "1,5E20"},    {0.00001, "0,00001"}, {0.000001, "1E-6"},       {0.0001, "0,0001"},
        {-199.99, "-199,99"}, {2.5e-7, "2,5E-7"},  {100, "100"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(br().formatFloat(c.value), QString::fromUtf8(c.text)) << c.value;
    EXPECT_EQ(br().formatFixed(Fixed{-12500}), QStringLiteral("-1,25"));
    EXPECT_EQ(br().formatFixed(Fixed{30000}), QStringLiteral("3"));
}

TEST(Regional, OtherLocaleUsesItsSeparators)
{
    const Regional us(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.formatFloat(12.5), QStringLiteral("12.5"));
    EXPECT_EQ(us.parseDate(QStringLiteral("12/31/2024")), QDate(2024, 12, 31));
    EXPECT_EQ(us.formatBoolean(true), QStringLiteral("True"));
}
