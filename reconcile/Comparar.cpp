#include "reconcile/Comparar.h"

#include "reconcile/CompareValues.h"
#include "reconcile/DivergenceList.h"
#include "reconcile/KeyedPairs.h"
#include "tables/Table.h"
#include "transfer/MappingList.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace quillora {

namespace {

// Record numbers seen, as one bit each: record numbers run from 1 to about the record count,
// so a bitmap is far smaller and faster than a hash set. Numbers out of that range (none a
// table gives today) go to a set.
class RecordNumberSet {
public:
    void insert(qint64 n)
    {
        if (n < 0 || n >= kBitmapLimit) {
            others_.insert(n);
            return;
        }
        if (size_t(n) >= bits_.size())
            bits_.resize(std::max(size_t(n) + 1, bits_.size() * 2), false);
        bits_[size_t(n)] = true;
    }
    bool contains(qint64 n) const
    {
        if (n < 0 || n >= kBitmapLimit)
            return others_.contains(n);
        return size_t(n) < bits_.size() && bits_[size_t(n)];
    }

private:
    static constexpr qint64 kBitmapLimit = qint64(1) << 32;
    std::vector<bool> bits_;
    QSet<qint64> others_;
};

}  // namespace

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
    // Destination records some source record found, by record number.
    RecordNumberSet reached;
    run.recordKey = [&] { return keyed.sourceKeyField()->AsString(); };
    run.perRecord = [&] {
        if (!keyed.findDestination()) {
            run.tell(RecordOutcome::NotMatched);
            run.result().unmatched.push_back({true, source.RecNo(), keyed.sourceKeyField()->AsString()});
            return;
        }
        reached.insert(destination.RecNo());
        bool changed = false;
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
                changed = true;
                break;
            case 1:
                source.Edit();
                s->SetValue(d->Value());
                source.Post();
                changed = true;
                break;
            default:
                break;
            }
        }
        run.tell(changed ? RecordOutcome::Updated : RecordOutcome::Unchanged);
    };
    // The other way round: destination records that no source record found.
    run.afterWalk = [&] {
        RecordRunResult& r = run.result();
        r.unreached = 0;
        for (destination.First(); !destination.Eof(); destination.Next()) {
            if (reached.contains(destination.RecNo()))
                continue;
            ++r.unreached;
            QString key;
            try {
                key = keyed.destinationKeyText();
            } catch (...) {
                // A key field the destination lacks already failed every source record.
            }
            r.unmatched.push_back({false, destination.RecNo(), key});
        }
    };
    run.closing = [&] {
        if (listStarted)
            list.commit();
    };
    return run.run(sourcePath, destinationPath);
}

}  // namespace quillora
