#include "reconcile/Comparar.h"

#include "reconcile/CompareValues.h"
#include "reconcile/DivergenceList.h"
#include "reconcile/KeyedPairs.h"
#include "tables/Table.h"
#include "transfer/MappingList.h"

namespace quillora {

QString verificationQuestion()
{
    return QStringLiteral("Processar as atualizações junto com a verificação ?");
}

RecordRunResult comparar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                         const QString& destinationPath, const QString& mappingText, const QString& sourceKey,
                         const QString& destinationKey, const QString& listPath)
{
    KeyedPairs keyed(source, destination, mappingLines(mappingText), sourceKey, destinationKey, &host);
    // Opened before anything else, so that a list that cannot be written stops the run before
    // a table is opened or a record reconciled. The old list stays as it is until the commit:
    // a run that fails to open the tables leaves it untouched.
    DivergenceWriter list(listPath);
    list.checkOpen();
    bool reconcile = false;
    bool listStarted = false;

    RecordRun run(source, destination, host);
    run.operationName = QStringLiteral("Comparar");
    run.beforeWalk = [&] {
        listStarted = true;
        list.append(destinationHeader(destination));
        list.append(sourceHeader(source));
        list.append(ruleLine());
        const RecordRunHost::Answer mode = host.askVerification(verificationQuestion());
        reconcile = mode == RecordRunHost::Answer::Yes;
        run.skipWalk = mode == RecordRunHost::Answer::Cancel;
    };
    run.perRecord = [&] {
        if (!keyed.findDestination())
            return;
        for (KeyedPairs::Pair& p : keyed.pairs()) {
            Field* d = keyed.destinationField(p);
            Field* s = keyed.sourceField(p);
            // Read afresh for every line: a choice made for an earlier line shows here.
            if (valuesEqual(d->Value(), d->DataType(), s->Value(), s->DataType()))
                continue;
            const QString key = keyed.sourceKeyField()->AsString();
            const QString dv = d->AsString();
            const QString sv = s->AsString();
            list.append(differenceLine(key, p.destinationName, dv, p.sourceName, sv));
            if (!reconcile)
                continue;
            switch (host.askRecordOption(recordOptionsText(key, p.destinationName, dv, p.sourceName, sv))) {
            case 0:
                destination.Edit();
                d->SetValue(s->Value());
                destination.Post();
                break;
            case 1:
                source.Edit();
                s->SetValue(d->Value());
                source.Post();
                break;
            default:
                break;
            }
        }
    };
    run.closing = [&] {
        if (listStarted)
            list.commit();
    };
    return run.run(sourcePath, destinationPath);
}

}  // namespace quillora
