#include "tables/paradox/PxKeyFilter.h"

#include <algorithm>

namespace quillora::px {

namespace {

// Three probes from one 64-bit hash (double hashing); 32 bits a key when reset, 12 at most
// before crowded(), which keeps false answers under about 2%.
constexpr int kProbes = 3;

quint64 probe(quint64 hash, int i, quint64 mask)
{
    const quint64 step = (hash >> 32) | 1;
    return (hash + quint64(i) * step) & mask;
}

}  // namespace

void KeyFilter::reset(qint64 records)
{
    quint64 bits = quint64(1) << 16;
    while (bits < quint64(std::max<qint64>(records, 1)) * 32)
        bits <<= 1;
    bits_.assign(size_t(bits / 64), 0);
    mask_ = bits - 1;
    keys_ = 0;
}

void KeyFilter::add(quint64 hash)
{
    for (int i = 0; i < kProbes; ++i) {
        const quint64 b = probe(hash, i, mask_);
        bits_[size_t(b >> 6)] |= quint64(1) << (b & 63);
    }
    ++keys_;
}

bool KeyFilter::mayHold(quint64 hash) const
{
    for (int i = 0; i < kProbes; ++i) {
        const quint64 b = probe(hash, i, mask_);
        if (!(bits_[size_t(b >> 6)] & (quint64(1) << (b & 63))))
            return false;
    }
    return true;
}

}  // namespace quillora::px
