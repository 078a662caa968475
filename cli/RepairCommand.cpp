#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "tables/Error.h"
#include "tables/check/TableRepair.h"

#include <QFileInfo>
#include <QTextStream>

namespace quillora::cli {

int runRepair(const QStringList& args)
{
    CliArguments a(args, {QStringLiteral("locale"), QStringLiteral("out")}, {});
    if (a.positional().size() != 1)
        throw UsageError{QStringLiteral("informe uma tabela")};
    a.applyCommonOptions();
    const QString path = a.positional().first();
    if (!check::checkable(path))
        throw FileError(QStringLiteral("%1: o reparo não está disponível para este formato").arg(path));
    QTextStream out(stdout);
    if (a.has(QStringLiteral("out"))) {
        const check::RepairOutcome outcome = check::repairToCopy(path, a.value(QStringLiteral("out")));
        for (const QString& line : outcome.done)
            out << path << ": " << line << '\n';
        out.flush();
        QTextStream err(stderr);
        for (const QString& line : outcome.lost)
            err << path << QStringLiteral(": não salvo: ") << line << '\n';
        return outcome.lost.isEmpty() ? 0 : 1;
    }

    const check::CheckReport report = check::checkTable(path);
    if (report.sound()) {
        out << QStringLiteral("%1: nenhuma falha encontrada; nada a reparar").arg(path) << '\n';
        return 0;
    }
    if (check::damagedRecords(report)) {
        QTextStream err(stderr);
        for (const check::Fault& f : report.faults)
            if (f.inRecords)
                err << check::formatFault(f) << '\n';
        err << QStringLiteral("A tabela %1 tem danos nos próprios registros e não pode ser reparada no lugar sem "
                              "perder dados; nada foi alterado. Use --out NOVA para gravar uma cópia com os "
                              "registros que ainda podem ser lidos.")
                   .arg(path)
            << '\n';
        return 1;
    }
    const check::RepairOutcome outcome = check::repairInPlace(path, report);
    for (const QString& line : outcome.done)
        out << path << ": " << line << '\n';
    return 0;
}

}  // namespace quillora::cli
