#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "tables/CodePage.h"
#include "tables/TableFile.h"
#include "tables/io/File.h"
#include "tables/paradox/ParadoxHeader.h"
#include "tables/paradox/ParadoxIndex.h"
#include "tables/paradox/ParadoxRecordCodec.h"
#include "tables/paradox/ParadoxSecondary.h"
#include "tables/paradox/PxBlockStore.h"
#include "tables/paradox/PxCodec.h"

namespace quillora {

class MbFile;

// One Paradox table (.DB with its .PX, .MB, .VAL and index files), read and written in place.
// Blocks are read on demand through a small cache, so a table of any size is walked with flat
// memory. Each insert, update or delete is on disk, .PX included, when it returns; the
// secondary indexes are marked out of date by the first change and rebuilt by flush().
class ParadoxTable : public TableFile {
public:
    explicit ParadoxTable(const QString& path);
    ~ParadoxTable() override;

    QString path() const override { return path_; }
    QString formatName() const override;
    QString codePageName() const override;
    const QList<FieldDef>& fields() const override { return hdr_.defs; }
    QList<IndexDef> indexes() const override;
    // Alpha keys by the table's sort order; the other kinds by value, as the default does.
    QByteArray sortKey(int field, const Value& value) override;

    RecordId first() override;
    RecordId last() override;
    RecordId next(RecordId id) override;
    RecordId prior(RecordId id) override;
    qint64 count() override { return totalRecords_; }
    qint64 recordNumber(RecordId id) override;
    bool recordNumberIsPosition() const override { return true; }
    RecordId atPosition(qint64 position) override;
    qint64 position(RecordId id) override;
    // Ids are block and slot: inserts and deletes that shift records in a block, splits and
    // freed blocks move other records, and the table's in-memory indexes must know.
    quint64 idGeneration() const override { return idGeneration_; }

    void read(RecordId id, QByteArray& raw) override;
    Value value(const QByteArray& raw, int field) override;

    void beginWrite() override;
    Value normalize(int field, const Value& value) override;
    QList<Value> newRecordValues() override;
    RecordId insert(const QList<Value>& values, RecordId before) override;
    RecordId update(RecordId id, const QList<Value>& values, const QList<bool>& changed) override;
    RecordId remove(RecordId id) override;
    void flush() override;

    // Called between the steps of writing a change to disk (0: change counter, 1: data blocks,
    // 2: .PX blocks, 3: table header; the .PX header follows; 4: secondary indexes marked out
    // of date, before the first change; 5: on flush, a rebuilt .X in place and its .Y not yet),
    // so that tests can stop the process there and look at what an interruption leaves.
    static inline void (*writeStepHook)(int step) = nullptr;

    // What tests and `info` like to know.
    int version() const { return hdr_.version; }
    int keyFieldCount() const { return hdr_.keyFields; }
    int blockSize() const { return hdr_.blockSize; }
    QString sortOrderId() const { return hdr_.sortOrderId; }
    int codePageNumber() const { return hdr_.codePage; }
    bool isEncrypted() const { return hdr_.key != 0; }

    using Field = px::FieldDesc;
    const std::vector<Field>& rawFields() const { return hdr_.fields; }

private:
    friend class ParadoxChecker;
    [[noreturn]] void damaged(const QString& what) const;
    void openHeader();
    void walkChain();
    void hideUncountedRecords();
    void putBlocksInStep();
    void walkFreeList();
    void unlock();
    void findPassword();

    px::BlockStore::Block& block(int no) { return blocks_.get(no); }
    const char* blockRecords(int no) { return block(no).data.constData() + 6; }
    void setBlockHeader(int no);
    int allocBlock();
    void freeBlock(int no);
    void ensurePrefix(int chainIndex);
    void chainChanged(int fromIndex);

    // Writing helpers
    int compareKeys(const char* a, const char* b) const;
    void locate(const char* rec, int* chainIndex, int* slot, bool* equal);
    RecordId insertAt(int chainIndex, int slot, const char* rec);
    void removeAt(int chainIndex, int slot);
    void refreshFirstKey(int chainIndex);
    void loadFirstKeys();
    void writeHeader();
    // After each insert, update or delete: data blocks, then the .PX, then the header
    // counters, so that the files on disk describe each other whenever a write returns.
    void commitWrite();

    void truncateToHeader();
    MbFile& mb(bool forWrite);
    QString familyFile(const QString& ext) const;

    QString path_;
    io::File file_;
    px::BlockStore blocks_;  // reads and writes through file_
    quint64 idGeneration_ = 0;  // kept here: asking the system on every block costs a call
    bool writable_ = false;
    bool dirty_ = false;

    px::TableHeader hdr_;  // counters included: writing keeps them here
    px::RecordCodec codec_;
    QString freeListProblem_;

    std::vector<int> next_, prev_, count_;
    std::vector<int> chain_;       // blocks in chain order
    std::vector<int> chainIndex_;  // block -> index in chain_, -1 when not in it
    std::vector<qint64> prefix_;   // records before chain_[i]
    int prefixValid_ = -1;         // prefix_ is right up to this index
    qint64 totalRecords_ = 0;
    std::vector<QByteArray> firstKey_;  // keyed tables while writing
    bool firstKeysLoaded_ = false;
    std::vector<int> newBlocks_;   // allocated since the last commit: written first
    qint64 removedSinceCommit_ = 0;
    // What a stopped write leaves: blocks whose count was cut to the header's or whose back
    // pointer is stale, and blocks neither chained nor free. Put in step by beginWrite().
    std::vector<int> outOfStepBlocks_;
    std::vector<int> orphanBlocks_;

    px::PrimaryIndex px_;  // keyed tables, from the first write on
    px::SecondaryIndexes secondary_;

    std::unique_ptr<MbFile> mb_;
    mutable bool pxChecked_ = false;
};

}  // namespace quillora
