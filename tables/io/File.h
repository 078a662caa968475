#pragma once

#include "tables/io/Backend.h"

#include <QByteArray>
#include <QString>

#include <map>

namespace quillora::io {

class Journal;

// An open file of a table family. Closes itself; every read and write covers the whole range
// asked for (short transfers and EINTR are handled below) or throws a FileError whose text names
// the file and the reason in Portuguese.
//
// While an operation keeps a journal for the file's family, overwrites are held in memory and
// reach the disk in batches, each only after the journal holds the bytes it replaces (see
// Journal.h); reads see the held bytes. Outside an operation every write goes straight to the
// file.
class File {
public:
    File() = default;
    File(const QString& path, OpenMode mode);  // throws FileError
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens without throwing: the -errno of the failure, or 0.
    int tryOpen(const QString& path, OpenMode mode);
    bool isOpen() const { return handle_ >= 0; }
    bool isWritable() const { return writable_; }
    const QString& path() const { return path_; }

    // Exactly len bytes from offset; a file that ends before throws ("fim inesperado").
    void read(qint64 offset, char* buf, qint64 len) const;
    QByteArray read(qint64 offset, qint64 len) const;
    // Up to len bytes; fewer where the file ends. Returns the count.
    qint64 readSome(qint64 offset, char* buf, qint64 len) const;
    QByteArray readAll() const;

    void write(qint64 offset, const char* data, qint64 len);
    void write(qint64 offset, const QByteArray& data) { write(offset, data.constData(), data.size()); }
    qint64 size() const;
    // Grows (with zero bytes) or truncates.
    void resize(qint64 size);
    // Everything written so far is on the disk when this returns.
    void sync();
    // The advisory lock of the whole file; false when another program holds it.
    bool tryLock(bool exclusive);
    void unlock();
    void chmod(unsigned mode);
    // Writes what is held and closes; errors are thrown (the destructor swallows them, having
    // told the journal so that the operation is rolled back).
    void close();

    // Writes the held overwrites to the file (the journal first). Used by the journal.
    void flushHeld();
    bool hasHeld() const { return !held_.empty(); }

private:
    [[noreturn]] void fail(const QString& doing, int err) const;
    Journal* journal();
    void writeThrough(qint64 offset, const char* data, qint64 len);
    void hold(qint64 offset, const char* data, qint64 len);
    void release();
    bool heldNeedsSync();

    QString path_;
    int handle_ = -1;
    bool writable_ = false;
    bool locked_ = false;
    // Overwrites waiting for the journal, by offset; never overlapping, adjacent ones merged.
    std::map<qint64, QByteArray> held_;
    qint64 heldBytes_ = 0;
    qint64 heldEnd_ = 0;
    bool heldNeedsSync_ = false;
    // The room of the largest range last released: a run that rewrites a file holds ranges of
    // megabytes again and again, and fresh memory each time costs page faults.
    QByteArray spare_;
    Journal* journal_ = nullptr;
    quint64 journalGeneration_ = ~quint64(0);
};

}  // namespace quillora::io
