#include "tables/io/File.h"

#include "tables/Error.h"
#include "tables/io/FileOps.h"
#include "tables/io/Journal.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace quillora::io {

namespace {
// Overwrites held past this many bytes go to the disk in one batch (one journal sync).
constexpr qint64 kHeldLimit = qint64(8) << 20;
// Held bytes that need no sync (appends, pages already saved) go sooner: memory stays small.
constexpr qint64 kSyncFreeLimit = qint64(1) << 20;
// A single write this large goes straight through after the journal is synced.
constexpr qint64 kDirectWrite = qint64(1) << 20;
}  // namespace

File::File(const QString& path, OpenMode mode)
{
    const int err = tryOpen(path, mode);
    if (err == -ENOENT)
        throw FileError(QStringLiteral("Arquivo não encontrado: %1").arg(path));
    if (err < 0)
        throw FileError(QStringLiteral("Não foi possível abrir %1: %2").arg(path, errorText(err)));
}

File::~File()
{
    try {
        close();
    } catch (...) {
        // The journal knows the write failed; the operation is rolled back when it ends.
    }
}

File::File(File&& other) noexcept
{
    *this = std::move(other);
}

File& File::operator=(File&& other) noexcept
{
    if (this == &other)
        return *this;
    try {
        close();
    } catch (...) {
    }
    path_ = std::move(other.path_);
    handle_ = std::exchange(other.handle_, -1);
    writable_ = std::exchange(other.writable_, false);
    locked_ = std::exchange(other.locked_, false);
    held_ = std::move(other.held_);
    other.held_.clear();
    heldBytes_ = std::exchange(other.heldBytes_, 0);
    heldEnd_ = std::exchange(other.heldEnd_, 0);
    heldNeedsSync_ = std::exchange(other.heldNeedsSync_, false);
    journal_ = std::exchange(other.journal_, nullptr);
    journalGeneration_ = std::exchange(other.journalGeneration_, ~quint64(0));
    if (journal_ && !held_.empty()) {
        journal_->released(&other);
        journal_->holding(this);
    }
    return *this;
}

int File::tryOpen(const QString& path, OpenMode mode)
{
    close();
    path_ = absolute(path);
    // Another handle of the family may hold overwrites this one must see.
    if (Journal* j = Journal::covering(path_))
        j->flushHeld();
    if (mode != OpenMode::Read) {
        const QString frozen = frozenReason(path_);
        if (!frozen.isEmpty())
            throw FileError(frozen);
        if (mode == OpenMode::Create || mode == OpenMode::Replace) {
            if (Journal* j = Journal::covering(path_)) {
                j->beforeWholeChange(path_);
                j->sync();
            }
        }
    }
    const int h = backend().open(path_, mode);
    if (h < 0) {
        // A family file that cannot be opened for writing in the middle of an operation fails
        // the operation like a failed write.
        if (mode != OpenMode::Read && h != -ENOENT)
            if (Journal* j = Journal::covering(path_))
                j->writeFailed();
        return h;
    }
    handle_ = h;
    writable_ = mode != OpenMode::Read;
    return 0;
}

Journal* File::journal()
{
    const quint64 g = Journal::generation();
    if (g != journalGeneration_) {
        if (journal_ && !held_.empty())
            flushHeld();
        journal_ = Journal::covering(path_);
        journalGeneration_ = g;
    }
    return journal_;
}

void File::fail(const QString& doing, int err) const
{
    throw FileError(QStringLiteral("%1 %2: %3").arg(doing, path_, errorText(err)));
}

qint64 File::readSome(qint64 offset, char* buf, qint64 len) const
{
    qint64 done = 0;
    while (done < len) {
        const qint64 n = backend().pread(handle_, buf + done, len - done, offset + done);
        if (n < 0)
            fail(QStringLiteral("Erro ao ler"), int(-n));
        if (n == 0)
            break;
        done += n;
    }
    if (held_.empty() || len <= 0)
        return done;
    // Held overwrites are newer than the disk; where they lie past its end, the bytes between
    // read as the zeros the file will hold there.
    const qint64 count = std::min(len, std::max(done, heldEnd_ - offset));
    if (count > done)
        std::memset(buf + done, 0, size_t(count - done));
    auto it = held_.upper_bound(offset);
    if (it != held_.begin())
        --it;
    for (; it != held_.end() && it->first < offset + count; ++it) {
        const qint64 from = std::max(offset, it->first);
        const qint64 to = std::min(offset + count, it->first + qint64(it->second.size()));
        if (from < to)
            std::memcpy(buf + (from - offset), it->second.constData() + (from - it->first), size_t(to - from));
    }
    return count;
}

void File::read(qint64 offset, char* buf, qint64 len) const
{
    if (readSome(offset, buf, len) != len)
        throw FileError(QStringLiteral("Erro ao ler %1: fim inesperado do arquivo").arg(path_));
}

QByteArray File::read(qint64 offset, qint64 len) const
{
    QByteArray out(len, Qt::Uninitialized);
    read(offset, out.data(), len);
    return out;
}

QByteArray File::readAll() const
{
    const qint64 n = size();
    QByteArray out(n, Qt::Uninitialized);
    out.resize(readSome(0, out.data(), n));
    return out;
}

qint64 File::size() const
{
    const qint64 n = backend().size(handle_);
    if (n < 0)
        fail(QStringLiteral("Erro ao ler"), int(-n));
    return std::max(n, heldEnd_);
}

void File::writeThrough(qint64 offset, const char* data, qint64 len)
{
    qint64 done = 0;
    while (done < len) {
        const qint64 n = backend().pwrite(handle_, data + done, len - done, offset + done);
        if (n <= 0) {
            if (journal_)
                journal_->writeFailed();
            fail(QStringLiteral("Erro ao gravar"), n < 0 ? int(-n) : EIO);
        }
        done += n;
    }
}

