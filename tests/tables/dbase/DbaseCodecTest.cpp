// The field codecs on their own: the bytes of a field in, the value out, and the value written
// back; values refused or cut on the way in.
#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/Regional.h"
#include "tables/dbase/DbaseCodec.h"
#include "tables/dbase/DbaseMemo.h"
#include "tables/dbase/DbaseNumberText.h"
#include "tests/support/TestSupport.h"
#include "tests/tables/dbase/DbaseTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

using namespace quillora;
using namespace quillora::dbase;
using namespace quillora::test;

namespace {

// A table's shared rules without a table: code page 850, byte order, no memo file.
class Codecs : public ::testing::Test {
protected:
    Codecs()
    {
        head_.codePage = CodePage::byName(QStringLiteral("IBM850"));
        head_.collation = Collation::byteOrder();
        rules_ = std::make_unique<DbaseTextRules>(QStringLiteral("/dados/t.dbf"), head_, memo_);
        rules_->prepareWriting();
    }

    std::unique_ptr<DbaseFieldCodec> codec(char type, int length, int decimals = 0, FieldType kind = ftString)
    {
        DbaseColumn column;
        column.type = type;
        column.length = length;
        column.decimals = decimals;
        return makeDbaseCodec(*rules_, column, fieldDef("CAMPO", kind, length, decimals));
    }

