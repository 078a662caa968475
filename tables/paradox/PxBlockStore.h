#pragma once

#include "tables/io/File.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

namespace quillora::px {

// The data blocks of a .DB, read on demand into a fixed number of buffers and written back when
// asked (or when a changed buffer is needed for another block), so that a table of any size is
// walked with flat memory. A buffer is found by its block number at once, and the one reused is
// chosen by the clock method (a buffer used since the hand last passed gets another round). A
// reference from get() is good until the next get(); code that holds one block while reading
// another pins it: a pinned buffer is never reused.
class BlockStore {
public:
    struct Block {
        int no = 0;  // 0: buffer unused
        QByteArray data;
        bool dirty = false;
        bool recent = false;
        int pins = 0;
    };

    // Keeps a block in its buffer for as long as it lives.
    class Pin {
    public:
        explicit Pin(Block& b) : b_(&b) { ++b_->pins; }
        ~Pin() { --b_->pins; }
        Pin(const Pin&) = delete;
        Pin& operator=(const Pin&) = delete;
        Block& operator*() const { return *b_; }
        Block* operator->() const { return b_; }

    private:
        Block* b_;
    };

    // `usedBytes(no)`: the bytes of block `no` that hold its header and records; the rest is
    // written as zeros, so that leftovers of moved or deleted records do not stay on disk.
    BlockStore(io::File& file, QString path, std::function<int(int)> usedBytes);

    void setLayout(int headerSize, int blockSize, quint32 key);
    void setBlockCount(int blocks) { blockCount_ = blocks; }
    qint64 fileSize() const { return fileSize_; }
    void setFileSize(qint64 size) { fileSize_ = size; }

    // How many buffers: more make writes at random places cheaper. Changing it writes the
    // changed buffers first; no block may be pinned or held then.
    void setCapacity(int buffers);
    int capacity() const { return int(buffers_.size()); }

    Block& get(int no);
    Pin pin(int no) { return Pin(get(no)); }
    void write(Block& b);
    // Every buffer, for writing the changed ones in the order the caller needs.
    std::vector<Block>& buffers() { return buffers_; }
    // Drops every buffer without writing it (the table was emptied).
    void forget();

private:
    [[noreturn]] void damaged(const QString& what) const;

    io::File& file_;
    QString path_;
    std::function<int(int)> usedBytes_;
    int headerSize_ = 0;
    int blockSize_ = 0;
    quint32 key_ = 0;
    int blockCount_ = 0;
    qint64 fileSize_ = 0;
    std::vector<Block> buffers_;
    std::vector<int> where_;  // block number -> its buffer, -1 when in none
    int hand_ = 0;
    int lastHit_ = -1;
};

}  // namespace quillora::px