void File::hold(qint64 offset, const char* data, qint64 len)
{
    qint64 start = offset;
    qint64 end = offset + len;
    // Merge with every held range that overlaps or touches [start, end).
    auto it = held_.upper_bound(start);
    if (it != held_.begin()) {
        auto before = std::prev(it);
        if (before->first + before->second.size() >= start)
            it = before;
    }
    if (it == held_.end() || it->first > end) {
        QByteArray bytes = std::exchange(spare_, QByteArray());
        bytes.resize(0);
        bytes.append(data, len);
        held_.emplace(offset, std::move(bytes));
        heldBytes_ += len;
    } else {
        QByteArray merged;
        start = std::min(start, it->first);
        auto last = it;
        while (last != held_.end() && last->first <= end) {
            end = std::max(end, last->first + qint64(last->second.size()));
            ++last;
        }
        if (it->first == start && std::next(it) == last) {
            // The common case: extending or rewriting inside one range.
            QByteArray& bytes = it->second;
            heldBytes_ -= bytes.size();
            if (end > start + bytes.size())
                bytes.resize(end - start);
            std::memcpy(bytes.data() + (offset - start), data, size_t(len));
            heldBytes_ += bytes.size();
        } else {
            merged.resize(end - start);
            for (auto i = it; i != last; ++i) {
                std::memcpy(merged.data() + (i->first - start), i->second.constData(), size_t(i->second.size()));
                heldBytes_ -= i->second.size();
            }
            std::memcpy(merged.data() + (offset - start), data, size_t(len));
            held_.erase(it, last);
            heldBytes_ += merged.size();
            held_.emplace(start, std::move(merged));
        }
    }
    heldEnd_ = std::max(heldEnd_, end);
    journal_->holding(this);
}

void File::write(qint64 offset, const char* data, qint64 len)
{
    if (len <= 0)
        return;
    if (!writable_)
        throw FileError(QStringLiteral("Erro ao gravar %1: o arquivo foi aberto só para leitura").arg(path_));
    Journal* j = journal();
    if (!j) {
        writeThrough(offset, data, len);
        return;
    }
    if (len >= kDirectWrite) {
        flushHeld();
        try {
            j->beforeWrite(path_, offset, len);
            j->sync();
        } catch (...) {
            j->writeFailed();
            throw;
        }
        writeThrough(offset, data, len);
        return;
    }
    hold(offset, data, len);
    if (heldBytes_ >= kHeldLimit || (heldBytes_ >= kSyncFreeLimit && (!j->synced() || !heldNeedsSync())))
        flushHeld();
}

void File::flushHeld()
{
    if (held_.empty())
        return;
    Journal* j = journal_;
    if (j) {
        try {
            for (const auto& [offset, bytes] : held_)
                j->beforeWrite(path_, offset, bytes.size());
            j->sync();
        } catch (...) {
            j->writeFailed();
            release();
            throw;
        }
    }
    try {
        for (const auto& [offset, bytes] : held_)
            writeThrough(offset, bytes.constData(), bytes.size());
    } catch (...) {
        release();
        throw;
    }
    release();
}

bool File::heldNeedsSync()
{
    if (!heldNeedsSync_) {
        for (const auto& [offset, bytes] : held_) {
            if (journal_->needsSyncBefore(path_, offset, bytes.size())) {
                heldNeedsSync_ = true;  // until the held bytes are written
                break;
            }
        }
    }
    return heldNeedsSync_;
}

void File::release()
{
    for (auto& [offset, bytes] : held_)
        if (bytes.capacity() > spare_.capacity())
            spare_ = std::move(bytes);
    held_.clear();
    heldBytes_ = 0;
    heldEnd_ = 0;
    heldNeedsSync_ = false;
    if (journal_)
        journal_->released(this);
}

void File::resize(qint64 size)
{
    flushHeld();
    if (Journal* j = journal()) {
        try {
            j->beforeResize(path_, size);
            j->sync();
        } catch (...) {
            j->writeFailed();
            throw;
        }
    }
    const int rc = backend().truncate(handle_, size);
    if (rc < 0) {
        if (journal_)
            journal_->writeFailed();
        fail(QStringLiteral("Erro ao gravar"), -rc);
    }
}

void File::sync()
{
    if (Journal* j = journal())
        j->flushHeld();
    flushHeld();
    const int rc = backend().sync(handle_);
    if (rc < 0) {
        if (journal_)
            journal_->writeFailed();
        throw FileError(QStringLiteral("Erro ao gravar %1 no disco: %2").arg(path_, errorText(rc)));
    }
}

bool File::tryLock(bool exclusive)
{
    const int rc = backend().lock(handle_, exclusive);
    if (rc == -EWOULDBLOCK || rc == -EAGAIN)
        return false;
    if (rc < 0)
        fail(QStringLiteral("Não foi possível bloquear"), -rc);
    locked_ = true;
    return true;
}

void File::unlock()
{
    if (locked_ && handle_ >= 0)
        backend().unlock(handle_);
    locked_ = false;
}

void File::chmod(unsigned mode)
{
    const int rc = backend().chmod(handle_, mode);
    if (rc < 0)
        fail(QStringLiteral("Erro ao gravar"), -rc);
}

void File::close()
{
    if (handle_ < 0)
        return;
    struct Closer {
        File* f;
        ~Closer()
        {
            f->unlock();
            backend().close(f->handle_);
            f->handle_ = -1;
            f->writable_ = false;
        }
    } closer{this};
    flushHeld();
}

}  // namespace quillora::io
