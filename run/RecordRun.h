#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace quillora {

class Table;
namespace io {
class Operation;
}

// The stop signal of the record run in progress. A run clears it before its first record; the
// progress window's "Cancelar" sets it; the error question stores its answer in it.
extern bool ProcessoCancelado;

// What a record run needs from whoever shows it: the windows show a progress window and ask
// with message boxes, the tests answer from a script, quillora-cli uses flags and stderr.
struct RecordRunResult;

class RecordRunHost {
public:
    virtual ~RecordRunHost() = default;

    // Bar at 0 with this maximum, window shown and painted at once.
    virtual void progressShow(qint64 maximum) = 0;
    // One step after each record. The bar's position follows every record; painting is the
    // host's business (only when what the user sees changes).
    virtual void progressStep() = 0;
    virtual void progressHide() = 0;
    // "Erro processando, <texto>, cancelar o processo ?" with Yes and No; true for Yes.
    virtual bool askCancelOnError(const QString& question) = 0;
    // Between records: the place where a window lets its progress window take input (its
    // "Cancelar" may set ProcessoCancelado). Nothing by default.
    virtual void betweenRecords() {}

    // The comparison's question before its walk, asked with Yes, No and Cancel.
    enum class Answer { Yes, No, Cancel };
    // Hosts that cannot ask compare only.
    virtual Answer askVerification(const QString& question)
    {
        (void)question;
        return Answer::No;
    }
    // The record options for one difference: 0 source to destination, 1 destination to
    // source, 2 leave both; -1 for Cancel. Hosts that cannot ask change nothing.
    virtual int askRecordOption(const QString& text)
    {
        (void)text;
        return -1;
    }
    // Something the user should know about the run that is no record's error ("Aviso: chaves
    // maiores que ..."); operations say each one once per run. The host shows it in its own
    // time, without stopping the run to ask anything. Hosts without a place for it drop it.
    virtual void warning(const QString& text) { (void)text; }
    // A trial run (quillora-cli --dry-run): it goes through the journal as usual and is rolled
    // back at its end, so the tables stay byte for byte as they were.
    virtual bool dryRun() const { return false; }
    // A run that had begun ended in an error (a failed write, after which everything was rolled
    // back, or a table error outside the records' work): the counts up to then, the failure
    // among them. The error is thrown to the caller right after; the host keeps the counts, so
    // that the run's summary is shown all the same.
    virtual void runAborted(const RecordRunResult& result) { (void)result; }
};

// What the work on one source record did, as the operation tells the run.
enum class RecordOutcome {
    Unchanged,   // read, nothing written (also the default when the operation says nothing)
    Appended,    // a destination record was added
    Updated,     // a matching record was changed
    NotMatched,  // a keyed operation found no destination record for it
};

// A source record whose work failed: its record number, its key (or first mapped value) and
// the error's text.
struct FailedRecord {
    qint64 recordNumber = 0;
    QString key;
    QString error;
};

// A record that found no partner in a keyed run: which table it is in, its number and key.
struct UnmatchedRecord {
    bool inSource = true;
    qint64 recordNumber = 0;
    QString key;
};

// How a run ended, for callers that report it (the CLI's exit status, the summaries).
struct RecordRunResult {
    qint64 total = 0;      // RecordCount of the source when the run began
    qint64 walked = 0;     // source records the walk went over
    qint64 failed = 0;     // records whose work raised an error
    bool stopped = false;  // left early by the cancel flag (error answered Yes, or "Cancelar")
    bool trial = false;    // a dry run: every change was rolled back at the end
    bool rolledBack = false;  // a write failed: every change of the run was rolled back

    qint64 read = 0;        // source records whose work was tried
    qint64 appended = 0;
    qint64 updated = 0;
    qint64 unchanged = 0;
    qint64 notMatched = 0;  // source records without a destination record (keyed operations)
    // Destination records no source record reached ("Comparar" only; -1 elsewhere).
    qint64 unreached = -1;
    qint64 elapsedMs = 0;
    std::vector<FailedRecord> failures;
    std::vector<UnmatchedRecord> unmatched;  // source records first, then destination records

    void count(RecordOutcome outcome);
    // An error that belongs to no single record's work (a write on closing, a read between
    // records) counted as a failure: record number 0, no key.
    void countRunFailure(const QString& error);
};

// The frame shared by "Processar", "Atualizar" and "Comparar": close, bind and open both
// tables, walk the source with progress and the per-record error question, close both tables
// whatever happens. The operation supplies the steps before the walk, the work per record and
// the closing steps.
class RecordRun {
public:
    RecordRun(Table& source, Table& destination, RecordRunHost& host)
        : source_(source), destination_(destination), host_(host) {}

    std::function<void()> beforeWalk;  // after the progress window is shown
    std::function<void()> perRecord;   // guarded by the error question
    std::function<void()> closing;     // after both tables are closed and the window hidden
    // After the walk, tables still open (not after a failure that ends the run).
    std::function<void()> afterWalk;
    // The key of the current source record for the failed-records list; without it, or when
    // it fails, the key is left empty.
    std::function<QString()> recordKey;
    // Called by perRecord to say what it did with the current record; Unchanged when it says
    // nothing.
    void tell(RecordOutcome outcome) { outcome_ = outcome; }
    // The result so far (the operations add their unmatched records to it).
    RecordRunResult& result() { return result_; }
    // Set by beforeWalk to go straight to the closing steps without walking.
    bool skipWalk = false;
    // The run is one operation on both table families: all of it is kept, or, when a write
    // fails, none of it (the families are rolled back and the failure is thrown). Its name is
    // what "Desfazer" shows. A dry run (the host's dryRun()) is rolled back at its end.
    QString operationName = QStringLiteral("Processar");

    // Binding or opening errors are thrown before anything is shown (a table opened before
    // the failing one stays open). Errors outside the per-record work end the run and are
    // thrown after the closing steps.
    RecordRunResult run(const QString& sourcePath, const QString& destinationPath);

    // The question asked for a failed record.
    static QString errorQuestion(const QString& errorText);

private:
    static void finishAfterFailure(io::Operation& operation);
    // Tells the host how far a failed run got; `countIt` when the error is not yet counted.
    void reportAbort(const io::Operation& operation, bool countIt, qint64 elapsedMs);

    Table& source_;
    Table& destination_;
    RecordRunHost& host_;
    RecordOutcome outcome_ = RecordOutcome::Unchanged;
    RecordRunResult result_;
};

}  // namespace quillora
