#pragma once

#include <QByteArray>

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "tables/TableFile.h"

namespace quillora {

// The records of a table in the order of an index, kept in memory: sort keys with their
// record ids in sorted chunks, so that a write moves a few hundred entries rather than a
// million, and a record's position is found without walking the order.
class OrderIndex {
public:
    // before(a, b): whether record a precedes b in the table's natural order; it breaks ties
    // between equal keys, as indexes keep duplicates in record order.
    explicit OrderIndex(std::function<bool(RecordId, RecordId)> before) : before_(std::move(before)) {}

    // Entries must come sorted by (key, natural order).
    void assign(std::vector<std::pair<QByteArray, RecordId>> sorted);
    void insert(const QByteArray& key, RecordId id);
    void remove(RecordId id);
    bool contains(RecordId id) const { return where_.count(id) != 0; }

    qint64 count() const { return total_; }
    RecordId first() const;
    RecordId last() const;
    RecordId next(RecordId id) const;
    RecordId prior(RecordId id) const;
    qint64 position(RecordId id) const;        // from 1; -1 when absent
    RecordId atPosition(qint64 position) const;  // NoRecord when out of range

private:
    struct Entry {
        QByteArray key;
        RecordId id;
    };
    using Chunk = std::vector<Entry>;
    static constexpr size_t chunkLimit_ = 512;

    bool less(const Entry& a, const Entry& b) const;
    size_t chunkOf(RecordId id) const;  // the chunk's number, or -1
    size_t slotOf(size_t chunk, RecordId id) const;
    // Finds chunk and slot of an id; walking the order in steps costs nothing thanks to the
    // last place found being remembered.
    bool locate(RecordId id, size_t* chunk, size_t* slot) const;
    void remember(RecordId id, size_t chunk, size_t slot) const;

    std::function<bool(RecordId, RecordId)> before_;
    // Chunks live at fixed addresses, so that splitting one re-maps only the entries it moves.
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::unordered_map<RecordId, const Chunk*> where_;
    qint64 total_ = 0;
    mutable RecordId cachedId_ = NoRecord;
    mutable size_t cachedChunk_ = 0;
    mutable size_t cachedSlot_ = 0;
};

}  // namespace quillora
