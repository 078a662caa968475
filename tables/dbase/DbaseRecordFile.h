#pragma once

#include <QByteArray>

#include <functional>

#include "tables/io/File.h"

namespace quillora::dbase {

// The records of an open .dbf: a read cache, appends gathered into batches, and in-place
// rewrites. Records are 0-based here; the header and its count belong to the caller, who
// writes them through file().
class DbaseRecordFile {
public:
    io::File& file() { return file_; }
    const io::File& file() const { return file_; }
    // Another handle of the same file takes over (the one writes go through); the cache is dropped.
    void useFile(io::File file);

    void setLayout(int headerLen, int recordLen);
    // The records in the file itself; only while no append waits.
    void setCount(qint64 count);
    // Records of the table: those in the file and the appends not yet written.
    qint64 count() const { return disk_ + pendingCount_; }

    // The image of a record, from the read cache or from the appends not yet written. A walk
    // backward fills the cache with the records before it.
    const char* record(qint64 rec, bool backward = false);
    void dropCache() { cacheCount_ = 0; }

    // A new record at the end of the batch, filled with `blank`, for the caller to build; then
    // either cancelAppend() (nothing was added) or finishAppend(), true when the batch should
    // be written.
    char* startAppend(const QByteArray& blank);
    void cancelAppend();
    bool finishAppend();
    qint64 pendingCount() const { return pendingCount_; }
    // Writes the batch and its end mark past the `counted` records, then calls `commit` (which
    // writes the header's count that makes them visible). When either fails the batch stays in
    // memory and the file is cut back to `counted` records, end mark and count restored, as far
    // as the disk allows.
    void writePending(qint64 counted, const std::function<void()>& commit);

    // A record written over in place, and the cache kept in step.
    void rewrite(qint64 rec, const char* image);
    void markDeleted(qint64 rec);

private:
    void fillCache(qint64 rec, bool backward);
    void cutBackTo(qint64 count) noexcept;
    qint64 offsetOf(qint64 rec) const { return headerLen_ + rec * qint64(recordLen_); }
    bool cached(qint64 rec) const { return rec >= cacheFirst_ && rec < cacheFirst_ + cacheCount_; }

    io::File file_;
    int headerLen_ = 0;
    int recordLen_ = 1;
    qint64 disk_ = 0;  // records in the file

    QByteArray cache_;
    qint64 cacheFirst_ = 0;  // record of cache_[0]
    qint64 cacheCount_ = 0;

    // Appended records not yet in the file, back to back (no end mark).
    QByteArray pending_;
    qint64 pendingCount_ = 0;
    qsizetype appendAt_ = 0;  // where the record being built starts
};

}  // namespace quillora::dbase
