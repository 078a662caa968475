#pragma once

#include "tables/io/Backend.h"

namespace quillora::io {

// Passes every call to another backend, and makes one chosen call fail: the Nth call of the
// kinds asked for (counting from 1) returns the error given. Tests walk N over a whole run to
// prove every failure path.
class FaultyBackend : public Backend {
public:
    enum Kind : unsigned {
        Write = 1,   // pwrite
        Sync = 2,    // file and folder syncs
        Grow = 4,    // truncate to a larger size
        Rename = 8,  // rename and remove
        Open = 16,   // opening for writing
        All = 31,
    };

    explicit FaultyBackend(Backend& inner) : inner_(inner) {}
    void failAt(qint64 n, unsigned kinds, int err)
    {
        failAt_ = n;
        kinds_ = kinds;
        err_ = err;
        counted_ = 0;
        fired_ = false;
    }
    // Kills this process (SIGKILL) at its Nth call that changes the disk (write, truncation,
    // sync, rename, removal): tests walk N over a run to prove that every interruption is
    // recovered.
    void killAt(qint64 n) { killAt_ = n; }
    // Calls of the chosen kinds seen so far; whether the failure happened.
    qint64 counted() const { return counted_; }
    bool fired() const { return fired_; }

    int open(const QString& path, OpenMode mode) override;
    void close(int handle) override { inner_.close(handle); }
    qint64 pread(int handle, char* buf, qint64 len, qint64 offset) override
    {
        return inner_.pread(handle, buf, len, offset);
    }
    qint64 pwrite(int handle, const char* buf, qint64 len, qint64 offset) override;
    qint64 size(int handle) override { return inner_.size(handle); }
    int truncate(int handle, qint64 size) override;
    int sync(int handle) override;
    int chmod(int handle, unsigned mode) override { return inner_.chmod(handle, mode); }
    int lock(int handle, bool exclusive) override { return inner_.lock(handle, exclusive); }
    void unlock(int handle) override { inner_.unlock(handle); }
    bool lockedElsewhere(const QString& path) override { return inner_.lockedElsewhere(path); }
    FileStat stat(const QString& path) override { return inner_.stat(path); }
    bool canWrite(const QString& path) override { return inner_.canWrite(path); }
    int rename(const QString& from, const QString& to) override;
    int remove(const QString& path) override;
    int syncFolder(const QString& folder) override;
    int makeFolders(const QString& folder) override { return inner_.makeFolders(folder); }
    QStringList list(const QString& folder) override { return inner_.list(folder); }

private:
    // True when this call is the one to fail.
    bool strike(Kind kind);
    void tick();

    Backend& inner_;
    qint64 failAt_ = 0;
    unsigned kinds_ = 0;
    int err_ = 0;
    qint64 counted_ = 0;
    bool fired_ = false;
    qint64 killAt_ = 0;
    qint64 changes_ = 0;
};

}  // namespace quillora::io
