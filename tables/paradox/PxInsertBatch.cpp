#include "tables/paradox/PxInsertBatch.h"

#include <algorithm>

namespace quillora::px {

void InsertBatch::configure(int recordSize, int capacity, Compare compare)
{
    order_.clear();
    recordSize_ = recordSize;
    capacity_ = std::max(1, capacity);
    used_ = 0;
    compare_ = std::move(compare);
    arena_.reset();
    live_.clear();
}

bool InsertBatch::holds(RecordId id) const
{
    return isBatchId(id) && id - kFirstId < used_ && live_[size_t(id - kFirstId)];
}

RecordId InsertBatch::find(const char* rec) const
{
    const auto it = order_.find(rec);
    return it == order_.end() ? NoRecord : idOf(*it);
}

RecordId InsertBatch::add(const char* rec)
{
    if (!arena_) {
        // Allocated when first needed: a run that adds nothing out of order never pays for it.
        arena_ = std::make_unique<char[]>(size_t(capacity_) * size_t(recordSize_));
        live_.assign(size_t(capacity_), false);
    }
    char* p = arena_.get() + qint64(used_) * recordSize_;
    std::memcpy(p, rec, size_t(recordSize_));
    live_[size_t(used_)] = true;
    ++used_;
    order_.insert(p);
    return idOf(p);
}

void InsertBatch::replace(RecordId id, const char* rec)
{
    char* p = slot(id);
    if (compare_(p, rec) == 0) {
        std::memcpy(p, rec, size_t(recordSize_));
        return;
    }
    order_.erase(p);
    std::memcpy(p, rec, size_t(recordSize_));
    order_.insert(p);
}

void InsertBatch::erase(RecordId id)
{
    char* p = slot(id);
    order_.erase(p);
    live_[size_t(id - kFirstId)] = false;
}

void InsertBatch::drain(const std::function<void(RecordId, const char*)>& each)
{
    // Emptied whatever happens: a merge that fails part way must not merge records twice
    // (the operation it belongs to rolls the files back).
    struct Empty {
        InsertBatch& b;
        ~Empty()
        {
            b.order_.clear();
            std::fill(b.live_.begin(), b.live_.end(), false);
            b.used_ = 0;
        }
    } empty{*this};
    for (const char* p : order_)
        each(idOf(p), p);
}

}  // namespace quillora::px
