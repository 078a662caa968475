#pragma once

// The records of a Paradox table as a check reads them block by block in chain order: keys in
// the table's order and unique, values that can be read, blob pointers into the .MB that lead
// to a blob of their own, and the autoincrement counter above every value handed out.

#include "tables/check/ParadoxChainCheck.h"

#include <QHash>

#include <memory>

namespace quillora {
class MbFile;
}

namespace quillora::check {

// Why a field's stored value cannot be read (empty when it can). Blobs are not looked at here.
QString unreadableValue(const px::FieldDesc& field, const char* p);

// Orders two records by the table's key fields, Alpha ones by its sort order.
int compareParadoxKeys(const px::TableHeader& h, const char* a, const char* b);

// Whether key order can be judged: an Alpha key needs a known sort order.
bool keyOrderKnown(const px::TableHeader& h);

class ParadoxRecordCheck {
public:
    ParadoxRecordCheck(const PxTableFile& table, FaultSink& sink);
    ~ParadoxRecordCheck();

    void block(int block, const char* records, int count);
    // The counters that depend on every record (autoincrement).
    void finish();
    // The first record of each chained block, for the .PX check.
    QByteArray firstKey(int block) const { return firstKeys_.value(block); }

private:
    void checkBlobs(const char* rec, const QString& place);
    MbFile* blobFile();

    const PxTableFile& t_;
    FaultSink& sink_;
    bool ordered_ = false;
    QByteArray prev_;
    qint64 number_ = 0;
    qint64 maxAutoInc_ = 0;
    QHash<int, QByteArray> firstKeys_;
    QString mbPath_;
    bool mbTried_ = false;
    bool mbMissingNamed_ = false;
    std::unique_ptr<MbFile> mb_;
    QHash<quint32, qint64> blobOwner_;  // .MB position of a blob -> the record that points at it
};

}  // namespace quillora::check
