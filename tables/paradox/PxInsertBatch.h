#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "tables/TableFile.h"

namespace quillora::px {

// New records of a keyed table held in memory until they join the block chain together, in key
// order, so that a run adding keys in any order changes each block once for many records
// instead of reading and rewriting a block for every record. Records are found by their key
// through a hash table and sorted only when the batch is drained. They keep one id from their
// insert until then; those ids lie above every block-and-slot id, so the two never meet.
class InsertBatch {
public:
    using Compare = std::function<int(const char*, const char*)>;
    using Hash = std::function<quint64(const char*)>;

    InsertBatch() = default;
    InsertBatch(const InsertBatch&) = delete;
    InsertBatch& operator=(const InsertBatch&) = delete;

    static bool isBatchId(RecordId id) { return id >= kFirstId; }
    // What a record costs besides its bytes.
    static constexpr int kBytesPerRecord = 24;

    // `capacity` records of `recordSize` bytes, ordered by `compare` (the table's key order);
    // `hash` gives keys that compare equal the same value.
    void configure(int recordSize, int capacity, Compare compare, Hash hash);
    int capacity() const { return capacity_; }
    bool empty() const { return live_ == 0; }
    bool full() const { return used_ >= capacity_; }
    qint64 size() const { return live_; }

    // True for the id of a record the batch holds now.
    bool holds(RecordId id) const;
    const char* record(RecordId id) const { return slot(int(id - kFirstId)); }
    // The id of the record whose key equals the key of `rec`, or NoRecord.
    RecordId find(const char* rec) const;
    // The record with the highest key, or null.
    const char* highest();

    // The caller has made sure that no record with an equal key is held.
    RecordId add(const char* rec);
    // New bytes for a held record; its key may change (the caller checked the new one).
    void replace(RecordId id, const char* rec);
    void erase(RecordId id);
    // The records in key order; then the batch is empty.
    void drain(const std::function<void(const char*)>& each);

private:
    static constexpr RecordId kFirstId = RecordId(1) << 40;
    static constexpr int kEmpty = -1, kGone = -2;
    char* slot(int s) const { return arena_.get() + qint64(s) * recordSize_; }
    void index(int s);
    void place(int s);
    void unindex(int s);

    int recordSize_ = 0;
    int capacity_ = 0;
    int used_ = 0;  // slots handed out since the last drain, erased ones included
    int live_ = 0;
    int highest_ = -1;
    bool highestKnown_ = true;
    Compare compare_;
    Hash hash_;
    std::unique_ptr<char[]> arena_;
    std::vector<quint64> hashes_;  // by slot; erased slots are marked in alive_
    std::vector<bool> alive_;
    std::vector<int> table_;       // open addressing: slot, kEmpty or kGone
    size_t mask_ = 0;
    size_t filled_ = 0;            // cells not kEmpty
};

}  // namespace quillora::px
