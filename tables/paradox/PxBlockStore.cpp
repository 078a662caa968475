#include "tables/paradox/PxBlockStore.h"

#include "tables/Error.h"
#include "tables/paradox/PxCodec.h"

#include <algorithm>

namespace quillora::px {

namespace {
constexpr int kBuffers = 16;
}

BlockStore::BlockStore(io::File& file, QString path, std::function<int(int)> usedBytes)
    : file_(file), path_(std::move(path)), usedBytes_(std::move(usedBytes)), buffers_(kBuffers)
{
}

void BlockStore::setLayout(int headerSize, int blockSize, quint32 key)
{
    headerSize_ = headerSize;
    blockSize_ = blockSize;
    key_ = key;
}

void BlockStore::damaged(const QString& what) const
{
    throw FileError(QStringLiteral("Tabela Paradox danificada: %1 (%2)").arg(path_, what));
}

void BlockStore::setCapacity(int count)
{
    count = std::max(count, 4);
    if (count == int(buffers_.size()))
        return;
    for (Block& b : buffers_)
        if (b.no && b.dirty)
            write(b);
    forget();
    buffers_.assign(size_t(count), Block());
}

BlockStore::Block& BlockStore::get(int no)
{
    if (lastHit_ >= 0 && buffers_[size_t(lastHit_)].no == no) {
        buffers_[size_t(lastHit_)].recent = true;
        return buffers_[size_t(lastHit_)];
    }
    if (no >= 0 && size_t(no) < where_.size() && where_[size_t(no)] >= 0) {
        lastHit_ = where_[size_t(no)];
        Block& b = buffers_[size_t(lastHit_)];
        b.recent = true;
        return b;
    }
    if (no < 1 || no > blockCount_)
        damaged(QStringLiteral("bloco %1 fora do arquivo").arg(no));
    // Two rounds of the hand clear every mark, so a buffer that is not pinned turns up.
    const int n = int(buffers_.size());
    int victim = -1;
    for (int step = 0; step < 2 * n + 1; ++step) {
        Block& b = buffers_[size_t(hand_)];
        const int at = hand_;
        hand_ = (hand_ + 1) % n;
        if (b.pins > 0)
            continue;
        if (b.recent && b.no) {
            b.recent = false;
            continue;
        }
        victim = at;
        break;
    }
    if (victim < 0)
        throw Error(QStringLiteral("Tabela %1: blocos demais em uso ao mesmo tempo").arg(path_));
    Block& c = buffers_[size_t(victim)];
    if (c.no) {
        if (c.dirty)
            write(c);
        where_[size_t(c.no)] = -1;
    }
    c.no = 0;
    const qint64 at = headerSize_ + qint64(no - 1) * blockSize_;
    if (c.data.size() != blockSize_)
        c.data = QByteArray(blockSize_, '\0');
    const qint64 avail = std::min<qint64>(blockSize_, fileSize_ - at);
    if (avail <= 0) {
        c.data.fill('\0');  // allocated but not yet written
    } else {
        if (avail < blockSize_)
            c.data.fill('\0');
        if (file_.readSome(at, c.data.data(), avail) != avail)
            damaged(QStringLiteral("bloco %1 ilegível").arg(no));
        if (key_)
            decryptBlock(c.data.data(), blockSize_, key_, no);
    }
    c.no = no;
    c.dirty = false;
    c.recent = true;
    if (size_t(no) >= where_.size())
        where_.resize(size_t(std::max(no, blockCount_)) + 1, -1);
    where_[size_t(no)] = victim;
    lastHit_ = victim;
    return c;
}

void BlockStore::write(Block& c)
{
    const int used = usedBytes_(c.no);
    if (used < blockSize_)
        std::memset(c.data.data() + used, 0, size_t(blockSize_ - used));
    const qint64 at = headerSize_ + qint64(c.no - 1) * blockSize_;
    if (key_) {
        QByteArray enc = c.data;
        encryptBlock(enc.data(), blockSize_, key_, c.no);
        file_.write(at, enc.constData(), blockSize_);
    } else {
        file_.write(at, c.data.constData(), blockSize_);
    }
    fileSize_ = std::max(fileSize_, at + blockSize_);
    c.dirty = false;
}

void BlockStore::forget()
{
    for (Block& b : buffers_) {
        b.no = 0;
        b.dirty = false;
        b.recent = false;
    }
    where_.clear();
    hand_ = 0;
    lastHit_ = -1;
}

}  // namespace quillora::px
