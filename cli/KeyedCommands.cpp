// `update` and `compare`: the runs that pair records by key, without windows.
#include "cli/CliArguments.h"
#include "cli/CliRunHost.h"
#include "cli/Commands.h"
#include "cli/RunReports.h"
#include "reconcile/Atualizar.h"
#include "reconcile/Comparar.h"
#include "reconcile/DivergenceList.h"
#include "tables/Error.h"
#include "tables/Table.h"
#include "transfer/MappingFile.h"

#include <functional>

namespace quillora::cli {

namespace {

struct KeyedRun {
    QString source, dest, mapping, sourceKey, destKey;
    bool stopOnError = true;
};

KeyedRun parseKeyed(const CliArguments& a)
{
    if (!a.positional().isEmpty())
        throw UsageError{QStringLiteral("argumento inesperado: %1").arg(a.positional().first())};
    for (const char* required : {"source", "dest", "map", "source-key", "dest-key"}) {
        if (!a.has(QString::fromLatin1(required)))
            throw UsageError{QStringLiteral("falta a opção --%1").arg(QString::fromLatin1(required))};
    }
    KeyedRun k;
    k.stopOnError = stopOnErrorOption(a.value(QStringLiteral("on-error"), QStringLiteral("stop")));
    k.source = a.value(QStringLiteral("source"));
    k.dest = a.value(QStringLiteral("dest"));
    k.sourceKey = a.value(QStringLiteral("source-key"));
    k.destKey = a.value(QStringLiteral("dest-key"));
    return k;
}

int runKeyed(const CliArguments& a, KeyedRun& k,
             const std::function<RecordRunResult(Table&, Table&, CliRunHost&)>& operation, CliRunHost& host,
             bool unmatched)
{
    a.applyCommonOptions();
    k.mapping = readMappingFile(a.value(QStringLiteral("map")));
    RunReports reports(a, unmatched);
    Table source(QStringLiteral("Table1"));
    Table destination(QStringLiteral("Table2"));
    if (a.has(QStringLiteral("filter"))) {
        source.SetFilter(a.value(QStringLiteral("filter")));
        source.SetFiltered(true);
    }
    return reports.runAndWrite([&] { return operation(source, destination, host); }, host.aborted());
}

QStringList keyedOptions()
{
    return {QStringLiteral("source"),     QStringLiteral("dest"),     QStringLiteral("map"),
            QStringLiteral("source-key"), QStringLiteral("dest-key"), QStringLiteral("on-error"),
            QStringLiteral("locale"),     QStringLiteral("password"), QStringLiteral("filter"),
            QStringLiteral("errors")};
}

}  // namespace

int runUpdate(const QStringList& args)
{
    const CliArguments a(args, keyedOptions(), {QStringLiteral("dry-run")});
    KeyedRun k = parseKeyed(a);
    CliRunHost host(k.stopOnError);
    host.setDryRun(a.has(QStringLiteral("dry-run")));
    return runKeyed(a, k, [&](Table& source, Table& destination, CliRunHost& h) {
        return atualizar(source, destination, h, k.source, k.dest, k.mapping, k.sourceKey, k.destKey);
    }, host, false);
}

int runCompare(const QStringList& args)
{
    const CliArguments a(args,
                         keyedOptions() << QStringLiteral("out") << QStringLiteral("reconcile")
                                        << QStringLiteral("unmatched"),
                         {QStringLiteral("dry-run")});
    KeyedRun k = parseKeyed(a);
    CliRunHost host(k.stopOnError);
    host.setDryRun(a.has(QStringLiteral("dry-run")));
    // Without --reconcile the verification question is answered No: compare only.
    if (a.has(QStringLiteral("reconcile"))) {
        const QString how = a.value(QStringLiteral("reconcile"));
        int option = -1;
        if (how == QLatin1String("none"))
            option = 2;
        else if (how == QLatin1String("source-to-dest"))
            option = 0;
        else if (how == QLatin1String("dest-to-source"))
            option = 1;
        else
            throw UsageError{
                QStringLiteral("--reconcile aceita none, source-to-dest ou dest-to-source, não %1").arg(how)};
        host.setComparisonAnswers(RecordRunHost::Answer::Yes, option);
    }
    const QString out = a.value(QStringLiteral("out"), divergenceListPath());
    if (out.isEmpty())
        throw UsageError{QStringLiteral("--out precisa de um nome de arquivo")};
    return runKeyed(a, k, [&](Table& source, Table& destination, CliRunHost& h) {
        return comparar(source, destination, h, k.source, k.dest, k.mapping, k.sourceKey, k.destKey, out);
    }, host, true);
}

}  // namespace quillora::cli
