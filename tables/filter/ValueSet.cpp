#include "tables/filter/ValueSet.h"

#include "tables/filter/FilterNodes.h"

#include <QHashFunctions>

#include <cstring>

namespace quillora::filter {

namespace {

size_t mixed(size_t kindTag, size_t h) { return h ^ (kindTag * 0x9E3779B97F4A7C15ull); }

// Equal by holds() implies equal hashes; kinds that never compare equal may share one.
size_t equalityHash(const Value& v)
{
    using K = Value::Kind;
    switch (v.kind()) {
    case K::Text:
        return mixed(1, qHash(v.asText()));
    case K::Integer:
    case K::Float:
    case K::Fixed: {
        // Numbers of different kinds are compared by their value as a double.
        double d = 0;
        v.toNumber(&d);
        if (d == 0)
            d = 0;  // -0 and 0 are equal
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        return mixed(2, qHash(bits));
    }
    case K::Date:
        return mixed(3, qHash(QDateTime(v.asDate(), QTime(0, 0)).toMSecsSinceEpoch()));
    case K::DateTime:
        return mixed(3, qHash(v.asDateTime().toMSecsSinceEpoch()));
    case K::Time:
        return mixed(4, qHash(v.asTime().msecsSinceStartOfDay()));
    case K::Boolean:
        return mixed(5, size_t(v.asBoolean()));
    case K::Bytes:
        return mixed(6, qHash(v.asBytes()));
    case K::Null:
        break;
    }
    return 0;
}

}  // namespace

void ValueSet::add(const Value& v)
{
    if (v.isNull()) {
        hasNull_ = true;
        return;
    }
    byHash_.emplace(equalityHash(v), values_.size());
    values_.push_back(v);
}

bool ValueSet::contains(const Value& v) const
{
    if (v.isNull())
        return hasNull_;
    const auto [from, to] = byHash_.equal_range(equalityHash(v));
    for (auto it = from; it != to; ++it)
        if (holds(Token::Op::Eq, v, values_[it->second]))
            return true;
    return false;
}

}  // namespace quillora::filter
