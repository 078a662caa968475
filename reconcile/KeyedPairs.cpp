#include "reconcile/KeyedPairs.h"

#include "tables/Error.h"
#include "tables/Field.h"
#include "tables/Table.h"
#include "transfer/MappingList.h"

namespace quillora {

KeyedPairs::KeyedPairs(Table& source, Table& destination, const QStringList& lines, const QString& sourceKey,
                       const QString& destinationKey, RecordRunHost* host)
    : source_(source), destination_(destination), sourceKey_(sourceKey), destinationKey_(destinationKey),
      search_(destination, host)
{
    QString destino;
    QString fonte;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        SeparaLinha(line, destino, fonte);
        pairs_.push_back(Pair{destino, fonte});
    }
}

Field* KeyedPairs::sourceKeyField()
{
    if (!sourceKeyField_)
        sourceKeyField_ = source_.FieldByName(sourceKey_);
    return sourceKeyField_;
}

bool KeyedPairs::findDestination()
{
    const Value key = sourceKeyField()->Value();
    if (destinationKey_.isEmpty())
        throw Error(QStringLiteral("Nenhum campo chave do destino foi escolhido (Chave Filho)"));
    return search_.find(destinationKey_, key);
}

QString KeyedPairs::destinationKeyText()
{
    QStringList parts;
    for (const QString& name : destinationKey_.split(QLatin1Char(';')))
        parts << destination_.FieldByName(name.trimmed())->AsString();
    return parts.join(QLatin1Char(';'));
}

Field* KeyedPairs::destinationField(Pair& p)
{
    if (!p.destinationField)
        p.destinationField = destination_.FieldByName(p.destinationName);
    return p.destinationField;
}

Field* KeyedPairs::sourceField(Pair& p)
{
    if (!p.sourceField)
        p.sourceField = source_.FieldByName(p.sourceName);
    return p.sourceField;
}

}  // namespace quillora
