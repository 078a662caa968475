// The block buffers of a .DB: a pinned block stays in its buffer however many others are read.
#include "tables/Error.h"
#include "tables/io/MemoryBackend.h"
#include "tables/paradox/PxBlockStore.h"

#include <gtest/gtest.h>

#include <list>

using namespace quillora;
using px::BlockStore;

namespace {

constexpr int kHeader = 0x800, kBlock = 1024, kBlocks = 40;

class PxBlockStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QByteArray bytes(kHeader + kBlocks * kBlock, '\0');
        for (int no = 1; no <= kBlocks; ++no)
            bytes[kHeader + (no - 1) * kBlock + 6] = char(no);  // each block's first record byte
        memory.put(path, bytes);
        file.tryOpen(path, io::OpenMode::ReadWrite);
        store.setLayout(kHeader, kBlock, 0);
        store.setBlockCount(kBlocks);
        store.setFileSize(bytes.size());
    }
    const QString path = QStringLiteral("/mem/B.db");
    io::MemoryBackend memory;
    io::ScopedBackend use{memory};
    io::File file;
    BlockStore store{file, path, [](int) { return kBlock; }};
};

TEST_F(PxBlockStoreTest, aPinnedBlockOutlivesReadsOfEveryOtherBlock)
{
    const BlockStore::Pin first = store.pin(1);
    const char* held = first->data.constData();
    first->data[7] = 'x';
    first->dirty = true;
    for (int no = 2; no <= kBlocks; ++no)
        EXPECT_EQ(store.get(no).data[6], char(no));
    EXPECT_EQ(first->no, 1);
    EXPECT_EQ(held, first->data.constData());
    EXPECT_EQ(held[6], char(1));
    EXPECT_EQ(held[7], 'x');
}

TEST_F(PxBlockStoreTest, aChangedBlockIsWrittenWhenItsBufferIsReused)
{
    BlockStore::Block& b = store.get(3);
    b.data[8] = 'y';
    b.dirty = true;
    for (int no = 4; no <= kBlocks; ++no)
        store.get(no);
    EXPECT_EQ(memory.content(path).at(kHeader + 2 * kBlock + 8), 'y');
    EXPECT_EQ(store.get(3).data[8], 'y');
}

TEST_F(PxBlockStoreTest, pinningEveryBufferRefusesAnotherBlock)
{
    std::list<BlockStore::Pin> pins;
    int no = 1;
    try {
        for (; no <= kBlocks; ++no)
            pins.emplace_back(store.get(no));
        FAIL() << "every block could be pinned";
    } catch (const Error&) {
        EXPECT_GT(no, 1);
    }
    for (const BlockStore::Pin& p : pins)
        EXPECT_EQ(p->data[6], char(p->no));
}

}  // namespace
