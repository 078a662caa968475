#include "tables/FieldConvert.h"

#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Utf8.h"

#include <charconv>

#include <cmath>
#include <limits>

namespace quillora {

namespace {

struct Range {
    qint64 min, max;
};

Range integerRange(FieldType type)
{
    switch (type) {
    case ftSmallint: return {-32768, 32767};
    case ftWord: return {0, 65535};
    case ftInteger: case ftAutoInc:
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    default:
        return {std::numeric_limits<qint64>::min() + 1, std::numeric_limits<qint64>::max()};
    }
}

Error invalidValue(const FieldDef& field)
{
    return Error(QStringLiteral("Valor inválido para o campo '%1'").arg(field.name));
}

Value checkedInteger(const FieldDef& field, qint64 v)
{
    const Range r = integerRange(field.type);
    if (v < r.min || v > r.max)
        throw Error(QStringLiteral("%1 não é um valor válido para o campo '%2'. O intervalo permitido é de %3 até %4")
                        .arg(v).arg(field.name).arg(r.min).arg(r.max));
    return Value::integer(v);
}

// Days since 30/12/1899, the old engine's date serial, for numbers assigned to date fields.
QDateTime fromSerial(double serial)
{
    const QDate base(1899, 12, 30);
    const double days = std::floor(serial);
    const qint64 msec = std::llround((serial - days) * 86400000.0);
    return QDateTime(base.addDays(qint64(days)), QTime(0, 0)).addMSecs(msec);
}

QString textOf(const Value& v)
{
    const Regional& r = Regional::current();
    switch (v.kind()) {
    case Value::Kind::Null: return {};
    case Value::Kind::Text: return v.asText();
    case Value::Kind::Integer: return QString::number(v.asInteger());
    case Value::Kind::Float: return r.formatFloat(v.asFloat());
    case Value::Kind::Fixed: return r.formatFixed(v.asFixed());
    case Value::Kind::Date: return r.formatDate(v.asDate());
    case Value::Kind::Time: return r.formatTime(v.asTime());
    case Value::Kind::DateTime: return r.formatDateTime(v.asDateTime());
    case Value::Kind::Boolean: return r.formatBoolean(v.asBoolean());
    case Value::Kind::Bytes: return QString::fromLatin1(v.asBytes());
    }
    return {};
}

}  // namespace

Value convertForField(const FieldDef& field, const Value& value)
{
    if (value.isNull())
        return value;
    const Regional& regional = Regional::current();
    const Value::Kind kind = value.kind();
    double number = 0;
    const bool numeric = value.toNumber(&number);

    switch (field.type) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
        return Value::text(textOf(value));

    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        if (kind == Value::Kind::Integer)
            return checkedInteger(field, value.asInteger());
        if (kind == Value::Kind::Text) {
            qint64 i = 0;
            if (regional.tryParseInteger(value.asText(), &i, std::numeric_limits<qint64>::min() + 1,
                                         std::numeric_limits<qint64>::max()))
                return checkedInteger(field, i);
            double d = 0;
            if (regional.tryParseFloat(value.asText(), &d) && std::fabs(d) < 9.2e18)
                return checkedInteger(field, qint64(std::nearbyint(d)));
            throw invalidValue(field);
        }
        if (numeric && std::isfinite(number) && std::fabs(number) < 9.2e18)
            return checkedInteger(field, qint64(std::nearbyint(number)));
        throw invalidValue(field);

    case ftFloat:
    case ftCurrency:
        if (numeric)
            return Value::floating(number);
        if (kind == Value::Kind::Text) {
            double d = 0;
            if (regional.tryParseFloat(value.asText(), &d))
                return Value::floating(d);
        }
        throw invalidValue(field);

    case ftBCD:
        if (kind == Value::Kind::Fixed)
            return value;
        if (kind == Value::Kind::Integer && std::llabs(value.asInteger()) < 900000000000000LL)
            return Value::fixed(Fixed{value.asInteger() * 10000});
        if (kind == Value::Kind::Text) {
            double d = 0;
            if (regional.tryParseFloat(value.asText(), &d))
                number = d;
            else
                throw invalidValue(field);
        } else if (!numeric) {
            throw invalidValue(field);
        }
        if (!std::isfinite(number) || std::fabs(number) >= 9.2e14)
            throw invalidValue(field);
        return Value::fixed(Fixed::fromDouble(number));

    case ftDate:
        switch (kind) {
        case Value::Kind::Date: return value;
        case Value::Kind::DateTime: return Value::date(value.asDateTime().date());
        case Value::Kind::Text:
            try {
                return Value::date(regional.parseDate(value.asText()));
            } catch (const ConvertError&) {
                throw invalidValue(field);
            }
        case Value::Kind::Integer: case Value::Kind::Float: case Value::Kind::Fixed:
            return Value::date(fromSerial(number).date());
        default: throw invalidValue(field);
        }

    case ftTime:
        switch (kind) {
        case Value::Kind::Time: return value;
        case Value::Kind::DateTime: return Value::time(value.asDateTime().time());
        case Value::Kind::Text:
            try {
                return Value::time(regional.parseTime(value.asText()));
            } catch (const ConvertError&) {
                throw invalidValue(field);
            }
        case Value::Kind::Float: case Value::Kind::Fixed:
            return Value::time(fromSerial(number).time());
        default: throw invalidValue(field);
        }

    case ftDateTime:
        switch (kind) {
        case Value::Kind::DateTime: return value;
        case Value::Kind::Date: return Value::dateTime(QDateTime(value.asDate(), QTime(0, 0)));
        case Value::Kind::Text:
            try {
                return Value::dateTime(regional.parseDateTime(value.asText()));
            } catch (const ConvertError&) {
                throw invalidValue(field);
            }
        case Value::Kind::Integer: case Value::Kind::Float: case Value::Kind::Fixed:
            return Value::dateTime(fromSerial(number));
        default: throw invalidValue(field);
        }

    case ftBoolean:
        if (kind == Value::Kind::Boolean)
            return value;
        if (numeric)
            return Value::boolean(number != 0);
        if (kind == Value::Kind::Text) {
            bool ok = false;
            const bool b = regional.parseBoolean(value.asText(), &ok);
            if (ok)
                return Value::boolean(b);
        }
        throw invalidValue(field);

    default:
        if (isBinaryType(field.type)) {
            if (kind == Value::Kind::Bytes)
                return value;
            if (kind == Value::Kind::Text)
                return Value::bytes(value.asText().toLatin1());
        }
        throw invalidValue(field);
    }
}

