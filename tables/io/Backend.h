#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// The system calls under every table file, behind one interface: the real file system for the
// program, a family of files held in memory for the fuzzers, and a wrapper that makes the Nth
// write, sync, grow or rename fail for the tests. Calls return 0 or a count on success and
// -errno on failure; nothing here throws.
namespace quillora::io {

enum class OpenMode {
    Read,       // existing file, read only
    ReadWrite,  // existing file
    Create,     // read and write, created when missing, kept when present
    Replace,    // read and write, created or emptied
};

struct FileStat {
    bool exists = false;
    bool isDir = false;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    unsigned mode = 0644;
};

class Backend {
public:
    virtual ~Backend();

    virtual int open(const QString& path, OpenMode mode) = 0;  // a handle >= 0, or -errno
    virtual void close(int handle) = 0;
    virtual qint64 pread(int handle, char* buf, qint64 len, qint64 offset) = 0;
    virtual qint64 pwrite(int handle, const char* buf, qint64 len, qint64 offset) = 0;
    virtual qint64 size(int handle) = 0;
    virtual int truncate(int handle, qint64 size) = 0;
    virtual int sync(int handle) = 0;
    virtual int chmod(int handle, unsigned mode) = 0;
    // Advisory lock of the whole file for this handle; -EWOULDBLOCK when another holds it.
    virtual int lock(int handle, bool exclusive) = 0;
    virtual void unlock(int handle) = 0;
    // Whether another process holds a lock on the file (without taking one).
    virtual bool lockedElsewhere(const QString& path) = 0;

    virtual FileStat stat(const QString& path) = 0;
    // Whether this program may write the file or folder (without opening it for writing).
    virtual bool canWrite(const QString& path) = 0;
    virtual int rename(const QString& from, const QString& to) = 0;
    virtual int remove(const QString& path) = 0;
    virtual int syncFolder(const QString& folder) = 0;
    virtual int makeFolders(const QString& folder) = 0;
    // The names of the entries of a folder (no paths), in no particular order.
    virtual QStringList list(const QString& folder) = 0;
};

// The backend every File and file operation uses now.
Backend& backend();
// The real file system.
Backend& posixBackend();

// Puts another backend in place for as long as it lives (tests and fuzzers).
class ScopedBackend {
public:
    explicit ScopedBackend(Backend& replacement);
    ~ScopedBackend();
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    Backend* previous_;
};

// The error text of an errno value, in Portuguese where users meet it ("sem espaço em disco").
QString errorText(int err);

}  // namespace quillora::io
