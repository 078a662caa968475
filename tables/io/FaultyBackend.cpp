#include "tables/io/FaultyBackend.h"

#include <csignal>

#include <unistd.h>

namespace quillora::io {

void FaultyBackend::tick()
{
    if (killAt_ > 0 && ++changes_ == killAt_)
        ::kill(::getpid(), SIGKILL);
}

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
    tick();
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
    tick();
    if (size > inner_.size(handle) && strike(Grow))
        return -err_;
    return inner_.truncate(handle, size);
}

int FaultyBackend::sync(int handle)
{
    tick();
    return strike(Sync) ? -err_ : inner_.sync(handle);
}

int FaultyBackend::rename(const QString& from, const QString& to)
{
    tick();
    return strike(Rename) ? -err_ : inner_.rename(from, to);
}

int FaultyBackend::remove(const QString& path)
{
    tick();
    return strike(Rename) ? -err_ : inner_.remove(path);
}

int FaultyBackend::syncFolder(const QString& folder)
{
    tick();
    return strike(Sync) ? -err_ : inner_.syncFolder(folder);
}

}  // namespace quillora::io
