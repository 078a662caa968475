#include "tables/filter/FilterNodes.h"

#include "tables/FieldConvert.h"
#include "tables/Regional.h"

#include <optional>

namespace quillora::filter {

namespace {

template <typename T>
int order(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// -1, 0 or 1; nothing when the kinds cannot be compared.
std::optional<int> compareValues(const Value& a, const Value& b)
{
    using K = Value::Kind;
    const K ka = a.kind(), kb = b.kind();
    if (ka == K::Text && kb == K::Text) {
        const int c = a.asText().compare(b.asText(), Qt::CaseSensitive);
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (ka == K::Integer && kb == K::Integer)
        return order(a.asInteger(), b.asInteger());
    if (ka == K::Fixed && kb == K::Fixed)
        return order(a.asFixed().scaled, b.asFixed().scaled);
    if (ka == K::Boolean && kb == K::Boolean)
        return order(int(a.asBoolean()), int(b.asBoolean()));
    const bool numA = ka == K::Integer || ka == K::Float || ka == K::Fixed;
    const bool numB = kb == K::Integer || kb == K::Float || kb == K::Fixed;
    if (numA && numB) {
        double x = 0, y = 0;
        a.toNumber(&x);
        b.toNumber(&y);
        return order(x, y);
    }
    auto asDateTime = [](const Value& v) -> std::optional<QDateTime> {
        if (v.kind() == K::DateTime)
            return v.asDateTime();
        if (v.kind() == K::Date)
            return QDateTime(v.asDate(), QTime(0, 0));
        return std::nullopt;
    };
    if (ka == K::Time && kb == K::Time)
        return order(a.asTime(), b.asTime());
    if (ka == K::Date && kb == K::Date)
        return order(a.asDate(), b.asDate());
    const auto da = asDateTime(a), db = asDateTime(b);
    if (da && db)
        return order(*da, *db);
    if (ka == K::Bytes && kb == K::Bytes)
        return order(a.asBytes(), b.asBytes());
    return std::nullopt;
}

}  // namespace

bool holds(Token::Op op, const Value& a, const Value& b)
{
    if (a.isNull() || b.isNull()) {
        const bool both = a.isNull() && b.isNull();
        if (op == Token::Op::Eq)
            return both;
        if (op == Token::Op::Ne)
            return !both;
        return false;
    }
    const std::optional<int> c = compareValues(a, b);
    if (!c)
        return op == Token::Op::Ne;
    switch (op) {
    case Token::Op::Eq: return *c == 0;
    case Token::Op::Ne: return *c != 0;
    case Token::Op::Lt: return *c < 0;
    case Token::Op::Gt: return *c > 0;
    case Token::Op::Le: return *c <= 0;
    case Token::Op::Ge: return *c >= 0;
    case Token::Op::None: break;
    }
    return false;
}

bool LogicalFieldCondition::test(const Row& row) const
{
    const Value v = row.file.value(row.raw, index_);
    return v.kind() == Value::Kind::Boolean && v.asBoolean();
}

bool FieldConstantCondition::test(const Row& row) const
{
    return holds(op_, row.file.value(row.raw, index_), constant_);
}

bool PrefixCondition::test(const Row& row) const
{
    const Value v = row.file.value(row.raw, index_);
    const bool starts = v.kind() == Value::Kind::Text && v.asText().startsWith(prefix_, Qt::CaseSensitive);
    return starts != negated_;
}

bool InCondition::test(const Row& row) const
{
    const Value v = a_->value(row);
    for (const OperandPtr& item : items_)
        if (holds(Token::Op::Eq, v, item->value(row)))
            return true;
    return false;
}

QString likeText(const Value& v, const FieldDef* field)
{
    if (v.kind() == Value::Kind::Text)
        return v.asText();
    if (field)
        return displayText(*field, v);
    if (v.kind() == Value::Kind::Boolean)
        return Regional::current().formatBoolean(v.asBoolean());
    double d = 0;
    if (v.toNumber(&d))
        return Regional::current().formatFloat(d);
    return v.debugString();
}

bool LikeCondition::test(const Row& row) const
{
    const Value v = a_->value(row);
    if (v.isNull())
        return false;
    if (pattern_) {
        if (v.kind() == Value::Kind::Text)
            return pattern_->matches(v.asText());
        return pattern_->matches(likeText(v, a_->field()));
    }
    const Value p = patternOperand_->value(row);
    if (p.isNull())
        return false;
    return LikePattern(likeText(p, patternOperand_->field())).matches(likeText(v, a_->field()));
}

}  // namespace quillora::filter
