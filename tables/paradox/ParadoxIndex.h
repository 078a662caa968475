#pragma once

// The primary index (.PX) of a keyed Paradox table while the table is written: held in memory,
// one node per .PX block, and written block by block as the table's writes change it.

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

#include "tables/io/File.h"
#include "tables/paradox/ParadoxHeader.h"

namespace quillora::px {

class PrimaryIndex {
public:
    // Level 0 entries point at data blocks, higher ones at .PX blocks.
    struct Entry {
        QByteArray key;
        int child = 0;
        qint64 count = 0;
    };
    struct Node {
        bool live = false;
        bool dirty = false;
        int level = 0;
        int parent = 0;  // 0 for the root
        int next = 0, prev = 0;  // the .PX block chain
        std::vector<Entry> entries;
    };
    // What the index reads of its table: the data blocks in chain order, by block their place
    // in the chain, record count and first key, and a block's first record.
    struct TableView {
        const TableHeader& header;
        const std::vector<int>& chain;
        const std::vector<int>& chainIndex;
        const std::vector<int>& count;
        const std::vector<QByteArray>& firstKey;
        std::function<const char*(int block)> firstRecord;
    };

    PrimaryIndex(const QString& tablePath, TableView table) : tablePath_(tablePath), t_(std::move(table)) {}

    // Builds the index from the table's data and writes it whole; `existingPath` is the .PX
    // found beside the table (empty: a new one is made).
    void open(const QString& existingPath);
    // Until open(), the calls below do nothing.
    bool active() const { return active_; }
    // The .PX blocks a write changed; then, in step with the table's header, the .PX header.
    void commit();
    void finish();
    // The entry of a data block may have changed.
    void touch(int dataBlock);
    // The table's chain changed: its first block, a block linked after another, one unlinked,
    // or all of them gone.
    void insertFirst(int dataBlock);
    void linkAfter(int dataBlock, int newDataBlock);
    void unlink(int dataBlock);
    void clear();

private:
    void writeAll();
    void writeNode(int node);
    void writeHeader(bool whole);
    int allocNode(int level);
    void freeNode(int node);
    void insertEntry(int node, int pos, Entry e);
    void removeEntry(int node, int pos);
    void mergeWithSibling(int node);
    void adopt(int node, int pos);
    int indexIn(int node, int child) const;
    bool rightmost(int node) const;
    void chainAfter(int node, int newNode);
    void chainRemove(int node);
    void compact();

    QString tablePath_;
    TableView t_;
    QString path_;
    io::File file_;
    qint64 fileSize_ = 0;
    QByteArray header_;
    QByteArray scratch_;         // one .PX block being written
    std::vector<Node> nodes_;    // by .PX block number; [0] unused
    std::vector<int> leafOf_;    // data block -> .PX block holding its entry
    std::vector<int> touched_;   // data blocks whose entry may have changed since the last commit
    std::vector<int> changed_;   // nodes whose first key or sum may have changed
    int root_ = 0, levels_ = 0, head_ = 0, tail_ = 0;
    int blockSize_ = 0, entrySize_ = 0, capacity_ = 0;
    quint32 key_ = 0;
    bool active_ = false;
};

}  // namespace quillora::px
