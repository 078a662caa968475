#include "reconcile/Atualizar.h"

#include "reconcile/KeyedPairs.h"
#include "tables/Field.h"
#include "tables/Table.h"
#include "transfer/MappingList.h"

namespace quillora {

RecordRunResult atualizar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                          const QString& destinationPath, const QString& mappingText, const QString& sourceKey,
                          const QString& destinationKey)
{
    KeyedPairs keyed(source, destination, mappingLines(mappingText), sourceKey, destinationKey, &host);
    RecordRun run(source, destination, host);
    run.operationName = QStringLiteral("Atualizar");
    run.recordKey = [&] { return keyed.sourceKeyField()->AsString(); };
    run.perRecord = [&] {
        if (!keyed.findDestination()) {
            run.tell(RecordOutcome::NotMatched);
            return;
        }
        destination.Edit();
        for (KeyedPairs::Pair& p : keyed.pairs())
            keyed.destinationField(p)->SetValue(keyed.sourceField(p)->Value());
        // A failed line leaves the edit pending; the run's Cancel drops every line of it.
        destination.Post();
        run.tell(destination.LastPostWrote() ? RecordOutcome::Updated : RecordOutcome::Unchanged);
    };
    return run.run(sourcePath, destinationPath);
}

}  // namespace quillora
