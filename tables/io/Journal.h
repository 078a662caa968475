#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace quillora::io {

class File;

// The rollback journal of one table family for one operation (the technique of SQLite's
// rollback journal). Before any byte of an existing family file is overwritten for the first
// time in the operation, the page holding it goes into the journal, and the journal reaches the
// disk before the overwrite does; for a file that grows, its original size; for a file replaced,
// removed or created, its whole original content or its absence. Each record carries a checksum,
// so a journal torn by a crash is read up to its last whole record, which covers every change
// that reached the files.
//
// When the operation ends normally the journal is marked complete and kept, with the size and
// modification stamp each file had at the end: it is the undo record of that operation. A
// journal not marked complete when its table is opened again belongs to an operation that was
// interrupted, and the family is rolled back before anything else.
//
// The journal is the file TABLE.quillora-journal beside the table (CLIENTES.dbf.quillora-journal)
// or, where the table's folder cannot take a new file, a file named from the table's full path
// in the user's state folder.
class Journal {
public:
    Journal(const QString& tablePath, const QString& operation);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const QString& tablePath() const { return tablePath_; }
    // Whether a file belongs to this table's family: the same folder, and a name that is the
    // table's name with another extension (CLIENTES.DBT, CLIENTES.X02, CLIENTES.ndx.novo).
    bool covers(const QString& absPath) const;
    // Whether any change reached the family (the journal file exists).
    bool started() const { return handle_ >= 0; }
    bool failed() const { return failed_; }

    // --- What the file layer tells it ----------------------------------------------------
    // Before bytes [offset, offset+len) of a file are overwritten.
    void beforeWrite(const QString& absPath, qint64 offset, qint64 len);
    // Before a file is truncated or grown to newSize.
    void beforeResize(const QString& absPath, qint64 newSize);
    // Before a file is replaced, removed or renamed away: its whole content.
    void beforeWholeChange(const QString& absPath);
    // Makes everything recorded so far durable; the file layer calls it before it lets a
    // change reach the disk.
    void sync();
    // Whether bytes [offset, offset+len) of a file may reach the disk only after a sync (the
    // bytes they replace not yet saved, or what was recorded not yet durable).
    bool needsSyncBefore(const QString& absPath, qint64 offset, qint64 len) const;
    // Whether the journal was made durable at least once (the first sync is due anyway).
    bool synced() const { return synced_; }
    // A write into the family failed: the operation will be rolled back.
    void writeFailed() { failed_ = true; }
    // Files holding overwrites for this journal, written out together after each sync.
    void holding(File* file) { holders_.insert(file); }
    void released(File* file) { holders_.erase(file); }
    void flushHeld();

    // --- How the operation ends ----------------------------------------------------------
    // Marks the journal complete (the undo record). Throws FileError when it cannot be written.
    void complete();
    // Lets go of the journal file (and its lock) once the operation has ended.
    void release();
    // Puts every file of the family back as it was before the operation and removes the journal.
    void rollback();

    // The active journal covering a file, or null. generation() changes whenever journals begin
    // or end, so that files can keep their answer.
    static Journal* covering(const QString& absPath);
    static quint64 generation();

private:
    struct Entry;
    Entry& entry(const QString& absPath);
    void open();
    void append(int type, const QByteArray& payload);
    void recordAppended();  // after a record is in the buffer: written out once it is large
    void savePages(Entry& e, qint64 first, qint64 last);
    void writeBuffer();

    QString tablePath_;
    QString folder_;
    QString stem_;  // the table's name up to its extension, upper case
    QString operation_;
    QString journalPath_;
    int handle_ = -1;
    qint64 journalSize_ = 0;
    QByteArray buffer_;
    bool needsSync_ = false;
    bool synced_ = false;
    bool failed_ = false;
    bool completed_ = false;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::set<File*> holders_;
};

// What happened when a table's journal was looked at on opening.
struct Recovery {
    enum Kind { None, RolledBack, ReadOnly } kind = None;
    QString message;  // for the user, in Portuguese
};

// Before a table is opened: rolls back an interrupted operation of its family. Does nothing
// while another program holds the journal (its operation is still running).
Recovery recoverFamily(const QString& tablePath);
// Shown to the user by the program (message box) or the CLI (standard error).
void setRecoveryNotifier(std::function<void(const Recovery&)> notifier);
// Whether writes to the family are refused (a journal that could not be rolled back).
QString frozenReason(const QString& absPath);

// The undo record of a table: the operation it undoes, or empty with `why` when there is none.
QString undoableOperation(const QString& tablePath, QString* why = nullptr);
// Restores every file of the family as it was before the last operation. Throws FileError
// (nothing to undo, a file changed since, a write that failed).
void undo(const QString& tablePath);

// The error of an operation whose write failed and that was rolled back.
QString rolledBackMessage(const QString& failure);

// The journals of one operation over one or more tables, begun together and ended together.
// Journals are created only when a change first reaches a family. finish() marks them complete,
// or rolls every one back when a write into any of them failed or when the run was a trial
// (dry run). The tables must be closed before finish().
class Operation {
public:
    Operation(const QString& name, const QStringList& tablePaths, bool dryRun = false);
    ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Ends the operation; returns true when the changes were kept, false when they were rolled
    // back (a trial, a failed write, or a journal that could not be marked complete: then
    // failure() says why). Throws FileError only when a rollback itself failed.
    bool finish();
    // The common end of an operation: closeTables closes every table of it (writing what they
    // hold), then the operation finishes. When a write failed, before or while closing, the
    // families are rolled back and a FileError is thrown with the rolled-back message naming
    // `failure` (or the first closing error, or why the journal could not be completed). A
    // closing error that is no failed write is thrown as it is, after the operation ends.
    void closeAndFinish(const std::function<void()>& closeTables, const QString& failure = {});
    bool failed() const;
    // After finish(): whether the changes were kept (false when they were rolled back).
    bool kept() const { return finished_ && kept_; }
    const QString& failure() const { return failure_; }
    bool dryRun() const { return dryRun_; }

    // Benchmarks only: QUILLORA_NO_JOURNAL=1 runs operations without journals.
    static bool journalsEnabled();

private:
    std::vector<std::unique_ptr<Journal>> journals_;
    bool dryRun_ = false;
    bool finished_ = false;
    bool kept_ = false;
    QString failure_;
};

}  // namespace quillora::io
