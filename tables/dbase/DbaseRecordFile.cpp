#include "tables/dbase/DbaseRecordFile.h"

#include "tables/io/Endian.h"

#include <algorithm>
#include <cstring>

namespace quillora::dbase {

namespace {

constexpr qint64 kCacheBytes = 64 * 1024;
constexpr qint64 kJumpCacheBytes = 1024;
// Appends are written in batches of about this size, each followed by one header update.
constexpr qint64 kAppendBatchBytes = 64 * 1024;
constexpr qint64 kAppendBatchRecords = 1000;

}  // namespace

void DbaseRecordFile::useFile(io::File file)
{
    file_ = std::move(file);
    cacheCount_ = 0;
}

void DbaseRecordFile::setLayout(int headerLen, int recordLen)
{
    headerLen_ = headerLen;
    recordLen_ = recordLen;
}

void DbaseRecordFile::setCount(qint64 count)
{
    disk_ = count;
}

void DbaseRecordFile::fillCache(qint64 rec, bool backward)
{
    // A walk that runs on from the records in hand reads a large window; a jump elsewhere (a
    // search landing on one record) reads only a page's worth, so random access stays cheap.
    const bool continues = cacheCount_ > 0 && (backward ? rec == cacheFirst_ - 1 : rec == cacheFirst_ + cacheCount_);
    const qint64 bytes = continues ? kCacheBytes : kJumpCacheBytes;
    const qint64 window = std::max<qint64>(1, bytes / recordLen_);
    qint64 start = backward ? std::max<qint64>(0, rec - window + 1) : rec;
    const qint64 n = std::min(window, disk_ - start);
    cache_.resize(n * recordLen_);
    cacheFirst_ = start;
    cacheCount_ = 0;
    file_.read(offsetOf(start), cache_.data(), n * recordLen_);
    cacheCount_ = n;
}

const char* DbaseRecordFile::record(qint64 rec, bool backward)
{
    if (rec >= disk_)
        return pending_.constData() + (rec - disk_) * recordLen_;
    if (!cached(rec))
        fillCache(rec, backward);
    return cache_.constData() + (rec - cacheFirst_) * recordLen_;
}

char* DbaseRecordFile::startAppend(const QByteArray& blank)
{
    appendAt_ = pending_.size();
    pending_.resize(appendAt_ + recordLen_);
    std::memcpy(pending_.data() + appendAt_, blank.constData(), size_t(recordLen_));
    return pending_.data() + appendAt_;
}

void DbaseRecordFile::cancelAppend()
{
    pending_.resize(appendAt_);
}

bool DbaseRecordFile::finishAppend()
{
    ++pendingCount_;
    return pending_.size() >= kAppendBatchBytes || pendingCount_ >= kAppendBatchRecords;
}

void DbaseRecordFile::writePending(qint64 counted, const std::function<void()>& commit)
{
    // Records and end mark, then the count: readers trust the count, so a crash before it
    // leaves the table as it was.
    pending_.append('\x1A');
    try {
        file_.write(offsetOf(disk_), pending_);
        commit();
    } catch (...) {
        // The batch stays in memory; on disk nothing may lie past what the header counts
        // (other readers take records up to the end mark, whatever the count says).
        pending_.chop(1);
        cutBackTo(counted);
        throw;
    }
    disk_ += pendingCount_;
    pending_.resize(0);  // keeps its capacity for the next batch
    pendingCount_ = 0;
}

void DbaseRecordFile::cutBackTo(qint64 count) noexcept
{
    const qint64 end = offsetOf(count);
    try {
        file_.resize(end);
    } catch (...) {
    }
    try {
        file_.write(end, "\x1A", 1);
    } catch (...) {
    }
    try {
        // The count may have been half written.
        char bytes[4];
        io::putLe32(bytes, quint32(count));
        file_.write(4, bytes, 4);
    } catch (...) {
    }
}

void DbaseRecordFile::rewrite(qint64 rec, const char* image)
{
    file_.write(offsetOf(rec), image, recordLen_);
    if (cached(rec))
        std::memcpy(cache_.data() + (rec - cacheFirst_) * recordLen_, image, size_t(recordLen_));
}

void DbaseRecordFile::markDeleted(qint64 rec)
{
    file_.write(offsetOf(rec), "*", 1);
    if (cached(rec))
        cache_[(rec - cacheFirst_) * recordLen_] = '*';
}

}  // namespace quillora::dbase
