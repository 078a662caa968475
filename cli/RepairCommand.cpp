#include "cli/CliArguments.h"
#include "cli/Commands.h"
#include "tables/Error.h"
#include "tables/check/DbaseCheck.h"
#include "tables/check/DbaseRepair.h"
#include "tables/io/Journal.h"

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
    if (QFileInfo(path).suffix().compare(QLatin1String("dbf"), Qt::CaseInsensitive) != 0)
        throw FileError(QStringLiteral("%1: o reparo só está disponível para tabelas dBase (.dbf)").arg(path));
    if (a.has(QStringLiteral("out")))
        throw FileError(QStringLiteral("O reparo com --out (cópia com os registros legíveis) ainda não está disponível; "
                                       "nada foi alterado."));

    QTextStream out(stdout);
    const check::CheckReport report = check::checkDbaseTable(path);
    if (report.sound()) {
        out << QStringLiteral("%1: nenhuma falha encontrada; nada a reparar").arg(path) << '\n';
        return 0;
    }
    bool inRecords = false;
    for (const check::Fault& f : report.faults)
        inRecords = inRecords || f.inRecords;
    if (inRecords) {
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
    QStringList done;
    io::Operation journal(QStringLiteral("Reparar"), {path});
    try {
        done = check::repairDbaseInPlace(path);
    } catch (const Error& e) {
        journal.closeAndFinish([] {}, e.text());
        throw;
    }
    journal.closeAndFinish([] {});
    for (const QString& line : done)
        out << path << ": " << line << '\n';
    return 0;
}

}  // namespace quillora::cli
