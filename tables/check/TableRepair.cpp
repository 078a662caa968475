#include "tables/check/TableRepair.h"

#include "tables/Error.h"
#include "tables/check/DbaseCopy.h"
#include "tables/check/DbaseRepair.h"
#include "tables/check/ParadoxRepair.h"
#include "tables/io/Journal.h"

#include <QFileInfo>

namespace quillora::check {

namespace {

bool isParadox(const QString& path)
{
    return QFileInfo(path).suffix().compare(QLatin1String("db"), Qt::CaseInsensitive) == 0;
}

}  // namespace

RepairOutcome repairInPlace(const QString& path, const CheckReport& report)
{
    if (!checkable(path))
        throw FileError(QStringLiteral("%1: o reparo só está disponível para tabelas dBase (.dbf) e Paradox (.db)").arg(path));
    if (damagedRecords(report))
        throw FileError(QStringLiteral("A tabela %1 tem danos nos próprios registros e não pode ser reparada no lugar "
                                       "sem perder dados; nada foi alterado. Grave uma cópia reparada com os "
                                       "registros que ainda podem ser lidos.")
                            .arg(path));
    RepairOutcome outcome;
    io::Operation journal(QStringLiteral("Reparar"), {path});
    try {
        outcome.done = isParadox(path) ? repairParadoxInPlace(path) : repairDbaseInPlace(path, report);
    } catch (const Error& e) {
        journal.closeAndFinish([] {}, e.text());
        throw;
    }
    journal.closeAndFinish([] {});
    return outcome;
}

RepairOutcome repairToCopy(const QString& path, const QString& out, const CheckProgress& progress)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) == 0)
        return copyDbaseTable(path, out, progress);
    if (isParadox(path))
        return repairParadoxToCopy(path, out, progress);
    throw FileError(QStringLiteral("%1: a cópia reparada não está disponível para este formato; nada foi alterado.").arg(path));
}

}  // namespace quillora::check