    DbaseHeader head_;
    DbaseMemo memo_;
    std::unique_ptr<DbaseTextRules> rules_;
};

struct RoundTrip {
    char type;
    int length;
    int decimals;
    FieldType kind;
    QByteArray bytes;    // the field as a file holds it
    const char* shown;   // the value read, as show() gives it
    QByteArray written;  // the value written back (empty: the same bytes)
};

TEST_F(Codecs, ReadTheFieldBytesAndWriteTheValueBack)
{
    const QByteArray zero8(8, '\0');
    const RoundTrip cases[] = {
        {'C', 6, 0, ftString, "ab\x87   ", "s:ab\u00e7", {}},
        {'C', 4, 0, ftString, QByteArray("  x\0", 4), "s:  x", "  x "},
        {'C', 3, 0, ftString, "   ", "null", {}},
        {'N', 5, 0, ftInteger, "  -12", "n:-12", {}},
        {'N', 5, 0, ftInteger, "+0012", "n:12", "   12"},
        {'N', 5, 0, ftInteger, "*****", "null", "     "},
        {'N', 8, 2, ftFloat, "   3.14 ", "n:3.1400000000000001", "    3.14"},
        {'N', 8, 2, ftFloat, "  -0,50 ", "n:-0.5", "   -0.50"},
        {'F', 6, 0, ftFloat, "  2.5 ", "n:2.5", "     3"},
        {'D', 8, 0, ftDate, "20240229", "d:2024-02-29", {}},
        {'D', 8, 0, ftDate, "        ", "null", {}},
        {'L', 1, 0, ftBoolean, "y", "b:true", "T"},
        {'L', 1, 0, ftBoolean, "n", "b:false", "F"},
        {'L', 1, 0, ftBoolean, "?", "null", " "},
        {'I', 4, 0, ftInteger, QByteArray::fromHex("80000001"), "n:1", {}},
        {'I', 4, 0, ftInteger, QByteArray::fromHex("7fffffff"), "n:-1", {}},
        {'I', 4, 0, ftInteger, QByteArray(4, '\0'), "null", {}},
        {'O', 8, 0, ftFloat, QByteArray::fromHex("bff0000000000000"), "n:1", {}},
        {'O', 8, 0, ftFloat, QByteArray::fromHex("400fffffffffffff"), "n:-1", {}},
        {'O', 8, 0, ftFloat, QByteArray::fromHex("8000000000000000"), "n:0", {}},
        {'O', 8, 0, ftFloat, zero8, "null", {}},
        {'@', 8, 0, ftDateTime, QByteArray::fromHex("42cd07f0af590000"), "t:2024-01-02T12:00:00.000", {}},
        {'@', 8, 0, ftDateTime, zero8, "null", {}},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(std::string(1, c.type) + " [" + c.bytes.toHex().toStdString() + "]");
        const auto field = codec(c.type, c.length, c.decimals, c.kind);
        ASSERT_EQ(c.bytes.size(), c.length);
        const Value v = field->decode(c.bytes.constData());
        EXPECT_EQ(show(v).toStdString(), c.shown);
        QByteArray out(c.length, '?');
        if (v.isNull())
            out.fill(field->blankByte());
        else
            field->encode(field->normalize(v), out.data(), nullptr);
        EXPECT_EQ(out.toHex().toStdString(), (c.written.isEmpty() ? c.bytes : c.written).toHex().toStdString());
    }
}

TEST_F(Codecs, ValuesAreCutOrConvertedToWhatTheFieldHolds)
{
    EXPECT_EQ(show(codec('C', 3)->normalize(Value::text(QStringLiteral("abcdef")))), QStringLiteral("s:abc"));
    EXPECT_EQ(show(codec('N', 6, 0, ftFloat)->normalize(Value::integer(42))), QStringLiteral("n:42"));
    EXPECT_EQ(codec('N', 6, 0, ftFloat)->normalize(Value::integer(42)).kind(), Value::Kind::Float);
    EXPECT_EQ(show(codec('N', 6, 1, ftFloat)->normalize(Value::floating(2.25))), QStringLiteral("n:2.2999999999999998"));
    EXPECT_EQ(show(codec('D', 8, 0, ftDate)->normalize(Value::dateTime(QDateTime(QDate(2020, 5, 6), QTime(13, 0))))),
              QStringLiteral("d:2020-05-06"));
    EXPECT_EQ(show(codec('@', 8, 0, ftDateTime)->normalize(Value::date(QDate(2020, 5, 6)))),
              QStringLiteral("t:2020-05-06T00:00:00.000"));
}

// The text of d with `decimals` places, rounded half away from zero on d's exact decimal
// expansion (which glibc's printf writes; 120 places hold all of it above 1e-20, and smaller
// numbers round to zero), "-0.00" written as "0.00".
std::string exactlyRounded(double d, int decimals)
{
    std::string full(512, '\0');
    full.resize(size_t(std::snprintf(full.data(), full.size(), "%.120f", std::fabs(d))));
    const size_t point = full.find('.');
    std::string kept = full.substr(0, point + 1 + size_t(decimals));
    if (full[point + 1 + size_t(decimals)] >= '5') {
        int i = int(kept.size()) - 1;
        for (; i >= 0; --i) {
            if (kept[size_t(i)] == '.')
                continue;
            if (kept[size_t(i)] != '9') {
                ++kept[size_t(i)];
                break;
            }
            kept[size_t(i)] = '0';
        }
        if (i < 0)
            kept.insert(kept.begin(), '1');
    }
    if (decimals == 0)
        kept.pop_back();  // the point
    const bool zero = kept.find_first_not_of("0.") == std::string::npos;
    return (std::signbit(d) && !zero ? "-" : "") + kept;
}

TEST_F(Codecs, NumbersAreWrittenWithTheirExactDecimalRounding)
{
    std::vector<double> values = {0.125, 1.005, 2.675, -2.5, 0.5, 1.5, 9.995, -0.004, 0.49999999999999994,
                                  4503599627370495.5, 1e15 + 0.3, 123456.785, 0.045, 1e-7, -0.0, 99.5};
    std::mt19937_64 random(20261211);
    for (int i = 0; i < 4000; ++i) {
        const double magnitude = std::pow(10.0, double(int(random() % 22)) - 6);
        const double d = std::uniform_real_distribution<double>(-1.0, 1.0)(random) * magnitude;
        values.push_back(d);
        // Numbers right beside a half of the last place kept, where one multiplication could
        // round the other way.
        const int places = int(random() % 8);
        const double half = (std::floor(std::fabs(d) * std::pow(10.0, places)) + 0.5) / std::pow(10.0, places);
        values.push_back(std::nextafter(half, 0.0));
        values.push_back(half);
        values.push_back(std::nextafter(half, 1e300));
    }
    char buf[640];
    for (const double d : values) {
        for (int decimals = 0; decimals <= 15; ++decimals) {
            const int len = numberChars(Value::floating(d), decimals, buf, int(sizeof buf));
            ASSERT_GE(len, 0) << d;
            ASSERT_EQ(std::string(buf, size_t(len)), exactlyRounded(d, decimals))
                << "value " << std::hexfloat << d << ", " << decimals << " decimals";
        }
    }
}

TEST_F(Codecs, ValuesAFieldCannotHoldAreRefusedWithTheReason)
{
    EXPECT_EQ(errorText([&] { codec('I', 4, 0, ftInteger)->normalize(Value::integer(2147483648LL)); }),
              QStringLiteral("O valor 2147483648 não cabe no campo CAMPO (I 4) (de -2147483647 a 2147483647)"));
    EXPECT_EQ(errorText([&] { codec('C', 5)->normalize(Value::text(QStringLiteral("\u4e2d"))); }),
              QStringLiteral("O caractere '\u4e2d' (U+4e2d) do campo CAMPO não existe na página de código IBM850 da "
                             "tabela /dados/t.dbf"));
    EXPECT_THROW(codec('L', 1, 0, ftBoolean)->normalize(Value::text(QStringLiteral("T"))), Error);
    EXPECT_THROW(codec('N', 3, 0, ftInteger)->normalize(Value::integer(1000)), Error);
    EXPECT_THROW(codec('D', 8, 0, ftDate)->normalize(Value::date(QDate(10000, 1, 1))), Error);
}

struct Shown {
    char type;
    int length;
    int decimals;
    FieldType kind;
    QByteArray bytes;
    const char* ptBR;  // what a user sees, in Brazilian Portuguese and in American English
    const char* enUS;
};

// Dumps write the text of a field straight from its bytes where they can; what they write must be
// the text of the value read, in every notation.
TEST_F(Codecs, TextShownStraightFromTheBytesIsTheTextOfTheValue)
{
    const Shown cases[] = {
        {'C', 6, 0, ftString, "ab\x87 ,\"", "ab\u00e7 ,\"", "ab\u00e7 ,\""},
        {'C', 4, 0, ftString, QByteArray("x  \0", 4), "x", "x"},
        {'C', 3, 0, ftString, "   ", "", ""},
        {'N', 12, 2, ftFloat, "    -5000.00", "-5000", "-5000"},
        {'N', 12, 2, ftFloat, "    -4998.75", "-4998,75", "-4998.75"},
        {'N', 8, 2, ftFloat, "   -0.00", "0", "0"},
        {'N', 8, 2, ftFloat, "    0.05", "0,05", "0.05"},
        {'N', 8, 2, ftFloat, "     .50", "0,5", "0.5"},
        {'N', 8, 2, ftFloat, "   +1.50", "1,5", "1.5"},
        {'N', 8, 2, ftFloat, "    1,50", "1,5", "1.5"},
        {'N', 8, 2, ftFloat, QByteArray("  1.5\0\0\0", 8), "1,5", "1.5"},
        {'N', 8, 2, ftFloat, "********", "", ""},
        {'N', 8, 2, ftFloat, "        ", "", ""},
        {'N', 10, 6, ftFloat, "  0.000012", "0,000012", "0.000012"},
        {'N', 10, 7, ftFloat, " 0.0000012", "1,2E-6", "1.2E-6"},
        {'F', 20, 2, ftFloat, "  999999999999999.00", "999999999999999", "999999999999999"},
        {'F', 20, 2, ftFloat, " 1000000000000000.00", "1E15", "1E15"},
        {'F', 20, 2, ftFloat, "   12345678901234.56", "12345678901234,6", "12345678901234.6"},
        {'F', 20, 2, ftFloat, "       1234567890.12", "1234567890,12", "1234567890.12"},
        {'N', 5, 0, ftInteger, "  -12", "-12", "-12"},
        {'N', 5, 0, ftInteger, "00012", "12", "12"},
        {'N', 5, 0, ftInteger, "   -0", "0", "0"},
        {'N', 5, 0, ftInteger, "+0012", "12", "12"},
        {'N', 5, 0, ftInteger, "*****", "", ""},
        {'N', 20, 0, ftLargeint, "  123456789012345678", "123456789012345678", "123456789012345678"},
        {'D', 8, 0, ftDate, "20240229", "29/02/2024", "2/29/2024"},
        {'D', 8, 0, ftDate, "00010101", "01/01/0001", "1/1/0001"},
        {'D', 8, 0, ftDate, "20230229", "", ""},
        {'D', 8, 0, ftDate, "00000000", "", ""},
        {'D', 8, 0, ftDate, "        ", "", ""},
        {'D', 8, 0, ftDate, "2024 1 1", "", ""},
        {'L', 1, 0, ftBoolean, "t", "Verdadeiro", "True"},
        {'L', 1, 0, ftBoolean, "Y", "Verdadeiro", "True"},
        {'L', 1, 0, ftBoolean, "n", "Falso", "False"},
        {'L', 1, 0, ftBoolean, "?", "", ""},
    };
    for (const char* locale : {"pt_BR", "en_US"}) {
        Regional::setCurrent(QLocale(QString::fromLatin1(locale)));
        const Regional& regional = Regional::current();
        for (const Shown& c : cases) {
            SCOPED_TRACE(std::string(locale) + " " + std::string(1, c.type) + " [" + c.bytes.toStdString() + "]");
            ASSERT_EQ(c.bytes.size(), c.length);
            const auto field = codec(c.type, c.length, c.decimals, c.kind);
            std::string viaValue;
            appendDisplayUtf8(fieldDef("CAMPO", c.kind, c.length, c.decimals), field->decode(c.bytes.constData()),
                              viaValue);
            EXPECT_EQ(viaValue, std::string(locale[0] == 'p' ? c.ptBR : c.enUS));
            std::string direct = "|";
            if (field->appendDisplayUtf8(c.bytes.constData(), regional, direct))
                EXPECT_EQ(direct, "|" + viaValue);
            else
                EXPECT_EQ(direct, "|");
        }
    }
    Regional::setCurrent(QLocale(QStringLiteral("pt_BR")));
}

TEST_F(Codecs, MemoPointersAreBlockNumbers)
{
    const auto memo = codec('M', 10, 0, ftMemo);
    EXPECT_TRUE(memo->decode("          ").isNull());
    EXPECT_THROW(memo->decode("     12abc"), FileError);
    QByteArray field(10, '?');
    memo->putMemoBlock(field.data(), 42);
    EXPECT_EQ(field, QByteArray("        42"));
    const auto binary = codec('B', 4, 0, ftBlob);
    QByteArray packed(4, '?');
    binary->putMemoBlock(packed.data(), 0x0102);
    EXPECT_EQ(packed.toHex(), QByteArray("02010000"));
    EXPECT_TRUE(binary->decode(QByteArray(4, '\0').constData()).isNull());
}

}  // namespace
