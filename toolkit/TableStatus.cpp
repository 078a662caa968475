#include "toolkit/TableStatus.h"

#include "tables/Regional.h"
#include "tables/Table.h"

namespace quillora::toolkit {

QString orderAndFilterText(const Table& table)
{
    QString text;
    const QString order = !table.IndexFieldNames().isEmpty() ? table.IndexFieldNames() : table.IndexName();
    if (!order.isEmpty())
        text += QStringLiteral(" — ordem: %1").arg(order);
    if (table.Filtered() && !table.Filter().trimmed().isEmpty())
        text += QStringLiteral(" — filtro: %1").arg(table.Filter().simplified());
    return text;
}

QString tableStatusText(Table& table)
{
    if (!table.Active())
        return {};
    const qint64 count = table.RecordCount();
    const QString number = Regional::current().locale().toString(count);
    return (count == 1 ? QStringLiteral("1 registro") : QStringLiteral("%1 registros").arg(number)) +
           orderAndFilterText(table);
}

}  // namespace quillora::toolkit
