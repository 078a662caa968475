#include "tables/Value.h"

#include <cmath>

namespace quillora {

Fixed Fixed::fromDouble(double value)
{
    return Fixed{static_cast<qint64>(std::llround(value * 10000.0))};
}

bool Value::toNumber(double* out) const
{
    switch (kind()) {
    case Kind::Integer: *out = double(asInteger()); return true;
    case Kind::Float: *out = asFloat(); return true;
    case Kind::Fixed: *out = asFixed().toDouble(); return true;
    case Kind::Boolean: *out = asBoolean() ? -1.0 : 0.0; return true;
    default: return false;
    }
}

QString Value::debugString() const
{
    switch (kind()) {
    case Kind::Null: return QStringLiteral("<null>");
    case Kind::Text: return asText();
    case Kind::Integer: return QString::number(asInteger());
    case Kind::Float: return QString::number(asFloat(), 'g', 17);
    case Kind::Fixed: return QString::number(asFixed().toDouble(), 'f', 4);
    case Kind::Date: return asDate().toString(Qt::ISODate);
    case Kind::Time: return asTime().toString(Qt::ISODateWithMs);
    case Kind::DateTime: return asDateTime().toString(Qt::ISODateWithMs);
    case Kind::Boolean: return asBoolean() ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Bytes: return QString::fromLatin1(asBytes().toHex());
    }
    return {};
}

}  // namespace quillora
