#pragma once

// The header of a Paradox table (.DB): the fixed part with its counters and the field
// descriptors after it, read and checked into one struct that the table keeps and writes back.

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

#include "tables/CodePage.h"
#include "tables/Collation.h"
#include "tables/FieldType.h"
#include "tables/io/File.h"

namespace quillora::px {

// Field type codes of the header.
enum FieldCode : int {
    kAlpha = 0x01, kDate = 0x02, kShort = 0x03, kLong = 0x04, kMoney = 0x05, kNumber = 0x06,
    kLogical = 0x09, kMemo = 0x0C, kBinary = 0x0D, kFmtMemo = 0x0E, kOle = 0x0F, kGraphic = 0x10,
    kTime = 0x14, kTimestamp = 0x15, kAutoInc = 0x16, kBcd = 0x17, kBytes = 0x18,
};

// Memo, binary, formatted memo, OLE and graphic fields: a leader in the record, the rest in the .MB.
inline bool isBlobCode(int code) { return code >= kMemo && code <= kGraphic; }

// One field as the record holds it.
struct FieldDesc {
    QString name;
    int code = 0;   // type code of the header
    int size = 0;   // bytes in the record
    int offset = 0;
    int decimals = 0;  // BCD
    QByteArray minRaw, maxRaw, defaultRaw;  // from the .VAL, record encoding
    // The size byte of the descriptor: the decimals of a BCD field, the bytes of the others.
    int sizeByte() const { return code == kBcd ? decimals : size; }
};

// Throws the message of a damaged table.
[[noreturn]] void damaged(const QString& path, const QString& what);

struct TableHeader {
    QByteArray bytes;  // the whole header as on disk; the counters below are written back into it
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0;
    int blockSize = 0;
    int capacity = 0;  // records in a block
    int version = 0;
    int keyFields = 0;
    int fileBlocks = 0;
    int firstFree = 0;
    quint32 autoInc = 0;
    quint32 key = 0;  // encryption key, 0 for a table without password
    int codePage = 0;
    int sortByte = 0;
    QString sortOrderId;
    std::shared_ptr<const CodePage> cp;
    const Collation* collation = nullptr;
    bool collationKnown = true;

    std::vector<FieldDesc> fields;
    QList<FieldDef> defs;
    bool hasAlphaKey = false;
    int keySize = 0;  // bytes of the leading key fields

    // Reads and checks the header of `file` (`fileSize` bytes); throws FileError. `forCheck`
    // leaves the block and record counts against the file's size to the caller (a check names
    // them as faults and still looks at the rest).
    static TableHeader read(const io::File& file, qint64 fileSize, const QString& path, bool forCheck = false);

    // The field checks of the table's .VAL (`valPath`, empty when there is none): required
    // fields and the raw minimum, maximum and default of each field. Layouts not understood
    // are left alone.
    void readValidity(const QString& valPath);

    // What writing changes in the header: the counters, the chain's ends and the time of the
    // change, put into `bytes` and written to the file (all of it lies in the fixed part).
    struct Counters {
        qint64 records = 0;
        int blocksInUse = 0;
        int firstBlock = 0;
        int lastBlock = 0;
    };
    void writeCounters(io::File& file, const Counters& c);

private:
    void readFields(const QString& path, int varStart);
};

}  // namespace quillora::px
