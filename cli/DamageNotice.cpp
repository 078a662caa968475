#include "cli/DamageNotice.h"

#include <QTextStream>

namespace quillora::cli {

namespace {

bool printFaults(const QString& table, const check::CheckReport& report)
{
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

}  // namespace

bool noticeDamage(const QString& table)
{
    if (!check::checkable(table))
        return false;
    return printFaults(table, check::checkTableStructure(table));
}

DamageWatch::DamageWatch(const QString& table) : table_(table)
{
    if (check::checkable(table))
        report_ = std::async(std::launch::async, [table] { return check::checkTableData(table); });
}

DamageWatch::~DamageWatch()
{
    if (report_.valid())
        report_.wait();
}

bool DamageWatch::notice()
{
    if (!report_.valid())
        return false;
    return printFaults(table_, report_.get());
}

}  // namespace quillora::cli
