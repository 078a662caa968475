#include "tables/paradox/PxInsertBatch.h"

#include <algorithm>

namespace quillora::px {

void InsertBatch::configure(int recordSize, int capacity, Compare compare, Hash hash)
{
    recordSize_ = recordSize;
    capacity_ = std::max(1, capacity);
    used_ = live_ = 0;
    filled_ = 0;
    highest_ = -1;
    highestKnown_ = true;
    compare_ = std::move(compare);
    hash_ = std::move(hash);
    arena_.reset();
    hashes_.clear();
    alive_.clear();
    table_.clear();
}

bool InsertBatch::holds(RecordId id) const
{
    return isBatchId(id) && id - kFirstId < used_ && alive_[size_t(id - kFirstId)];
}

RecordId InsertBatch::find(const char* rec) const
{
    if (live_ == 0)
        return NoRecord;
    const quint64 h = hash_(rec);
    for (size_t i = h & mask_;; i = (i + 1) & mask_) {
        const int s = table_[i];
        if (s == kEmpty)
            return NoRecord;
        if (s >= 0 && hashes_[size_t(s)] == h && compare_(slot(s), rec) == 0)
            return kFirstId + s;
    }
}

void InsertBatch::index(int s)
{
    hashes_[size_t(s)] = hash_(slot(s));
    place(s);
}

void InsertBatch::place(int s)
{
    // Cells left by erased keys are taken again; when used and left cells fill three quarters
    // of the table (keys changed again and again), it is laid out anew.
    if ((filled_ + 1) * 4 > table_.size() * 3) {
        std::fill(table_.begin(), table_.end(), kEmpty);
        filled_ = 0;
        for (int o = 0; o < used_; ++o)
            if (o != s && alive_[size_t(o)])
                place(o);
    }
    size_t i = hashes_[size_t(s)] & mask_;
    while (table_[i] >= 0)
        i = (i + 1) & mask_;
    if (table_[i] == kEmpty)
        ++filled_;
    table_[i] = s;
}

void InsertBatch::unindex(int s)
{
    for (size_t i = hashes_[size_t(s)] & mask_;; i = (i + 1) & mask_) {
        if (table_[i] == s) {
            table_[i] = kGone;
            return;
        }
    }
}

const char* InsertBatch::highest()
{
    if (!highestKnown_) {
        highest_ = -1;
        for (int s = 0; s < used_; ++s)
            if (alive_[size_t(s)] && (highest_ < 0 || compare_(slot(s), slot(highest_)) > 0))
                highest_ = s;
        highestKnown_ = true;
    }
    return highest_ >= 0 ? slot(highest_) : nullptr;
}

RecordId InsertBatch::add(const char* rec)
{
    if (!arena_) {
        // Allocated when first needed: a run that adds nothing out of order never pays for it.
        arena_ = std::make_unique<char[]>(size_t(capacity_) * size_t(recordSize_));
        hashes_.assign(size_t(capacity_), 0);
        alive_.assign(size_t(capacity_), false);
        size_t n = 16;
        while (n < size_t(capacity_) * 2)
            n *= 2;
        table_.assign(n, kEmpty);
        mask_ = n - 1;
    }
    const int s = used_++;
    std::memcpy(slot(s), rec, size_t(recordSize_));
    alive_[size_t(s)] = true;
    ++live_;
    index(s);
    if (highestKnown_ && (highest_ < 0 || compare_(rec, slot(highest_)) > 0))
        highest_ = s;
    return kFirstId + s;
}

void InsertBatch::replace(RecordId id, const char* rec)
{
    const int s = int(id - kFirstId);
    if (compare_(slot(s), rec) == 0) {
        std::memcpy(slot(s), rec, size_t(recordSize_));
        return;
    }
    unindex(s);
    std::memcpy(slot(s), rec, size_t(recordSize_));
    index(s);
    highestKnown_ = false;
}

void InsertBatch::erase(RecordId id)
{
    const int s = int(id - kFirstId);
    unindex(s);
    alive_[size_t(s)] = false;
    --live_;
    if (s == highest_)
        highestKnown_ = false;
}

void InsertBatch::drain(const std::function<void(const char*)>& each)
{
    std::vector<int> order;
    order.reserve(size_t(live_));
    for (int s = 0; s < used_; ++s)
        if (alive_[size_t(s)])
            order.push_back(s);
    std::sort(order.begin(), order.end(), [this](int a, int b) { return compare_(slot(a), slot(b)) < 0; });
    // Emptied whatever happens: a merge that fails part way must not merge records twice
    // (the operation it belongs to rolls the files back).
    struct Empty {
        InsertBatch& b;
        ~Empty()
        {
            std::fill(b.alive_.begin(), b.alive_.end(), false);
            std::fill(b.table_.begin(), b.table_.end(), kEmpty);
            b.filled_ = 0;
            b.used_ = b.live_ = 0;
            b.highest_ = -1;
            b.highestKnown_ = true;
        }
    } empty{*this};
    for (int s : order)
        each(slot(s));
}

}  // namespace quillora::px
