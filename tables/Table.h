#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "tables/Error.h"
#include "tables/Field.h"
#include "tables/LocateIndex.h"
#include "tables/OrderIndex.h"
#include "tables/FieldType.h"
#include "tables/TableFile.h"
#include "tables/Value.h"
#include "tables/filter/FilterCondition.h"

namespace quillora {

// The dataset the rest of the program talks to: a binding to a table file, a cursor over its
// visible records, one pending record being edited or inserted, and the settings (order,
// filter) that stay on the object across Close, Open and rebinding.
//
// Errors are thrown as Error; those that concern the table object itself carry its component
// name in front ("Table1: Campo NOME não encontrado").
class Table : public QObject {
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };

    // Locate options.
    static constexpr int loCaseInsensitive = 1;
    static constexpr int loPartialKey = 2;
    // Text is compared without its trailing blanks, on both sides, and text of blanks only
    // counts as empty: a key "12 " finds "12" as a dBase field stores it, and the other way round.
    static constexpr int loIgnoreTrailingBlanks = 4;

    explicit Table(const QString& componentName, QObject* parent = nullptr);
    ~Table() override;

    const QString& Name() const { return name_; }

    // --- Binding (only while closed) ---------------------------------------------------
    const QString& DatabaseName() const { return databaseName_; }
    const QString& TableName() const { return tableName_; }
    void SetDatabaseName(const QString& directory);
    void SetTableName(const QString& fileName);
    // Binds to a file path: directory part (with its trailing separator) and file name.
    void Bind(const QString& filePath);
    QString FilePath() const;

    // --- Opening ------------------------------------------------------------------------
    void Open();
    void Close();
    bool Active() const { return file_ != nullptr; }
    State state() const { return state_; }

    // --- Navigation ---------------------------------------------------------------------
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    bool IsEmpty() const { return Active() && current_ == NoRecord && state_ != State::Insert; }
    qint64 RecordCount();
    qint64 RecNo();
    // Moves to the record at a position (from 1) of the current order; false if out of range.
    bool MoveToPosition(qint64 position);
    // Where the current record stands (from 1) in the current order; -1 when there is none.
    qint64 Position();
    // Up to `count` records from a position (from 1) of the current order, each as its field
    // values, read without moving the cursor: grids show a window of a large table this way.
    QList<QList<quillora::Value>> ReadRows(qint64 firstPosition, int count);
    // The current record's identity and a move back to it, for walks over a list of records
    // fixed in advance; ids stay valid while RecordIdGeneration() does not change.
    RecordId CurrentRecordId() const { return current_; }
    quint64 RecordIdGeneration() const { return file_ ? file_->idGeneration() : 0; }
    bool MoveToRecordId(RecordId id);
    // The ids of the current record and of every record after it in the current order.
    std::vector<RecordId> RecordIdsFromCurrent();

    // --- Fields -------------------------------------------------------------------------
    QList<FieldDef> FieldDefs() const;
    int FieldCount() const { return int(fields_.size()); }
    Field* Fields(int index) const { return fields_.at(size_t(index)).get(); }
    Field* FieldByName(const QString& name) const;  // throws "Campo %s não encontrado"
    Field* FindField(const QString& name) const;    // nullptr when absent

    // --- Editing ------------------------------------------------------------------------
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return modified_; }
    // Whether the last Post stored anything: an insert, or an edit that changed some value.
    bool LastPostWrote() const { return lastPostWrote_; }

    // Moves to the first record, in the current order, whose fields (names separated by ';')
    // hold the values; options loCaseInsensitive / loPartialKey / loIgnoreTrailingBlanks for
    // text. False: nothing moves.
    bool Locate(const QString& fieldNames, const QList<quillora::Value>& values, int options);
    // Moves to the record whose primary key (fields named in order) holds exactly these values,
    // by the file's key order where it has one. False: nothing moves.
    bool LocatePrimaryKey(const QString& fieldNames, const QList<quillora::Value>& values);
    bool Locate(const QString& fieldName, const quillora::Value& value, int options);

    // --- Indexes, order and filter (kept across Close, Open and rebinding) --------------
    QList<IndexDef> IndexDefs() const;
    const QString& IndexFieldNames() const { return indexFieldNames_; }
    void SetIndexFieldNames(const QString& names);
    const QString& IndexName() const { return indexName_; }
    void SetIndexName(const QString& name);
    // The condition is compiled against the fields whenever it is set on an open table and at
    // every Open, also while filtering is off; a faulty one throws and changes nothing.
    const QString& Filter() const { return filter_; }
    void SetFilter(const QString& condition);
    bool Filtered() const { return filtered_; }
    void SetFiltered(bool on);

    // --- Display updates ----------------------------------------------------------------
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disableCount_ > 0; }

    // The open file, for descriptions (`info`); nullptr when closed.
    TableFile* file() const { return file_.get(); }
    // The raw image of the current record as stored (empty when there is none or a record is
    // pending), for writers that format many values straight from the file.
    const QByteArray& currentRaw() const { return state_ == State::Browse ? raw_ : emptyRaw_; }

    // Used by Field.
    quillora::Value fieldValue(int index) const;
    void setFieldValue(int index, const quillora::Value& converted);

signals:
    void activeChanged(bool active);
    void stateChanged();
    void currentChanged();  // the cursor moved or the current record changed
    void dataChanged();     // records were added, changed or deleted, or the order changed

