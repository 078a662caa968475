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
#include "tables/paradox/PxBlockChain.h"
#include "tables/paradox/PxBlockStore.h"
#include "tables/paradox/PxCodec.h"
#include "tables/paradox/PxInsertBatch.h"
#include "tables/paradox/PxKeyFilter.h"

namespace quillora {

class MbFile;

// One Paradox table (.DB with its .PX, .MB, .VAL and index files), read and written in place.
// Blocks are read on demand through a small cache, so a table of any size is walked with flat
// memory. Outside an operation each insert, update or delete is on disk, .PX included, when it
// returns; inside one (whose journal rolls the family back after a crash) blocks wait in a larger
// cache and the .PX and header follow now and then and on flush(). There, records of a keyed
// table that do not go at its end wait in a sorted batch and join the chain together, in key
// order, when the batch is full, when the table's order is walked, and on flush(). The
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
    qint64 count() override { return chain_.total() + batch_.size(); }
    qint64 recordNumber(RecordId id) override;
    bool recordNumberIsPosition() const override { return true; }
    RecordId atPosition(qint64 position) override;
    qint64 position(RecordId id) override;
    // In a keyed table the order is the key's, so batched records compare without a merge.
    bool precedes(RecordId a, RecordId b) override;
    // Ids are block and slot: inserts and deletes that shift records in a block, splits and
    // freed blocks move other records, and the table's in-memory indexes must know.
    // Merging the batch gives its records block-and-slot ids.
    quint64 idGeneration() const override { return chain_.idGeneration() + merges_; }
    bool findPrimaryKey(const QList<Value>& key, RecordId* id) override;

    void read(RecordId id, QByteArray& raw) override;
    Value value(const QByteArray& raw, int field) override;
    bool appendDisplayUtf8(const QByteArray& raw, int field, const Regional& regional, std::string& out) override;

    void beginWrite() override;
    Value normalize(int field, const Value& value) override;
    QList<Value> newRecordValues() override;
    RecordId insert(const QList<Value>& values, RecordId before) override;
    RecordId update(RecordId id, const QList<Value>& values, const QList<bool>& changed) override;
    RecordId remove(RecordId id) override;
    void flush() override;
    // A record of a table of the same structure, its bytes as they are (a repaired copy keeps
    // every byte it saves): the blob fields are written anew from `values`, the others ignored.
    RecordId insertImage(const QByteArray& image, const QList<Value>& values);
    // A repair: mends blocks a stopped write left out of step, rebuilds the .PX and every
    // maintained secondary index from the data and writes the header's counters from the chain.
    void rebuildFromData();

    // Called between the steps of writing a change to disk (0: change counter, 1: data blocks,
    // 2: .PX blocks, 3: table header; the .PX header follows; 4: secondary indexes marked out
    // of date, before the first change; 5: on flush, a rebuilt .X in place and its .Y not yet),
    // so that tests can stop the process there and look at what an interruption leaves.
    static inline void (*writeStepHook)(int step) = nullptr;

    // The block buffers of a table written inside an operation (see beginWrite()); tests make
    // it small so that buffers are reused.
    static inline int deferredCacheBytes = 4 << 20;
    // The batch of records added out of key order inside an operation, in bytes (the record's
    // size and InsertBatch::kBytesPerRecord a record); tests make it small.
    static inline int insertBatchBytes = 16 << 20;
    // Inside an operation the .PX and the header follow the blocks after this many writes.
    static inline int writesPerDeferredCommit = 65536;

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
    void openHeader();
    void findPassword();
    void unlock();
    // Fills the automatic fields of a new record and checks the required ones and the ranges.
    void prepareNew(char* rec, const QList<Value>& values);
    // The rest of an insert once the record's bytes but the blobs are in `rec`.
    RecordId insertRecord(QByteArray rec, const QList<Value>& values, RecordId before);

    // Where a record with these key bytes belongs: chain index and slot, and whether a record
    // with an equal key is there.
    int compareKeys(const char* a, const char* b) const;
    void locate(const char* rec, int* chainIndex, int* slot, bool* equal);

    // Keyed writes inside an operation go through the batch.
    bool batching() const { return deferred_ && hdr_.keyFields > 0; }
    // Whether the chain (not the batch) holds a record with the key of `rec`; the key filter
    // answers most of these without reading a block.
    bool chainHoldsKey(const char* rec);
    bool beyondChainEnd(const char* rec);
    quint64 keyHash(const char* rec) const;
    RecordId chainInsert(int chainIndex, int slot, const char* rec);
    // Merges the batch into the chain; settle() also returns the new id of record `id`.
    void mergeBatch();
    RecordId settle(RecordId id);
    void rebuildKeyFilter();
    void writeHeader();
    // After each insert, update or delete: data blocks, then the .PX, then the header
    // counters, so that the files on disk describe each other whenever a write returns.
    void commitWrite();
    // After each insert, update or delete: commitWrite() now, or later when writes are deferred.
    void writeDone();

    MbFile& mb(bool forWrite);
    QString familyFile(const QString& ext) const;

    QString path_;
    io::File file_;
    px::BlockStore blocks_;  // reads and writes through file_
    bool writable_ = false;
    bool dirty_ = false;
    bool deferred_ = false;
    int writesSinceCommit_ = 0;

    px::TableHeader hdr_;  // counters included: writing keeps them here
    px::RecordCodec codec_;
    px::BlockChain chain_;
    px::PrimaryIndex px_;  // keyed tables, from the first write on
    px::SecondaryIndexes secondary_;
    px::InsertBatch batch_;
    px::KeyFilter keyFilter_;
    quint64 merges_ = 0;
    // The block the last locate() ended in: a batch merges in key order, so the next key's
    // block is at or just after it. Only a starting point; the search checks every step.
    int locateHint_ = 0;

    std::unique_ptr<MbFile> mb_;
};

}  // namespace quillora
