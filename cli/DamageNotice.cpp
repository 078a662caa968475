#include "cli/DamageNotice.h"

#include "tables/check/TableCheck.h"

#include <QFileInfo>
#include <QTextStream>

namespace quillora::cli {

bool noticeDamage(const QString& table, bool records)
{
    if (!check::checkable(table))
        return false;
    const check::CheckReport report = records ? check::checkTableData(table) : check::checkTableStructure(table);
    if (report.unreadable)
        return false;  // opening the table says why
    QTextStream err(stderr);
    bool damaged = false;
    for (const check::Fault& f : report.faults) {
        if (f.minor)
            continue;
        if (!damaged)
            err << QStringLiteral("A tabela %1 está danificada (use \"Verificar tabela...\" ou quillora-cli check):")
                       .arg(table)
                << '\n';
        damaged = true;
        err << "  " << check::formatFault(f) << '\n';
    }
    return damaged;
}

}  // namespace quillora::cli
