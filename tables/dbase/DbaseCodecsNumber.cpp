// Numbers: N and F as text, I and + as 4-byte integers, O as 8-byte doubles.

#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/dbase/DbaseCodecKinds.h"
#include "tables/dbase/DbaseIndexKeys.h"
#include "tables/dbase/DbaseNumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quillora::dbase {

namespace {

// Every number kind reads the same in key expressions: a blank field is zero.
class NumberCodec : public DbaseFieldCodec {
public:
    using DbaseFieldCodec::DbaseFieldCodec;

    ExprValue exprValue(const char* p) const override
    {
        double d = 0;
        (p ? decode(p) : Value()).toNumber(&d);
        return ExprValue::numeric(d);
    }
};

class NumericCodec final : public NumberCodec {
public:
    using NumberCodec::NumberCodec;

    // What QByteArray::toDouble() and toLongLong() give for the plain digits numberChars()
    // writes (0 for text that is not a whole integer), without their general parsers.
    static double parsedDouble(const char* text, int len)
    {
        double d = 0;
        const auto r = std::from_chars(text, text + len, d);
        return r.ec == std::errc() && r.ptr == text + len ? d : QByteArray(text, len).toDouble();
    }
    static qint64 parsedInteger(const char* text, int len)
    {
        long long i = 0;
        const auto r = std::from_chars(text, text + len, i);
        return r.ec == std::errc() && r.ptr == text + len ? qint64(i) : 0;
    }

    Value decode(const char* p) const override
    {
        const char* e = p + column_.length;
        if (floating_) {
            double d = 0;
            return parseDouble(p, e, &d) ? Value::floating(d) : Value();
        }
        qint64 i = 0;
        return parseInteger(p, e, &i) ? Value::integer(i) : Value();
    }

    bool appendDisplayUtf8(const char* p, const Regional& regional, std::string& out) const override
    {
        return appendPlainNumberText(p, p + column_.length, floating_, regional.decimalSeparatorUtf8(), out);
    }

    Value normalize(const Value& v) const override
    {
        char text[640];  // the widest double with the most decimals a field can declare
        int len = 0;
        Value result;
        if (v.kind() == Value::Kind::Integer && column_.decimals == 0) {
            len = int(std::to_chars(text, text + sizeof text, v.asInteger()).ptr - text);
            result = floating_ ? Value::floating(double(v.asInteger())) : v;
        } else {
            double d = 0;
            if (!v.toNumber(&d) || v.kind() == Value::Kind::Boolean)
                wrongKind(v);
            len = numberChars(Value::floating(d), column_.decimals, text, int(sizeof text));
            if (len < 0)
                throw Error(QStringLiteral("O valor %1 não é um número que o campo %2 possa guardar")
                                .arg(messageValue(v), label()));
            result = floating_ ? Value::floating(parsedDouble(text, len)) : Value::integer(parsedInteger(text, len));
        }
        if (len > column_.length)
            throw Error(QStringLiteral("O valor %1 não cabe no campo %2: são %3 caracteres para %4")
                            .arg(messageNumber(QString::fromLatin1(text, len)), label())
                            .arg(len)
                            .arg(column_.length));
        return result;
    }

    void encode(const Value& v, char* dst, QByteArray*) const override
    {
        // normalize() has checked that the text fits.
        char buf[256];
        const int len = std::max(0, numberChars(v, column_.decimals, buf, column_.length));
        std::memset(dst, ' ', size_t(column_.length));
        std::memcpy(dst + column_.length - len, buf, size_t(len));
    }

    bool encodeDirect(const Value& v, char* dst) const override
    {
        if (v.kind() != Value::Kind::Integer && v.kind() != Value::Kind::Float)
            return false;
        char buf[256];
        const int len = numberChars(v, column_.decimals, buf, column_.length);
        if (len < 0)
            return false;
        std::memset(dst, ' ', size_t(column_.length - len));
        std::memcpy(dst + column_.length - len, buf, size_t(len));
        return true;
    }

    std::optional<QByteArray> sortKey(const Value& value) const override
    {
        double d = 0;  // a blank number is indexed as zero
        if (!value.isNull())
            value.toNumber(&d);
        QByteArray key;
        appendOrderedDouble(key, d);
        return key;
    }
};

class IntegerCodec final : public BinaryField<NumberCodec, 4> {
public:
    using BinaryField::BinaryField;

    Value decodeSet(const char* p) const override
    {
        return Value::integer(qint32(io::be32(p) ^ 0x80000000u));
    }

    Value normalize(const Value& v) const override
    {
        if (v.kind() != Value::Kind::Integer)
            wrongKind(v);
        // Zero bytes mean "empty", so -2^31 has no form in these fields.
        if (v.asInteger() < -2147483647LL || v.asInteger() > 2147483647LL)
            throw Error(QStringLiteral("O valor %1 não cabe no campo %2 (de -2147483647 a 2147483647)")
                            .arg(v.asInteger())
                            .arg(label()));
        return v;
    }

    void encode(const Value& v, char* dst, QByteArray*) const override
    {
        io::putBe32(dst, quint32(qint32(v.asInteger())) ^ 0x80000000u);
    }
};

class DoubleCodec final : public BinaryField<NumberCodec, 8> {
public:
    using BinaryField::BinaryField;

    Value decodeSet(const char* p) const override
    {
        quint64 u = be64(p);
        u = (u & 0x8000000000000000ull) ? (u ^ 0x8000000000000000ull) : ~u;
        double d;
        std::memcpy(&d, &u, 8);
        return Value::floating(d);
    }

    Value normalize(const Value& v) const override
    {
        double d = 0;
        if (!v.toNumber(&d) || v.kind() == Value::Kind::Boolean)
            wrongKind(v);
        if (!std::isfinite(d))
            throw Error(QStringLiteral("O valor %1 não é um número que o campo %2 possa guardar")
                            .arg(messageValue(v), label()));
        return Value::floating(d);
    }

    void encode(const Value& v, char* dst, QByteArray*) const override
    {
        double d = v.asFloat();
        if (d == 0)
            d = 0;  // no negative zero: it would sort below every positive value
        quint64 u;
        std::memcpy(&u, &d, 8);
        u = (u & 0x8000000000000000ull) ? ~u : (u | 0x8000000000000000ull);
        putBe64(dst, u);
    }
};

}  // namespace

CodecPtr makeNumberCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def)
{
    switch (column.type) {
    case 'N': case 'F': return std::make_unique<NumericCodec>(rules, column, def);
    case 'I': case '+': return std::make_unique<IntegerCodec>(rules, column, def);
    default: return std::make_unique<DoubleCodec>(rules, column, def);
    }
}

}  // namespace quillora::dbase
