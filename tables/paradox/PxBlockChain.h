#pragma once

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <vector>

#include "tables/TableFile.h"
#include "tables/io/File.h"
#include "tables/paradox/ParadoxHeader.h"
#include "tables/paradox/ParadoxIndex.h"
#include "tables/paradox/PxBlockStore.h"

namespace quillora::px {

// The data blocks of a .DB in the order of their chain: read from the block headers when the
// table opens and kept in memory (a few ints a block), so that walking, positions and record
// numbers never read the file. Records are addressed by block and slot. Writes shift records
// inside a block, split full blocks, and unlink and free empty ones, marking the blocks they
// change dirty in the block store and telling the primary index which blocks changed.
class BlockChain {
public:
    static RecordId makeId(int block, int slot) { return (RecordId(block) << 16) | RecordId(slot); }
    static int blockOf(RecordId id) { return int(id >> 16); }
    static int slotOf(RecordId id) { return int(id & 0xFFFF); }

    BlockChain(TableHeader& header, BlockStore& blocks, io::File& file, QString path);
    // The primary index that follows the chain's changes (keyed tables).
    void attach(PrimaryIndex* index) { index_ = index; }
    // What the primary index reads of the chain.
    PrimaryIndex::TableView indexView();

    // Walks the chain from the header's first block and the free list; throws FileError when
    // the chain is broken. A free list that cannot be walked only stops writing (freeListProblem()).
    void walk();
    const QString& freeListProblem() const { return freeListProblem_; }
    // What a stopped write leaves (blocks whose count or back pointer is stale, blocks neither
    // chained nor free) is mended in the block buffers; true when something changed.
    bool putInStep();

    // Reading.
    qint64 total() const { return total_; }
    int size() const { return int(order_.size()); }
    bool empty() const { return order_.empty(); }
    int blockAt(int chainIndex) const { return order_[size_t(chainIndex)]; }
    // The chain index of a block, -1 when it is not chained.
    int indexOf(int block) const;
    int count(int block) const { return count_[size_t(block)]; }
    const std::vector<int>& order() const { return order_; }
    const std::vector<int>& counts() const { return count_; }
    const char* records(int block) { return blocks_.get(block).data.constData() + 6; }
    // True for the id of a record the chain holds now.
    bool holds(RecordId id) const;

    RecordId first() const;
    RecordId last() const;
    RecordId next(RecordId id) const;
    RecordId prior(RecordId id) const;
    qint64 recordNumber(RecordId id);
    RecordId atPosition(qint64 position);
    // Ids move when records shift in a block, move in a split or a block is freed.
    quint64 idGeneration() const { return idGeneration_; }

    // The first key of each chained block, for keyed tables while writing.
    void loadFirstKeys();
    bool firstKeysLoaded() const { return firstKeysLoaded_; }
    const QByteArray& firstKey(int chainIndex) const { return firstKey_[size_t(order_[size_t(chainIndex)])]; }

    // Writing: the record bytes go in at (chain index, slot); -1 starts an empty chain.
    RecordId insertAt(int chainIndex, int slot, const char* record);
    void removeAt(int chainIndex, int slot);
    // New bytes for a record whose key did not change.
    void overwrite(RecordId id, const char* record);
    // Back to no blocks at all; the file is cut when the header says so.
    void clear();
    // Blocks allocated since the last call: written before anything points at them.
    std::vector<int> takeNewBlocks() { return std::exchange(newBlocks_, {}); }
    // Records removed since the last call: they leave the header's count first.
    qint64 takeRemoved() { return std::exchange(removed_, 0); }

private:
    [[noreturn]] void damaged(const QString& what) const;
    const char* blockHeader(int block, char* scratch);
    void hideUncountedRecords();
    void walkFreeList();
    void setBlockHeader(int block);
    int allocBlock();
    void freeBlock(int block);
    void linkAfter(int chainIndex, int newBlock);
    void unlinkAt(int chainIndex);
    // Chain indexes of the blocks from chainIndex on are stale: set again when next asked for.
    void renumberFrom(int chainIndex) { placesFrom_ = std::min(placesFrom_, size_t(chainIndex)); }
    void renumber() const;
    void refreshFirstKey(int chainIndex);
    QByteArray& firstKeySlot(int block);
    // Record numbers come from a Fenwick tree of the blocks' counts by chain index: a count
    // that changes costs a few steps, a block linked or unlinked a rebuild when next needed.
    void ensureCounts();
    void countChanged(int chainIndex, int delta);
    void orderChanged() { countsValid_ = false; }

    TableHeader& h_;
    BlockStore& blocks_;
    io::File& file_;
    QString path_;
    PrimaryIndex* index_ = nullptr;

    std::vector<int> next_, prev_, count_;  // by block number; [0] unused
    std::vector<int> order_;                // blocks in chain order
    // block -> index in order_, -1 when not in it. A split or an unlink shifts the indexes of
    // every later block; they are set again only when one is asked for (a merge in key order
    // splits many blocks between two such questions). Whether a block is chained is always
    // exact; below placesFrom_ the indexes are too.
    mutable std::vector<int> place_;
    mutable size_t placesFrom_ = 0;
    std::vector<qint64> counts_;            // Fenwick tree over count_[order_[i]], 1-based
    bool countsValid_ = false;
    qint64 total_ = 0;
    // By block number, so that a split or an unlink moves no key: an empty block has the key
    // of the block before it in the chain when it was last set, none when it is the first.
    std::vector<QByteArray> firstKey_;
    bool firstKeysLoaded_ = false;
    quint64 idGeneration_ = 0;
    std::vector<int> newBlocks_;
    qint64 removed_ = 0;
    QString freeListProblem_;
    std::vector<int> outOfStep_;
    std::vector<int> orphans_;
};

}  // namespace quillora::px
