#include "tables/dbase/DbaseKeys.h"

#include "tables/Error.h"
#include "tables/dbase/DbaseIndexKeys.h"

namespace quillora::dbase {

DbaseKeys::DbaseKeys(const QString& tablePath, const DbaseHeader& head, const DbaseTextRules& rules,
                     const std::vector<std::unique_ptr<DbaseFieldCodec>>& codecs)
    : path_(tablePath), head_(head), rules_(rules), codecs_(codecs)
{
}

DbaseExpression DbaseKeys::parse(const QString& expression) const
{
    QStringList names;
    std::vector<ExprValue::Type> types;
    for (size_t i = 0; i < codecs_.size(); ++i) {
        names << head_.fields[int(i)].name;
        types.push_back(codecs_[i]->exprType());
    }
    return DbaseExpression::parse(expression, names, types);
}

ExprValue DbaseKeys::field(const QByteArray& raw, int field) const
{
    const DbaseColumn& c = head_.columns[size_t(field)];
    return codecs_[size_t(field)]->exprValue(raw.size() == head_.recordLen ? raw.constData() + 1 + c.offset : nullptr);
}

ExprValue DbaseKeys::evaluate(const DbaseExpression& expression, RecordId id, const QByteArray& raw) const
{
    struct Record : ExprRecord {
        const DbaseKeys* keys;
        const QByteArray* raw;
        RecordId id;
        ExprValue field(int i) const override { return keys->field(*raw, i); }
        bool deleted() const override { return !raw->isEmpty() && raw->at(0) == '*'; }
        qint64 recordNumber() const override { return id; }
    } record;
    record.keys = this;
    record.raw = &raw;
    record.id = id;
    return expression.evaluate(record);
}

QByteArray DbaseKeys::expressionKey(const IndexDef& index, RecordId id, const QByteArray& raw)
{
    if (filtered_.contains(index.expression))
        throw Error(QStringLiteral("A ordem do índice %1 de %2 não é suportada: ele tem uma condição FOR (%3)")
                        .arg(index.name, path_, index.expression));
    auto& parsed = parsed_[index.expression];
    if (!parsed) {
        try {
            parsed = std::make_shared<const DbaseExpression>(parse(index.expression));
        } catch (const Error& e) {
            parsed_.erase(index.expression);
            throw Error(QStringLiteral("O índice %1 de %2 tem uma expressão que não se pode calcular: %3")
                            .arg(index.name, path_, e.text()));
        }
    }
    const ExprValue v = evaluate(*parsed, id, raw);
    QByteArray key;
    switch (v.type) {
    case ExprValue::Type::Character: {
        QByteArray bytes;
        QChar bad;
        if (!rules_.codePage().encode(v.text, &bytes, &bad))
            throw Error(QStringLiteral("A chave do índice %1 de %2 tem o caractere '%3', que a página de código não tem")
                            .arg(index.name, path_, QString(bad)));
        return rules_.textKey(bytes);
    }
    case ExprValue::Type::Numeric:
        appendOrderedDouble(key, v.number);
        return key;
    case ExprValue::Type::Date:
        if (v.date.isValid())
            appendOrderedDouble(key, double(v.date.toJulianDay()));
        return key;
    case ExprValue::Type::Logical:
        key.append(v.logical ? '\x01' : '\0');
        return key;
    }
    return key;
}

}  // namespace quillora::dbase
