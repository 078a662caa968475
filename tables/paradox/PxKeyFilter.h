#pragma once

#include <QtGlobal>

#include <vector>

namespace quillora::px {

// Which keys a keyed table may hold, a few bits a record (a Bloom filter over hashes of the
// keys): a new key the filter has never seen is not in the table, so checking it for a
// duplicate reads no block. Keys that leave the table stay in the filter; they only cost a
// block read when they come back.
class KeyFilter {
public:
    bool active() const { return !bits_.empty(); }
    // Empty, sized for `records` keys with room to grow.
    void reset(qint64 records);
    void clear() { bits_.clear(); keys_ = 0; }
    // True when the keys added since reset() make false answers too frequent.
    bool crowded() const { return keys_ * 12 > qint64(bits_.size()) * 64; }

    void add(quint64 hash);
    bool mayHold(quint64 hash) const;

private:
    std::vector<quint64> bits_;
    quint64 mask_ = 0;
    qint64 keys_ = 0;
};

}  // namespace quillora::px
