#include "reconcile/CompareValues.h"

#include "tables/Error.h"
#include "tables/Regional.h"

#include <cmath>
#include <cstdlib>

namespace quillora {

namespace {

// The kinds the comparison knows, in the order that decides the common kind of two numbers.
enum class Kind { Blank, Text, Boolean, Integer, LargeInteger, Float, Fixed, DateTime, Bytes };

Kind kindOf(const Value& v, FieldType type)
{
    switch (v.kind()) {
    case Value::Kind::Null: return Kind::Blank;
    case Value::Kind::Text: return Kind::Text;
    case Value::Kind::Integer: return type == ftLargeint ? Kind::LargeInteger : Kind::Integer;
    case Value::Kind::Float: return Kind::Float;
    case Value::Kind::Fixed: return Kind::Fixed;
    case Value::Kind::Date:
    case Value::Kind::Time:
    case Value::Kind::DateTime: return Kind::DateTime;
    case Value::Kind::Boolean: return Kind::Boolean;
    case Value::Kind::Bytes: return Kind::Bytes;
    }
    return Kind::Bytes;
}

Kind commonKind(Kind a, Kind b)
{
    if (a == b)
        return a;
    if (a == Kind::DateTime || b == Kind::DateTime)
        return Kind::DateTime;
    if (a == Kind::Fixed || b == Kind::Fixed)
        return Kind::Fixed;
    if (a == Kind::Text || b == Kind::Text) {
        const Kind other = a == Kind::Text ? b : a;
        return other == Kind::Boolean ? Kind::Boolean : Kind::Float;
    }
    // Numbers and booleans: the wider of the two (boolean < integer < large integer < float).
    return a > b ? a : b;
}

double toFloat(const Value& v)
{
    if (v.kind() == Value::Kind::Text)
        return Regional::current().parseFloat(v.asText());
    double d = 0;
    v.toNumber(&d);
    return d;
}

qint64 toInteger(const Value& v)
{
    if (v.kind() == Value::Kind::Boolean)
        return v.asBoolean() ? -1 : 0;
    return v.asInteger();
}

Fixed toFixed(const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Fixed: return v.asFixed();
    case Value::Kind::Integer:
        if (std::llabs(v.asInteger()) < 900000000000000LL)
            return Fixed{v.asInteger() * 10000};
        return Fixed::fromDouble(double(v.asInteger()));
    case Value::Kind::Boolean: return Fixed{v.asBoolean() ? -10000 : 0};
    case Value::Kind::Text: return Regional::current().parseCurrency(v.asText());
    default: return Fixed::fromDouble(toFloat(v));
    }
}

// Milliseconds from 30/12/1899, the old engine's day count, so that dates, times, date-times
// and plain numbers (days) meet on one scale.
qint64 toMoment(const Value& v)
{
    static const QDate base(1899, 12, 30);
    auto ofDateTime = [](const QDate& d, const QTime& t) {
        return base.daysTo(d) * 86400000LL + (t.isValid() ? t.msecsSinceStartOfDay() : 0);
    };
    switch (v.kind()) {
    case Value::Kind::Date: return ofDateTime(v.asDate(), QTime(0, 0));
    case Value::Kind::Time: return ofDateTime(base, v.asTime());
    case Value::Kind::DateTime: return ofDateTime(v.asDateTime().date(), v.asDateTime().time());
    case Value::Kind::Text: {
        // A time field's own text ("10:30:00") has no date: read it as a time of day.
        const Regional& regional = Regional::current();
        try {
            const QDateTime dt = regional.parseDateTime(v.asText());
            return ofDateTime(dt.date(), dt.time());
        } catch (const ConvertError&) {
            QTime t;
            try {
                t = regional.parseTime(v.asText().trimmed());
            } catch (const ConvertError&) {
                throw ConvertError(QStringLiteral("'%1' is not a valid date and time").arg(v.asText()));
            }
            return ofDateTime(base, t);
        }
    }
    default: return std::llround(toFloat(v) * 86400000.0);
    }
}

bool toBoolean(const Value& v)
{
    if (v.kind() == Value::Kind::Boolean)
        return v.asBoolean();
    // Only text meets a boolean as a boolean: a word, or a number where zero is false.
    const QString& text = v.asText();
    bool ok = false;
    const bool b = Regional::current().parseBoolean(text, &ok);
    if (ok)
        return b;
    double d = 0;
    if (Regional::current().tryParseFloat(text, &d))
        return d != 0;
    throw ConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
}

}  // namespace

bool valuesEqual(const Value& destination, FieldType destinationType, const Value& source, FieldType sourceType)
{
    const Kind dk = kindOf(destination, destinationType);
    const Kind sk = kindOf(source, sourceType);
    if (dk == Kind::Blank || sk == Kind::Blank)
        return dk == sk;
    if (dk == Kind::Bytes || sk == Kind::Bytes)
        return dk == sk && destination.asBytes() == source.asBytes();

    switch (commonKind(dk, sk)) {
    case Kind::Text: return destination.asText() == source.asText();
    case Kind::Boolean: return toBoolean(destination) == toBoolean(source);
    case Kind::Integer:
    case Kind::LargeInteger: return toInteger(destination) == toInteger(source);
    case Kind::Float: return toFloat(destination) == toFloat(source);
    case Kind::Fixed: return toFixed(destination) == toFixed(source);
    case Kind::DateTime: return toMoment(destination) == toMoment(source);
    case Kind::Blank:
    case Kind::Bytes: break;
    }
    return false;
}

}  // namespace quillora
