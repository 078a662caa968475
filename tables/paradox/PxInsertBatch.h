#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "tables/TableFile.h"

namespace quillora::px {

// New records of a keyed table held in memory in key order, so that a run adding keys in any
// order merges them into the block chain block by block instead of reading and rewriting a
// block for every record. Records keep one id from their insert until the batch is merged;
// those ids lie above every block-and-slot id, so the two never meet.
class InsertBatch {
public:
    using Compare = std::function<int(const char*, const char*)>;

    InsertBatch() = default;
    InsertBatch(const InsertBatch&) = delete;
    InsertBatch& operator=(const InsertBatch&) = delete;

    static bool isBatchId(RecordId id) { return id >= kFirstId; }

    // `capacity` records of `recordSize` bytes, ordered by `compare` (the table's key order).
    void configure(int recordSize, int capacity, Compare compare);
    int capacity() const { return capacity_; }
    bool empty() const { return order_.empty(); }
    bool full() const { return used_ >= capacity_; }
    qint64 size() const { return qint64(order_.size()); }

    // True for the id of a record the batch holds now.
    bool holds(RecordId id) const;
    const char* record(RecordId id) const { return slot(id); }
    // The id of the record whose key equals the key of `rec`, or NoRecord.
    RecordId find(const char* rec) const;
    // The record with the highest key, or null.
    const char* highest() const { return order_.empty() ? nullptr : *order_.rbegin(); }

    // The caller has made sure that no record with an equal key is held.
    RecordId add(const char* rec);
    // New bytes for a held record; its key may change (the caller checked the new one).
    void replace(RecordId id, const char* rec);
    void erase(RecordId id);
    // The records in key order, each with its id; then the batch is empty.
    void drain(const std::function<void(RecordId, const char*)>& each);

private:
    static constexpr RecordId kFirstId = RecordId(1) << 40;
    struct Less {
        const Compare* compare;
        bool operator()(const char* a, const char* b) const { return (*compare)(a, b) < 0; }
    };
    char* slot(RecordId id) const { return arena_.get() + (id - kFirstId) * recordSize_; }
    RecordId idOf(const char* p) const { return kFirstId + (p - arena_.get()) / recordSize_; }

    int recordSize_ = 0;
    int capacity_ = 0;
    int used_ = 0;  // arena slots handed out since the last drain, erased ones included
    Compare compare_;
    std::unique_ptr<char[]> arena_;
    std::vector<bool> live_;
    std::set<const char*, Less> order_{Less{&compare_}};
};

}  // namespace quillora::px
