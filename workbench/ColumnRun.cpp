#include "workbench/ColumnRun.h"

#include "tables/Error.h"
#include "tables/Table.h"
#include "workbench/KeyList.h"
#include "workbench/WorkbenchHost.h"

#include <QElapsedTimer>
#include <QStringList>

#include <exception>

namespace quillora::workbench {

namespace {

bool namesField(const QStringList& names, const QString& field)
{
    for (const QString& n : names)
        if (n.trimmed().compare(field, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Stores a changed pending record and discards an unchanged one, as a move does.
void storePending(Table& table)
{
    if (table.Modified())
        table.Post();
    else
        table.Cancel();
}

}  // namespace

ColumnRun::ColumnRun(Table& table, WorkbenchHost& host, int field) : table_(table), host_(host), field_(field) {}

int ColumnRun::progressPercent(qint64 recNo, qint64 recordCount)
{
    const qint64 n = recordCount != 0 ? recNo * 100 / recordCount : 0;
    return n > 99 ? 100 : int(n);
}

QString ColumnRun::progressText(qint64 recNo, qint64 recordCount)
{
    return QStringLiteral("Percentual processado: %1 %").arg(progressPercent(recNo, recordCount));
}

void WorkbenchHost::progressed(qint64 recNo, qint64 recordCount)
{
    setStatusText(ColumnRun::progressText(recNo, recordCount));
}

void ColumnRun::progress()
{
    host_.progressed(table_.RecNo(), table_.RecordCount());
}

ColumnRun::Walk ColumnRun::chooseWalk() const
{
    const QString name = table_.Fields(field_)->FieldName();
    const QList<IndexDef> defs = table_.IndexDefs();
    // A change to a primary key field moves the record in the file, and other records' ids
    // with it: such a run finds its records again by their key values.
    for (const IndexDef& def : defs)
        if (def.has(ixPrimary) && namesField(def.fields, name))
            return Walk::Keys;
    if (!table_.IndexFieldNames().isEmpty())
        return namesField(table_.IndexFieldNames().split(QLatin1Char(';')), name) ? Walk::Ids : Walk::Next;
    if (!table_.IndexName().isEmpty()) {
        for (const IndexDef& def : defs)
            if (def.name.compare(table_.IndexName(), Qt::CaseInsensitive) == 0)
                return def.has(ixExpression) || namesField(def.fields, name) ? Walk::Ids : Walk::Next;
    }
    return Walk::Next;
}

namespace {

QString errorText(const std::exception& e)
{
    if (const auto* err = dynamic_cast<const Error*>(&e))
        return err->text();
    return QString::fromLocal8Bit(e.what());
}

}  // namespace

void ColumnRun::run(const std::function<void()>& work, bool post, const std::function<void()>& afterMove)
{
    QElapsedTimer clock;
    clock.start();
    RecordRunResult result;
    // The record in hand, for the failure list.
    qint64 recordNumber = 0;
    QString recordValue;
    table_.DisableControls();
    host_.runStarted();
    try {
        const RecordId start = table_.CurrentRecordId();
        if (start != NoRecord) {
            // The run starts at the current record, also when a move to the last one left the
            // table at its end.
            table_.MoveToRecordId(start);
            Walk walk = chooseWalk();
            std::vector<RecordId> ids;
            KeyList keys;
            QString keyNames;
            const quint64 generation = table_.RecordIdGeneration();
            if (walk == Walk::Ids) {
                ids = table_.RecordIdsFromCurrent();
            } else if (walk == Walk::Keys) {
                QList<int> keyFields;
                for (const IndexDef& def : table_.IndexDefs()) {
                    if (def.has(ixPrimary)) {
                        keyNames = def.fields.join(QLatin1Char(';'));
                        for (const QString& f : def.fields)
                            keyFields << table_.FieldByName(f)->Index();
                    }
                }
                for (; !table_.Eof(); table_.Next()) {
                    QList<Value> k;
                    for (int f : keyFields)
                        k << table_.Fields(f)->Value();
                    keys.append(k);
                }
                table_.MoveToRecordId(start);
            }
            const qsizetype total = walk == Walk::Ids ? qsizetype(ids.size()) : keys.size();
            qsizetype i = 0;
            bool more = true;
            while (more) {
                recordNumber = table_.RecNo();
                const Value before = table_.Fields(field_)->Value();
                recordValue = table_.Fields(field_)->AsString();
                ++result.read;
                table_.Edit();
                work();
                // Counted once the record is stored (by Post or by the move on).
                const RecordOutcome outcome =
                    table_.Fields(field_)->Value() == before ? RecordOutcome::Unchanged : RecordOutcome::Updated;
                if (post)
                    table_.Post();
                if (walk == Walk::Ids && table_.RecordIdGeneration() != generation)
                    walk = Walk::Next;  // the file moved records after all: go on in order
                if (walk == Walk::Next) {
                    table_.Next();
                    more = !table_.Eof();
                } else {
                    storePending(table_);
                    ++i;
                    more = false;
                    while (i < total && !more) {
                        more = walk == Walk::Ids ? table_.MoveToRecordId(ids[size_t(i)])
                                                 : table_.LocatePrimaryKey(keyNames, keys.at(i));
                        if (!more)
                            ++i;  // the record is gone
                    }
                }
                result.count(outcome);
                if (afterMove)
                    afterMove();
                host_.betweenRecords();
                progress();
            }
        }
    } catch (...) {
        try {
            table_.Cancel();
        } catch (...) {
        }
        table_.EnableControls();
        // The record the error stopped at is the failed one; whether its change was counted
        // before the store failed, it was not kept.
        QString text = QStringLiteral("Erro desconhecido");
        try {
            throw;
        } catch (const std::exception& e) {
            text = errorText(e);
        } catch (...) {
        }
        ++result.failed;
        result.failures.push_back(FailedRecord{recordNumber, recordValue, text});
        result.stopped = true;
        result.elapsedMs = clock.elapsed();
        host_.runEnded(result);
        throw;
    }
    table_.EnableControls();
    result.elapsedMs = clock.elapsed();
    host_.runEnded(result);
}

}  // namespace quillora::workbench
