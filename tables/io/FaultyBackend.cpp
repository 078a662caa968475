#include "tables/io/FaultyBackend.h"

namespace quillora::io {

bool FaultyBackend::strike(Kind kind)
{
    if (!(kinds_ & kind) || fired_ || failAt_ <= 0)
        return false;
    if (++counted_ != failAt_)
        return false;
    fired_ = true;

    return true;
}

int FaultyBackend::open(const QString& path, OpenMode mode)
{
    if (mode != OpenMode::Read && strike(Open))
        return -err_;
    return inner_.open(path, mode);
}

qint64 FaultyBackend::pwrite(int handle, const char* buf, qint64 len, qint64 offset)
{
    if (strike(Write)) {
        // A disk that fills up mid-write keeps part of it: the torn tail is what recovery meets.
        if (len > 1)
            inner_.pwrite(handle, buf, len / 2, offset);
        return -err_;
    }
    return inner_.pwrite(handle, buf, len, offset);
}

int FaultyBackend::truncate(int handle, qint64 size)
{
    if (size > inner_.size(handle) && strike(Grow))
        return -err_;
    return inner_.truncate(handle, size);
}

int FaultyBackend::sync(int handle)
{
    return strike(Sync) ? -err_ : inner_.sync(handle);
}

int FaultyBackend::rename(const QString& from, const QString& to)
{
    return strike(Rename) ? -err_ : inner_.rename(from, to);
}

int FaultyBackend::remove(const QString& path)
{
    return strike(Rename) ? -err_ : inner_.remove(path);
}

int FaultyBackend::syncFolder(const QString& folder)
{
    return strike(Sync) ? -err_ : inner_.syncFolder(folder);
}

}  // namespace quillora::io
