#include "tables/OrderIndex.h"

#include <algorithm>

namespace quillora {

bool OrderIndex::less(const Entry& a, const Entry& b) const
{
    const int c = a.key.compare(b.key);  // byte order: the sort keys are built for it
    if (c != 0)
        return c < 0;
    return before_(a.id, b.id);
}

void OrderIndex::assign(std::vector<std::pair<QByteArray, RecordId>> sorted)
{
    cachedId_ = NoRecord;
    chunks_.clear();
    where_.clear();
    where_.reserve(sorted.size());
    total_ = qint64(sorted.size());
    for (size_t i = 0; i < sorted.size(); i += chunkLimit_ / 2) {
        auto chunk = std::make_unique<Chunk>();
        const size_t end = std::min(sorted.size(), i + chunkLimit_ / 2);
        chunk->reserve(chunkLimit_ + 1);
        for (size_t k = i; k < end; ++k) {
            chunk->push_back({std::move(sorted[k].first), sorted[k].second});
            where_[sorted[k].second] = chunk.get();
        }
        chunks_.push_back(std::move(chunk));
    }
}

size_t OrderIndex::chunkOf(RecordId id) const
{
    auto it = where_.find(id);
    if (it == where_.end())
        return size_t(-1);
    for (size_t c = 0; c < chunks_.size(); ++c)
        if (chunks_[c].get() == it->second)
            return c;
    return size_t(-1);
}

size_t OrderIndex::slotOf(size_t chunk, RecordId id) const
{
    const Chunk& c = *chunks_[chunk];
    for (size_t i = 0; i < c.size(); ++i)
        if (c[i].id == id)
            return i;
    return size_t(-1);
}

bool OrderIndex::locate(RecordId id, size_t* chunk, size_t* slot) const
{
    if (id != NoRecord && id == cachedId_) {
        *chunk = cachedChunk_;
        *slot = cachedSlot_;
        return true;
    }
    *chunk = chunkOf(id);
    if (*chunk == size_t(-1))
        return false;
    *slot = slotOf(*chunk, id);
    remember(id, *chunk, *slot);
    return true;
}

void OrderIndex::remember(RecordId id, size_t chunk, size_t slot) const
{
    cachedId_ = id;
    cachedChunk_ = chunk;
    cachedSlot_ = slot;
}

void OrderIndex::insert(const QByteArray& key, RecordId id)
{
    cachedId_ = NoRecord;
    Entry entry{key, id};
    if (chunks_.empty())
        chunks_.push_back(std::make_unique<Chunk>());
    // The first chunk whose last entry is not before the new one takes it.
    size_t lo = 0, hi = chunks_.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (!chunks_[mid]->empty() && less(chunks_[mid]->back(), entry))
            lo = mid + 1;
        else
            hi = mid;
    }
    const size_t c = std::min(lo, chunks_.size() - 1);
    Chunk& chunk = *chunks_[c];
    auto pos = std::upper_bound(chunk.begin(), chunk.end(), entry,
                                [this](const Entry& a, const Entry& b) { return less(a, b); });
    chunk.insert(pos, std::move(entry));
    where_[id] = &chunk;
    ++total_;
    if (chunk.size() > chunkLimit_) {
        auto upper = std::make_unique<Chunk>(std::make_move_iterator(chunk.begin() + chunkLimit_ / 2),
                                             std::make_move_iterator(chunk.end()));
        chunk.erase(chunk.begin() + chunkLimit_ / 2, chunk.end());
        for (const Entry& e : *upper)
            where_[e.id] = upper.get();
        chunks_.insert(chunks_.begin() + qsizetype(c) + 1, std::move(upper));
    }
}

void OrderIndex::remove(RecordId id)
{
    cachedId_ = NoRecord;
    const size_t c = chunkOf(id);
    if (c == size_t(-1))
        return;
    Chunk& chunk = *chunks_[c];
    chunk.erase(chunk.begin() + qsizetype(slotOf(c, id)));
    where_.erase(id);
    --total_;
    if (chunk.empty() && chunks_.size() > 1)
        chunks_.erase(chunks_.begin() + qsizetype(c));
}

RecordId OrderIndex::first() const
{
    for (const auto& c : chunks_)
        if (!c->empty())
            return c->front().id;
    return NoRecord;
}

RecordId OrderIndex::last() const
{
    for (auto it = chunks_.rbegin(); it != chunks_.rend(); ++it)
        if (!(*it)->empty())
            return (*it)->back().id;
    return NoRecord;
}

RecordId OrderIndex::next(RecordId id) const
{
    size_t c, s;
    if (!locate(id, &c, &s))
        return NoRecord;
    ++s;
    while (c < chunks_.size()) {
        if (s < chunks_[c]->size()) {
            const RecordId found = (*chunks_[c])[s].id;
            remember(found, c, s);
            return found;
        }
        ++c;
        s = 0;
    }
    return NoRecord;
}

RecordId OrderIndex::prior(RecordId id) const
{
    size_t c, s;
    if (!locate(id, &c, &s))
        return NoRecord;
    while (true) {
        if (s > 0) {
            const RecordId found = (*chunks_[c])[s - 1].id;
            remember(found, c, s - 1);
            return found;
        }
        if (c == 0)
            return NoRecord;
        --c;
        s = chunks_[c]->size();
    }
}

qint64 OrderIndex::position(RecordId id) const
{
    size_t c, s;
    if (!locate(id, &c, &s))
        return -1;
    qint64 pos = 0;
    for (size_t k = 0; k < c; ++k)
        pos += qint64(chunks_[k]->size());
    return pos + qint64(s) + 1;
}

RecordId OrderIndex::atPosition(qint64 position) const
{
    if (position < 1 || position > total_)
        return NoRecord;
    qint64 left = position - 1;
    for (const auto& c : chunks_) {
        if (left < qint64(c->size()))
            return (*c)[size_t(left)].id;
        left -= qint64(c->size());
    }
    return NoRecord;
}

}  // namespace quillora
