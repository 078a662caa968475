#pragma once

#include "tables/io/Backend.h"

#include <map>
#include <vector>

namespace quillora::io {

// Files held in memory under made-up paths: the fuzzers serve a whole table family from it
// without touching the disk. Locks always succeed; syncs do nothing.
class MemoryBackend : public Backend {
public:
    void put(const QString& path, const QByteArray& content);
    QByteArray content(const QString& path) const;
    void clear();

    int open(const QString& path, OpenMode mode) override;
    void close(int handle) override;
    qint64 pread(int handle, char* buf, qint64 len, qint64 offset) override;
    qint64 pwrite(int handle, const char* buf, qint64 len, qint64 offset) override;
    qint64 size(int handle) override;
    int truncate(int handle, qint64 size) override;
    int sync(int) override { return 0; }
    int chmod(int, unsigned) override { return 0; }
    int lock(int, bool) override { return 0; }
    void unlock(int) override {}
    bool lockedElsewhere(const QString&) override { return false; }
    FileStat stat(const QString& path) override;
    bool canWrite(const QString& path) override { return stat(path).exists; }
    int rename(const QString& from, const QString& to) override;
    int remove(const QString& path) override;
    int syncFolder(const QString&) override { return 0; }
    int makeFolders(const QString&) override { return 0; }
    QStringList list(const QString& folder) override;

    // Writes past this many bytes fail with ENOSPC (a hostile input must not grow a file
    // without bound).
    qint64 maxFileSize = qint64(256) << 20;

private:
    struct Node {
        QByteArray data;
        qint64 mtime = 0;
    };
    Node* node(int handle);
    std::map<QString, std::shared_ptr<Node>> files_;
    std::vector<std::shared_ptr<Node>> handles_;
    qint64 clock_ = 1;
};

}  // namespace quillora::io
