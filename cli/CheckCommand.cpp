#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "tables/Error.h"
#include "tables/check/TableCheck.h"

#include <QFileInfo>
#include <QTextStream>

namespace quillora::cli {

int runCheck(const QStringList& args)
{
    CliArguments a(args, {QStringLiteral("locale")}, {});
    if (a.positional().isEmpty())
        throw UsageError{QStringLiteral("informe ao menos uma tabela")};
    a.applyCommonOptions();

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool faults = false;
    for (const QString& path : a.positional()) {
        if (!check::checkable(path)) {
            err << QStringLiteral("%1: a verificação não está disponível para este formato").arg(path) << '\n';
            faults = true;
            continue;
        }
        const check::CheckReport report = check::checkTable(path);
        for (const check::Fault& f : report.faults)
            out << check::formatFault(f) << '\n';
        faults = faults || !report.sound();
    }
    out.flush();
    return faults ? 1 : 0;
}

}  // namespace quillora::cli