protected:
    // Which notifications anyone ever listened to: a run without windows sends none of them,
    // and asking Qt for each of several per record costs a fifth of a plain append. They stay
    // on after a disconnection (Qt holds its lock there, so the connections cannot be asked).
    void connectNotify(const QMetaMethod& signal) override;

private:
    Error tableError(const QString& text) const;
    void checkActive() const;
    void checkInactive() const;
    void checkBrowseMode();  // stores a changed pending record, discards an unchanged one
    void setCurrent(RecordId id);
    void setState(State s);
    void startPending(State s);
    void startInsert(RecordId before);
    void clearPending();
    // --- Filtering: while it is on, every move, count and search sees only the records the
    // condition selects. A record posted so that it no longer matches stays current until the
    // cursor leaves it, so that a walk that edits records moves on from where it was.
    bool filtering() const { return filtered_ && condition_ != nullptr; }
    std::unique_ptr<filter::CompiledFilter> compileFilter(const QString& text) const;
    bool rawVisible(const QByteArray& raw) const { return !filtering() || condition_->matches(*file_, raw); }
    bool visible(RecordId id);  // reads the record into scratch_
    RecordId firstVisible();
    RecordId lastVisible();
    RecordId nextVisible(RecordId id);
    RecordId priorVisible(RecordId id);
    OrderIndex* visibleIndex();  // positions of the visible records, built on first need
    void filterChanged();

    bool matches(RecordId id, const QList<int>& fields, const QList<quillora::Value>& values, int options);
    LocateIndex* locateIndexFor(const QList<int>& fields, int options);
    // Before and after a write, so that the in-memory search indexes follow it.
    QList<QList<quillora::Value>> indexedValuesOfCurrent();
    // Whether some assigned value differs from the stored one.
    bool assignedValuesDiffer() const;
    // searchedAssigned false: the write assigned none of the searched fields, so their values
    // are the same before and after (oldValues may then be empty).
    void indexesAfterWrite(RecordId oldId, const QList<QList<quillora::Value>>& oldValues, RecordId newId,
                           bool oldVisible, bool searchedAssigned = true);
    bool assignsSearchedField() const;

    // The order set by IndexFieldNames / IndexName: resolved against the table's indexes and
    // built in memory (natural order when none is set or the index is the primary key).
    void applyOrder();
    void reorder(const QString& oldNames, const QString& oldName);
    QByteArray orderKey(const QByteArray& raw, RecordId id);
    bool precedesInOrder(RecordId a, RecordId b);

    // Navigation in the current order.
    RecordId orderFirst();
    RecordId orderLast();
    RecordId orderNext(RecordId id);
    RecordId orderPrior(RecordId id);

    void notifyCurrent();
    void notifyData();
    void notifyState();

    QString name_;
    QString databaseName_;
    QString tableName_;
    QString indexFieldNames_;
    QString indexName_;
    QString filter_;
    bool filtered_ = false;

    std::unique_ptr<TableFile> file_;
    std::vector<std::unique_ptr<Field>> fields_;
    State state_ = State::Inactive;
    RecordId current_ = NoRecord;
    QByteArray raw_;
    const QByteArray emptyRaw_;
    bool bof_ = true;
    bool eof_ = true;

    // The pending record.
    QList<quillora::Value> pending_;
    QList<bool> assigned_;
    bool modified_ = false;
    bool lastPostWrote_ = false;
    RecordId returnTo_ = NoRecord;      // current record before an insert, for Cancel
    RecordId insertBefore_ = NoRecord;  // Insert (not Append): the record the new one goes before
    bool writeStarted_ = false;

    std::unique_ptr<OrderIndex> order_;
    QList<int> orderFields_;
    // Set when the order's index has an expression key, which the file evaluates.
    std::optional<IndexDef> orderExpression_;
    bool orderDescending_ = false;
    bool orderCaseInsensitive_ = false;

    std::unique_ptr<filter::CompiledFilter> condition_;  // null: no condition, all visible
    qint64 visibleCount_ = -1;                            // -1 until counted
    std::unique_ptr<OrderIndex> visible_;
    // The last record read while skipping hidden ones, so that landing on it reads it once.
    QByteArray scratch_;
    RecordId scratchId_ = NoRecord;

    std::vector<std::unique_ptr<LocateIndex>> locateIndexes_;
    // Locate's last list of field names and their field numbers (cleared when the table opens),
    // and its list of candidates: runs search once per record with the same names.
    QString locateNames_;
    QList<int> locateFields_;
    std::vector<RecordId> locateCandidates_;
    // Lists a run's searches fill once per record, kept for their room: each search takes the
    // list out while it works, so a search made from a notification gets a list of its own.
    QList<quillora::Value> locateOne_;
    QList<quillora::Value> locateWanted_;
    // The record Locate found last (NoRecord after a write that moved or removed records): a
    // run whose keys come in the table's own order finds each record right after it.
    RecordId locateLast_ = NoRecord;
    quint64 indexGeneration_ = 0;

    int disableCount_ = 0;
    bool changedWhileDisabled_ = false;
    bool currentHeard_ = false;  // a receiver of currentChanged may be connected
    bool dataHeard_ = false;
    bool stateHeard_ = false;
};

}  // namespace quillora
