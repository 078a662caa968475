#pragma once

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "tables/CodePage.h"
#include "tables/TableFile.h"
#include "tables/paradox/PxCodec.h"

namespace quillora {

class MbFile;

// One Paradox table (.DB with its .PX, .MB, .VAL and index files), read and written in place.
// Blocks are read on demand through a small cache and written back on flush(), so a table of
// any size is walked with flat memory.
class ParadoxTable : public TableFile {
public:
    explicit ParadoxTable(const QString& path);
    ~ParadoxTable() override;

    QString path() const override { return path_; }
    QString formatName() const override;
    QString codePageName() const override;
    const QList<FieldDef>& fields() const override { return defs_; }
    QList<IndexDef> indexes() const override;

    RecordId first() override;
    RecordId last() override;
    RecordId next(RecordId id) override;
    RecordId prior(RecordId id) override;
    qint64 count() override { return totalRecords_; }
    qint64 recordNumber(RecordId id) override;
    bool recordNumberIsPosition() const override { return true; }
    RecordId atPosition(qint64 position) override;
    qint64 position(RecordId id) override;

    void read(RecordId id, QByteArray& raw) override;
    Value value(const QByteArray& raw, int field) override;

    void beginWrite() override;
    Value normalize(int field, const Value& value) override;
    QList<Value> newRecordValues() override;
    RecordId insert(const QList<Value>& values, RecordId before) override;
    RecordId update(RecordId id, const QList<Value>& values, const QList<bool>& changed) override;
    RecordId remove(RecordId id) override;
    void flush() override;

    // What tests and `info` like to know.
    int version() const { return version_; }
    int keyFieldCount() const { return keyFields_; }
    int blockSize() const { return blockSize_; }
    QString sortOrderId() const { return sortOrderId_; }
    int codePageNumber() const { return codePage_; }
    bool isEncrypted() const { return key_ != 0; }

    struct Field {
        QString name;
        int code = 0;   // type code of the header
        int size = 0;   // bytes in the record
        int offset = 0;
        int decimals = 0;  // BCD
        QByteArray minRaw, maxRaw, defaultRaw;  // from the .VAL, record encoding
    };
    const std::vector<Field>& rawFields() const { return fields_; }

private:
    friend class ParadoxChecker;
    struct CachedBlock {
        int no = 0;
        QByteArray data;
        bool dirty = false;
        quint64 stamp = 0;
    };

    [[noreturn]] void damaged(const QString& what) const;
    void openHeader();
    void parseFields(const QByteArray& h, int varStart);
    void walkChain();
    void walkFreeList();
    void readVal();
    void unlock();
    void findPassword();

    CachedBlock& block(int no);
    void writeBlock(CachedBlock& b);
    char* recordPtr(int blockNo, int slot) { return block(blockNo).data.data() + 6 + slot * recordSize_; }
    void setBlockHeader(int no);
    int allocBlock();
    void freeBlock(int no);
    void ensurePrefix(int chainIndex);
    void chainChanged(int fromIndex);

    // Writing helpers
    void encodeRecord(const QList<Value>& values, const QList<bool>* changed, QByteArray& rec,
                      const QByteArray* old);
    void encodeField(int f, const Value& v, char* p, const char* oldP);
    void checkRange(int f, const char* p) const;
    int compareKeys(const char* a, const char* b) const;
    void locate(const char* rec, int* chainIndex, int* slot, bool* equal);
    RecordId insertAt(int chainIndex, int slot, const char* rec);
    void removeAt(int chainIndex, int slot);
    void refreshFirstKey(int chainIndex);
    void loadFirstKeys();
    void writeHeader();
    void writePrimaryIndex();
    void truncateToHeader();
    MbFile& mb(bool forWrite);
    QString familyFile(const QString& ext) const;

    QString path_;
    QFile file_;
    bool writable_ = false;
    bool dirty_ = false;
    bool pxDirty_ = false;
    int lockFd_ = -1;

    QByteArray header_;
    int recordSize_ = 0;
    int headerSize_ = 0;
    int fileType_ = 0;
    int blockSize_ = 0;
    int capacity_ = 0;
    int version_ = 0;
    int keyFields_ = 0;
    int fileBlocks_ = 0;
    int firstFree_ = 0;
    quint32 autoInc_ = 0;
    quint32 key_ = 0;
    int codePage_ = 0;
    int sortByte_ = 0;
    QString sortOrderId_;
    std::shared_ptr<const CodePage> cp_;
    const px::Collation* collation_ = nullptr;
    bool collationKnown_ = true;
    QString freeListProblem_;

    std::vector<Field> fields_;
    QList<FieldDef> defs_;
    bool hasAlphaKey_ = false;
    int keySize_ = 0;  // bytes of the leading key fields

    std::vector<int> next_, prev_, count_;
    std::vector<int> chain_;       // blocks in chain order
    std::vector<int> chainIndex_;  // block -> index in chain_, -1 when not in it
    std::vector<qint64> prefix_;   // records before chain_[i]
    int prefixValid_ = -1;         // prefix_ is right up to this index
    qint64 totalRecords_ = 0;
    std::vector<QByteArray> firstKey_;  // keyed tables while writing
    bool firstKeysLoaded_ = false;

    std::vector<CachedBlock> cache_;
    quint64 stamp_ = 0;
    int lastHit_ = -1;

    std::unique_ptr<MbFile> mb_;
    mutable bool pxChecked_ = false;
};

}  // namespace quillora
