#include "tables/paradox/PxBlockChain.h"

#include "tables/Error.h"
#include "tables/paradox/PxCodec.h"

#include <algorithm>
#include <cstring>

namespace quillora::px {

BlockChain::BlockChain(TableHeader& header, BlockStore& blocks, io::File& file, QString path)
    : h_(header), blocks_(blocks), file_(file), path_(std::move(path))
{
}

PrimaryIndex::TableView BlockChain::indexView()
{
    return {h_, order_, place_, count_, firstKey_, [this](int b) { return records(b); }};
}

void BlockChain::damaged(const QString& what) const
{
    px::damaged(path_, what);
}

// --- Opening ----------------------------------------------------------------------------------

const char* BlockChain::blockHeader(int b, char* scratch)
{
    // An encrypted block is read whole to be decoded; a plain one needs only its six bytes.
    if (h_.key)
        return blocks_.get(b).data.constData();
    if (file_.readSome(h_.headerSize + qint64(b - 1) * h_.blockSize, scratch, 6) != 6)
        return nullptr;
    return scratch;
}

void BlockChain::walk()
{
    const int n = h_.fileBlocks;
    next_.assign(size_t(n) + 1, 0);
    prev_.assign(size_t(n) + 1, 0);
    count_.assign(size_t(n) + 1, -1);
    place_.assign(size_t(n) + 1, -1);
    order_.clear();
    total_ = 0;
    int b = le16(h_.bytes.constData() + 0x0E);
    char scratch[6];
    while (b != 0) {
        if (b < 1 || b > n)
            damaged(QStringLiteral("bloco %1 fora do arquivo (%2 blocos)").arg(b).arg(n));
        if (place_[size_t(b)] >= 0)
            damaged(QStringLiteral("encadeamento de blocos em laço no bloco %1").arg(b));
        const char* bp = blockHeader(b, scratch);
        if (!bp)
            damaged(QStringLiteral("bloco %1 ilegível").arg(b));
        const int nx = le16(bp);
        const int pv = le16(bp + 2);
        const int add = qint16(le16(bp + 4));
        if (add < -h_.recordSize || (add + h_.recordSize) % h_.recordSize != 0)
            damaged(QStringLiteral("bloco %1 com deslocamento de dados %2").arg(b).arg(add));
        const int cnt = add / h_.recordSize + 1;
        if (cnt > h_.capacity)
            damaged(QStringLiteral("bloco %1 diz ter %2 registros, cabem %3").arg(b).arg(cnt).arg(h_.capacity));
        if (h_.headerSize + qint64(b - 1) * h_.blockSize + 6 + qint64(cnt) * h_.recordSize > blocks_.fileSize())
            damaged(QStringLiteral("bloco %1 cortado no fim do arquivo").arg(b));
        // A write stopped before it reached this block leaves its back pointer behind.
        const int chainPrev = order_.empty() ? 0 : order_.back();
        if (pv != chainPrev)
            outOfStep_.push_back(b);
        next_[size_t(b)] = nx;
        prev_[size_t(b)] = chainPrev;
        count_[size_t(b)] = cnt;
        place_[size_t(b)] = int(order_.size());
        order_.push_back(b);
        total_ += cnt;
        b = nx;
    }
    placesFrom_ = order_.size();
    orderChanged();
    hideUncountedRecords();
    walkFreeList();
}

void BlockChain::hideUncountedRecords()
{
    // Data blocks are written before the header that counts their records, so a write that
    // stopped in between leaves records in the blocks that the header does not count. Other
    // readers (pxlib, the BDE) take the header's count of records in chain order; so does this
    // one, and the first write puts the blocks in step (putInStep()).
    const qint64 counted = le32(h_.bytes.constData() + 6);
    if (counted >= total_)
        return;
    qint64 left = counted;
    for (int b : order_) {
        if (count_[size_t(b)] > left) {
            count_[size_t(b)] = int(left);
            outOfStep_.push_back(b);
        }
        left -= count_[size_t(b)];
    }
    while (!order_.empty() && count_[size_t(order_.back())] == 0) {
        const int b = order_.back();
        order_.pop_back();
        place_[size_t(b)] = -1;
        orphans_.push_back(b);
        if (!order_.empty())
            next_[size_t(order_.back())] = 0;
    }
    total_ = counted;
    orderChanged();
}

void BlockChain::walkFreeList()
{
    freeListProblem_.clear();
    std::vector<bool> seen(size_t(h_.fileBlocks) + 1, false);
    int b = h_.firstFree;
    char scratch[6];
    while (b != 0) {
        if (b < 1 || b > h_.fileBlocks || seen[size_t(b)] || place_[size_t(b)] >= 0) {
            freeListProblem_ = QStringLiteral("lista de blocos livres inválida no bloco %1").arg(b);
            return;
        }
        seen[size_t(b)] = true;
        const char* bp = blockHeader(b, scratch);
        if (!bp) {
            freeListProblem_ = QStringLiteral("bloco livre %1 ilegível").arg(b);
            return;
        }
        next_[size_t(b)] = le16(bp);
        count_[size_t(b)] = 0;
        b = next_[size_t(b)];
    }
}

bool BlockChain::putInStep()
{
    // Blocks a stopped write added to the file but did not link yet go to the free list.
    if (freeListProblem_.isEmpty()) {
        std::vector<bool> known(size_t(h_.fileBlocks) + 1, false);
        for (int b = h_.firstFree; b != 0; b = next_[size_t(b)])
            known[size_t(b)] = true;
        for (int b : orphans_)
            known[size_t(b)] = true;
        for (int b = 1; b <= h_.fileBlocks; ++b)
            if (!known[size_t(b)] && place_[size_t(b)] < 0)
                orphans_.push_back(b);
    }
    if (outOfStep_.empty() && orphans_.empty())
        return false;
    for (int b : outOfStep_)
        if (place_[size_t(b)] >= 0)
            setBlockHeader(b);
    if (!order_.empty())
        setBlockHeader(order_.back());
    for (int b : orphans_)
        freeBlock(b);
    outOfStep_.clear();
    orphans_.clear();
    return true;
}

// --- Reading ----------------------------------------------------------------------------------

bool BlockChain::holds(RecordId id) const
{
    const int b = blockOf(id);
    return id >= 0 && b >= 1 && b <= h_.fileBlocks && place_[size_t(b)] >= 0 && slotOf(id) < count_[size_t(b)];
}

RecordId BlockChain::first() const
{
    for (int b : order_)
        if (count_[size_t(b)] > 0)
            return makeId(b, 0);
    return NoRecord;
}

RecordId BlockChain::last() const
{
    for (auto it = order_.rbegin(); it != order_.rend(); ++it)
        if (count_[size_t(*it)] > 0)
            return makeId(*it, count_[size_t(*it)] - 1);
    return NoRecord;
}

RecordId BlockChain::next(RecordId id) const
{
    const int b = blockOf(id), s = slotOf(id);
    if (id < 0 || b < 1 || b > h_.fileBlocks || place_[size_t(b)] < 0)
        return NoRecord;
    if (s + 1 < count_[size_t(b)])
        return makeId(b, s + 1);
    for (size_t i = size_t(indexOf(b)) + 1; i < order_.size(); ++i)
        if (count_[size_t(order_[i])] > 0)
            return makeId(order_[i], 0);
    return NoRecord;
}

RecordId BlockChain::prior(RecordId id) const
{
    const int b = blockOf(id), s = slotOf(id);
    if (id < 0 || b < 1 || b > h_.fileBlocks || place_[size_t(b)] < 0)
        return NoRecord;
    if (s > 0)
        return makeId(b, s - 1);
    for (int i = indexOf(b) - 1; i >= 0; --i) {
        const int pb = order_[size_t(i)];
        if (count_[size_t(pb)] > 0)
            return makeId(pb, count_[size_t(pb)] - 1);
    }
    return NoRecord;
}

qint64 BlockChain::recordNumber(RecordId id)
{
    const int b = blockOf(id);
    if (id < 0 || b < 1 || b > h_.fileBlocks || place_[size_t(b)] < 0)
        return 0;
    ensureCounts();
    qint64 before = 0;
    for (size_t i = size_t(indexOf(b)); i > 0; i -= i & (~i + 1))
        before += counts_[i];
    return before + slotOf(id) + 1;
}

RecordId BlockChain::atPosition(qint64 position)
{
    if (position < 1 || position > total_)
        return NoRecord;
    ensureCounts();
    // The first chain index whose records reach past position - 1 records.
    const size_t n = order_.size();
    size_t at = 0;
    qint64 left = position - 1;
    size_t step = 1;
    while (step * 2 <= n)
        step *= 2;
    for (; step > 0; step /= 2) {
        if (at + step <= n && counts_[at + step] <= left) {
            at += step;
            left -= counts_[at];
        }
    }
    if (at >= n)
        return NoRecord;
    return makeId(order_[at], int(left));
}

void BlockChain::ensureCounts()
{
    if (countsValid_ && counts_.size() == order_.size() + 1)
        return;
    const size_t n = order_.size();
    counts_.assign(n + 1, 0);
    for (size_t i = 1; i <= n; ++i) {
        counts_[i] += count_[size_t(order_[i - 1])];
        const size_t up = i + (i & (~i + 1));
        if (up <= n)
            counts_[up] += counts_[i];
    }
    countsValid_ = true;
}

void BlockChain::countChanged(int chainIndex, int delta)
{
    if (!countsValid_)
        return;
    for (size_t i = size_t(chainIndex) + 1; i < counts_.size(); i += i & (~i + 1))
        counts_[i] += delta;
}

// --- Keys -------------------------------------------------------------------------------------

void BlockChain::loadFirstKeys()
{
    firstKey_.assign(count_.size(), QByteArray());
    for (size_t i = 0; i < order_.size(); ++i)
        refreshFirstKey(int(i));
    firstKeysLoaded_ = h_.keyFields > 0;
}

void BlockChain::refreshFirstKey(int ci)
{
    if (h_.keyFields == 0 || ci < 0 || ci >= int(order_.size()))
        return;
    const int b = order_[size_t(ci)];
    if (index_)
        index_->touch(b);
    if (count_[size_t(b)] > 0)
        firstKeySlot(b) = QByteArray(records(b), h_.keySize);
    else
        firstKeySlot(b) = ci > 0 ? firstKeySlot(order_[size_t(ci) - 1]) : QByteArray();
}

QByteArray& BlockChain::firstKeySlot(int block)
{
    if (size_t(block) >= firstKey_.size())
        firstKey_.resize(count_.size());
    return firstKey_[size_t(block)];
}

// --- Blocks -----------------------------------------------------------------------------------

void BlockChain::setBlockHeader(int no)
{
    BlockStore::Block& c = blocks_.get(no);
    char* p = c.data.data();
    putLe16(p, quint16(next_[size_t(no)]));
    putLe16(p + 2, quint16(prev_[size_t(no)]));
    putLe16(p + 4, quint16(qint16((count_[size_t(no)] - 1) * h_.recordSize)));
    c.dirty = true;
    if (index_)
        index_->touch(no);
}

int BlockChain::allocBlock()
{
    int nb;
    if (h_.firstFree > 0) {
        nb = h_.firstFree;
        h_.firstFree = next_[size_t(nb)];
    } else {
        if (h_.fileBlocks >= 0xFFFF)
            throw FileError(QStringLiteral("A tabela %1 atingiu o número máximo de blocos").arg(path_));
        nb = ++h_.fileBlocks;
        blocks_.setBlockCount(h_.fileBlocks);
        next_.push_back(0);
        prev_.push_back(0);
        count_.push_back(0);
        place_.push_back(-1);
    }
    BlockStore::Block& c = blocks_.get(nb);
    c.data.fill('\0');
    c.dirty = true;
    next_[size_t(nb)] = prev_[size_t(nb)] = 0;
    count_[size_t(nb)] = 0;
    newBlocks_.push_back(nb);
    return nb;
}

void BlockChain::freeBlock(int no)
{
    place_[size_t(no)] = -1;
    count_[size_t(no)] = 0;
    next_[size_t(no)] = h_.firstFree;
    h_.firstFree = no;
    BlockStore::Block& c = blocks_.get(no);
    std::memset(c.data.data() + 6, 0, size_t(h_.blockSize - 6));
    putLe16(c.data.data(), quint16(next_[size_t(no)]));
    putLe16(c.data.data() + 4, quint16(qint16(-h_.recordSize)));
    c.dirty = true;
}

int BlockChain::indexOf(int block) const
{
    const int p = place_[size_t(block)];
    if (p < 0 || (size_t(p) < order_.size() && order_[size_t(p)] == block))
        return p;
    renumber();
    return place_[size_t(block)];
}

void BlockChain::renumber() const
{
    for (size_t k = placesFrom_; k < order_.size(); ++k)
        place_[size_t(order_[k])] = int(k);
    placesFrom_ = order_.size();
}

void BlockChain::linkAfter(int at, int nb)
{
    const int ob = order_[size_t(at)];
    const int after = next_[size_t(ob)];
    next_[size_t(nb)] = after;
    prev_[size_t(nb)] = ob;
    if (after) {
        prev_[size_t(after)] = nb;
        setBlockHeader(after);
    }
    next_[size_t(ob)] = nb;
    order_.insert(order_.begin() + at + 1, nb);
    place_[size_t(nb)] = at + 1;
    renumberFrom(at + 2);
    if (h_.keyFields)
        firstKeySlot(nb) = QByteArray();
    if (index_)
        index_->linkAfter(ob, nb);
    orderChanged();
    setBlockHeader(ob);
}

void BlockChain::unlinkAt(int ci)
{
    const int b = order_[size_t(ci)];
    const int pv = prev_[size_t(b)], nx = next_[size_t(b)];
    if (pv) {
        next_[size_t(pv)] = nx;
        setBlockHeader(pv);
    }
    if (nx) {
        prev_[size_t(nx)] = pv;
        setBlockHeader(nx);
    }
    order_.erase(order_.begin() + ci);
    if (h_.keyFields)
        firstKeySlot(b) = QByteArray();
    renumberFrom(ci);
    if (index_)
        index_->unlink(b);
    freeBlock(b);
    orderChanged();
}

// --- Writing ----------------------------------------------------------------------------------

RecordId BlockChain::insertAt(int ci, int slot, const char* rec)
{
    const int rs = h_.recordSize;
    if (ci < 0) {
        const int nb = allocBlock();
        order_.push_back(nb);
        place_[size_t(nb)] = 0;
        if (h_.keyFields)
            firstKeySlot(nb) = QByteArray();
        if (index_)
            index_->insertFirst(nb);
        ci = 0;
        slot = 0;
        orderChanged();
    }
    int b = order_[size_t(ci)];
    if (slot < count_[size_t(b)])
        ++idGeneration_;  // later records of the block shift (or move out in a split)
    if (count_[size_t(b)] >= h_.capacity) {
        const int nb = allocBlock();
        linkAfter(ci, nb);
        if (slot == count_[size_t(b)] && ci == int(order_.size()) - 2) {
            // Appending at the end of a full last block: start the next one.
            ci += 1;
            slot = 0;
            b = nb;
        } else {
            ++idGeneration_;  // the upper half moves to the new block
            const int keep = (count_[size_t(b)] + 1) / 2;
            const int move = count_[size_t(b)] - keep;
            {
                const BlockStore::Pin from = blocks_.pin(b);
                BlockStore::Block& to = blocks_.get(nb);
                std::memcpy(to.data.data() + 6, from->data.constData() + 6 + keep * rs, size_t(move) * rs);
                to.dirty = true;
            }
            std::memset(blocks_.get(b).data.data() + 6 + keep * rs, 0, size_t(move) * rs);
            count_[size_t(b)] = keep;
            count_[size_t(nb)] = move;
            setBlockHeader(b);
            setBlockHeader(nb);
            refreshFirstKey(ci + 1);
            if (slot > keep) {
                ci += 1;
                slot -= keep;
                b = nb;
            }
        }
    }
    BlockStore::Block& c = blocks_.get(b);
    char* base = c.data.data() + 6;
    std::memmove(base + (slot + 1) * rs, base + slot * rs, size_t(count_[size_t(b)] - slot) * rs);
    std::memcpy(base + slot * rs, rec, size_t(rs));
    c.dirty = true;
    count_[size_t(b)] += 1;
    setBlockHeader(b);
    if (slot == 0)
        refreshFirstKey(ci);
    countChanged(ci, 1);
    ++total_;
    return makeId(b, slot);
}

void BlockChain::removeAt(int ci, int slot)
{
    const int rs = h_.recordSize;
    const int b = order_[size_t(ci)];
    if (slot + 1 < count_[size_t(b)] || (count_[size_t(b)] == 1 && ci == 0))
        ++idGeneration_;  // later records shift up, or the next block moves into the first
    {
        BlockStore::Block& c = blocks_.get(b);
        char* base = c.data.data() + 6;
        std::memmove(base + slot * rs, base + (slot + 1) * rs, size_t(count_[size_t(b)] - slot - 1) * rs);
        std::memset(base + (count_[size_t(b)] - 1) * rs, 0, size_t(rs));
        c.dirty = true;
    }
    count_[size_t(b)] -= 1;
    --total_;
    ++removed_;
    if (count_[size_t(b)] > 0) {
        setBlockHeader(b);
        if (slot == 0)
            refreshFirstKey(ci);
        countChanged(ci, -1);
        return;
    }
    if (order_.size() == 1) {
        clear();
        return;
    }
    if (ci > 0) {
        unlinkAt(ci);
        return;
    }
    // The first block stays where it is; the next block's records move into it.
    const int nb = order_[1];
    {
        const BlockStore::Pin from = blocks_.pin(nb);
        BlockStore::Block& to = blocks_.get(b);
        std::memcpy(to.data.data() + 6, from->data.constData() + 6, size_t(count_[size_t(nb)]) * rs);
        to.dirty = true;
    }
    count_[size_t(b)] = count_[size_t(nb)];
    count_[size_t(nb)] = 0;
    unlinkAt(1);
    refreshFirstKey(0);
    orderChanged();
}

void BlockChain::overwrite(RecordId id, const char* rec)
{
    const int b = blockOf(id), s = slotOf(id);
    BlockStore::Block& c = blocks_.get(b);
    std::memcpy(c.data.data() + 6 + s * h_.recordSize, rec, size_t(h_.recordSize));
    c.dirty = true;
    if (s == 0)
        refreshFirstKey(indexOf(b));  // the first key of a block may change in its bytes only
}

void BlockChain::clear()
{
    blocks_.forget();
    h_.fileBlocks = 0;
    blocks_.setBlockCount(0);
    h_.firstFree = 0;
    order_.clear();
    firstKey_.clear();
    next_.assign(1, 0);
    prev_.assign(1, 0);
    count_.assign(1, 0);
    place_.assign(1, -1);
    orderChanged();
    newBlocks_.clear();
    if (index_)
        index_->clear();
}

}  // namespace quillora::px
