#include "tables/dbase/DbaseTagPlan.h"

#include "tables/Error.h"

namespace quillora::dbase {

namespace {

// The parsed expression, or why it cannot be computed (the parser names what it lacks, such as
// a function it does not know).
std::shared_ptr<const DbaseExpression> parsed(const QString& text,
                                              const std::function<DbaseExpression(const QString&)>& parse,
                                              QString* why)
{
    try {
        return std::make_shared<const DbaseExpression>(parse(text));
    } catch (const Error& e) {
        *why = e.text();
        return {};
    }
}

}  // namespace

QString planDbaseTag(const DbaseTagInfo& tag, bool ndx, const DbaseHeader& head,
                     const std::function<DbaseExpression(const QString&)>& parse, DbaseTagPlan* plan)
{
    const QString which = ndx ? QStringLiteral("o índice %1").arg(tag.fileName)
                              : QStringLiteral("a tag %1 do índice %2").arg(tag.name, tag.fileName);
    const char type = tag.keyType;
    const bool knownType = type == 'C' || type == 'N' || (!ndx && (type == 'F' || type == 'D'));
    if (!knownType)
        return QStringLiteral("%1 tem chaves do tipo '%2', que o Quillora não sabe gravar")
            .arg(which, QString(QChar::fromLatin1(type ? type : '?')));

    QString why;
    const auto expression = parsed(tag.expression, parse, &why);
    if (!expression)
        return QStringLiteral("%1 tem uma expressão que o Quillora não sabe calcular (%2): %3")
            .arg(which, tag.expression, why);
    std::shared_ptr<const DbaseExpression> condition;
    if (!tag.forExpression.isEmpty()) {
        condition = parsed(tag.forExpression, parse, &why);
        if (!condition)
            return QStringLiteral("%1 tem uma condição FOR que o Quillora não sabe calcular (%2): %3")
                .arg(which, tag.forExpression, why);
        if (condition->type() != ExprValue::Type::Logical)
            return QStringLiteral("%1 tem a condição FOR %2, que não dá verdadeiro ou falso")
                .arg(which, tag.forExpression);
    }
    const ExprValue::Type result = expression->type();
    int expectedLength = 0;
    bool fits = false;
    switch (type) {
    case 'C':
        fits = result == ExprValue::Type::Character;
        break;
    case 'D':
        fits = result == ExprValue::Type::Date;
        expectedLength = 8;
        break;
    default:  // N, F; in an .ndx also dates
        fits = result == ExprValue::Type::Numeric || (ndx && result == ExprValue::Type::Date);
        expectedLength = ndx ? 8 : 12;
        break;
    }
    if (!fits)
        return QStringLiteral("%1 tem a expressão %2, que não dá uma chave do tipo '%3'")
            .arg(which, tag.expression, QString(QChar::fromLatin1(type)));
    if (expectedLength != 0 && tag.keyLength != expectedLength)
        return QStringLiteral("%1 tem chaves de %2 bytes, e o Quillora só sabe gravar chaves '%3' de %4")
            .arg(which)
            .arg(tag.keyLength)
            .arg(QChar::fromLatin1(type))
            .arg(expectedLength);
    if (type == 'C' && !head.collationKnown)
        return QStringLiteral("%1 tem chaves de texto, e a ordem alfabética do driver de idioma da tabela não é "
                              "conhecida")
            .arg(which);
    if (plan) {
        plan->tag = tag;
        plan->expression = expression;
        plan->condition = condition;
        plan->field = -1;
        plan->digits = 10;
        if (expression->isSingleField() && !expression->fields().empty()) {
            const int f = expression->fields().front();
            const DbaseColumn& c = head.columns[size_t(f)];
            if (c.type == 'C')
                plan->field = f;
            else if (c.type == 'N' || c.type == 'F')
                plan->digits = c.length;  // as dBase IV writes them
        }
    }
    return {};
}

}  // namespace quillora::dbase