Value parseForField(const FieldDef& field, const QString& text)
{
    if (text.isEmpty())
        return Value();
    const Regional& regional = Regional::current();
    switch (field.type) {
    case ftString: case ftMemo: case ftFmtMemo:
        return Value::text(text);
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: {
        qint64 v = 0;
        if (!regional.tryParseInteger(text, &v, std::numeric_limits<qint64>::min() + 1,
                                      std::numeric_limits<qint64>::max()))
            throw Error(QStringLiteral("'%1' não é um inteiro válido para o campo '%2'").arg(text, field.name));
        return checkedInteger(field, v);
    }
    case ftFloat: case ftCurrency:
        return Value::floating(regional.parseFloat(text));
    case ftBCD:
        return Value::fixed(regional.parseCurrency(text));
    case ftDate:
        return Value::date(regional.parseDate(text));
    case ftTime:
        return Value::time(regional.parseTime(text));
    case ftDateTime:
        return Value::dateTime(regional.parseDateTime(text));
    case ftBoolean: {
        bool ok = false;
        const bool b = regional.parseBoolean(text, &ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' não é um valor lógico válido para o campo '%2'").arg(text, field.name));
        return Value::boolean(b);
    }
    default:
        if (isBinaryType(field.type))
            return Value::bytes(text.toLatin1());
        throw invalidValue(field);
    }
}

void appendDisplayUtf8(const FieldDef& field, const Value& value, std::string& out)
{
    const Regional& r = Regional::current();
    char16_t buffer[96];
    switch (value.kind()) {
    case Value::Kind::Null:
        return;
    case Value::Kind::Integer: {
        char digits[24];
        const auto res = std::to_chars(digits, digits + sizeof digits, value.asInteger());
        out.append(digits, size_t(res.ptr - digits));
        return;
    }
    case Value::Kind::Float:
        appendUtf8(out, QStringView(buffer, r.formatFloatInto(value.asFloat(), 15, buffer)));
        return;
    case Value::Kind::Date:
        appendUtf8(out, QStringView(buffer, r.formatDateInto(value.asDate(), buffer)));
        return;
    case Value::Kind::Text:
        appendUtf8(out, value.asText());
        return;
    case Value::Kind::Boolean:
        appendUtf8(out, value.asBoolean() ? r.trueWord() : r.falseWord());
        return;
    default:
        appendUtf8(out, displayText(field, value));
        return;
    }
}

QString messageValue(const Value& value)
{
    const Regional& r = Regional::current();
    switch (value.kind()) {
    case Value::Kind::Float: return r.formatFloat(value.asFloat());
    case Value::Kind::Fixed: return r.formatFixed(value.asFixed());
    default: return value.debugString();
    }
}

QString messageNumber(const QString& plainNumber)
{
    QString out = plainNumber;
    return out.replace(QLatin1Char('.'), Regional::current().decimalSeparator());
}

QString displayText(const FieldDef& field, const Value& value)
{
    Q_UNUSED(field);
    return textOf(value);
}

}  // namespace quillora
