#include "cli/CliArguments.h"
#include "cli/CliRunHost.h"
#include "cli/Commands.h"
#include "cli/RunReports.h"
#include "tables/Error.h"
#include "tables/Table.h"
#include "transfer/MappingFile.h"
#include "transfer/Transfer.h"

namespace quillora::cli {

int runProcess(const QStringList& args)
{
    CliArguments a(args,
                   {QStringLiteral("source"), QStringLiteral("dest"), QStringLiteral("map"),
                    QStringLiteral("operation"), QStringLiteral("on-error"), QStringLiteral("locale"),
                    QStringLiteral("password"), QStringLiteral("filter"), QStringLiteral("errors")},
                   {QStringLiteral("dry-run")});
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("argumento inesperado: %1").arg(a.positional().first())};
    for (const char* required : {"source", "dest", "map"}) {
        if (!a.has(QString::fromLatin1(required)))
            throw UsageError{QStringLiteral("falta a opção --%1").arg(QString::fromLatin1(required))};
    }
    int operation = -1;
    if (a.has(QStringLiteral("operation"))) {
        operation = operationFromText(a.value(QStringLiteral("operation")));
        if (operation < -1)
            throw UsageError{QStringLiteral("operação desconhecida: %1 (use 0-4 ou Adicionar, Adicionar/Atualizar, "
                                            "Copiar, Apagar, Atualizar)")
                                 .arg(a.value(QStringLiteral("operation")))};
    }
    const bool stopOnError = stopOnErrorOption(a.value(QStringLiteral("on-error"), QStringLiteral("stop")));
    a.applyCommonOptions();

    const QString mapping = readMappingFile(a.value(QStringLiteral("map")));

    Table source(QStringLiteral("Table1"));
    Table destination(QStringLiteral("Table2"));
    if (a.has(QStringLiteral("filter"))) {
        source.SetFilter(a.value(QStringLiteral("filter")));
        source.SetFiltered(true);
    }
    RunReports reports(a, false);
    CliRunHost host(stopOnError);
    host.setDryRun(a.has(QStringLiteral("dry-run")));
    return reports.runAndWrite(
        [&] {
            return processar(source, destination, host, a.value(QStringLiteral("source")),
                             a.value(QStringLiteral("dest")), mapping, Operacao(operation));
        },
        host.aborted());
}

}  // namespace quillora::cli
