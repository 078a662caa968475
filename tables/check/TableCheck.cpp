#include "tables/check/TableCheck.h"

#include "tables/check/DbaseCheck.h"
#include "tables/check/ParadoxFamilyCheck.h"

#include <QFileInfo>

namespace quillora::check {

namespace {

bool hasSuffix(const QString& path, const char* suffix)
{
    return QFileInfo(path).suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}

CheckReport notCheckable(const QString& path)
{
    CheckReport report;
    report.table = path;
    report.unreadable = true;
    report.faults.push_back(Fault{path, QString(), QStringLiteral("a verificação não está disponível para este formato"),
                                  true});
    return report;
}

}  // namespace

bool checkable(const QString& path)
{
    return hasSuffix(path, "dbf") || hasSuffix(path, "db");
}

CheckReport checkTable(const QString& path, const CheckProgress& progress)
{
    if (hasSuffix(path, "dbf"))
        return checkDbaseTable(path, progress);
    if (hasSuffix(path, "db"))
        return checkParadoxFamily(path, progress);
    return notCheckable(path);
}

CheckReport checkTableData(const QString& path)
{
    if (hasSuffix(path, "dbf"))
        return checkDbaseTable(path, {}, false);
    return checkTable(path);
}

CheckReport checkTableStructure(const QString& path)
{
    if (hasSuffix(path, "dbf"))
        return checkDbaseStructure(path);
    if (hasSuffix(path, "db"))
        return checkParadoxStructure(path);
    return notCheckable(path);
}

bool damaged(const CheckReport& report)
{
    for (const Fault& f : report.faults)
        if (!f.minor)
            return true;
    return false;
}

bool damagedRecords(const CheckReport& report)
{
    for (const Fault& f : report.faults)
        if (f.inRecords)
            return true;
    return false;
}

}  // namespace quillora::check
