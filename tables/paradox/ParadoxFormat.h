#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

#include "tables/FieldType.h"

namespace quillora {

// Registers ".db" with TableFormats.
void registerParadoxFormat();

// A new, empty Paradox table.
struct ParadoxCreateOptions {
    ParadoxCreateOptions() = default;
    ParadoxCreateOptions(int level_, int keyFieldCount_ = 0, QString sortOrder_ = QStringLiteral("ascii"),
                         int codePage_ = 0, int blockSizeKiB_ = 2, QString password_ = {})
        : level(level_), keyFieldCount(keyFieldCount_), sortOrder(std::move(sortOrder_)), codePage(codePage_),
          blockSizeKiB(blockSizeKiB_), password(std::move(password_))
    {
    }
    int level = 7;             // 4, 5 or 7
    int keyFieldCount = 0;     // leading fields that form the primary key (0 = unkeyed)
    QString sortOrder = QStringLiteral("ascii");  // language driver name: ascii, intl, ANSIINTL, ANSII850, DBWINUS0
    int codePage = 0;          // 0 = the code page the sort order goes with
    int blockSizeKiB = 2;      // 1, 2, 4 (also 8, 16, 32 at level 7)
    QString password;          // non-empty = encrypted table
};

// Creates path (.DB) and, for a keyed table, its .PX. Field kinds map to Paradox types:
// ftString A(size), ftSmallint S, ftInteger I, ftAutoInc +, ftFloat N, ftCurrency $, ftBCD
// #(decimals), ftDate D, ftTime T, ftDateTime @, ftBoolean L, ftMemo M(size = leader),
// ftFmtMemo F, ftBlob B, ftGraphic G, ftParadoxOle O, ftBytes Y(size). Throws Error.
void createParadoxTable(const QString& path, const QList<FieldDef>& fields, const ParadoxCreateOptions& options = {});

// One entry of the lowest level of a primary index (.PX) or of a .Y file.
struct PxIndexEntry {
    QByteArray key;  // record encoding of the key fields
    int block = 0;   // data block
    int count = 0;   // records in that block
};
// Reads a primary index by walking its tree from the root; throws FileError when it is damaged.
// `key` is the table's encryption key when the index is encrypted (0 otherwise).
std::vector<PxIndexEntry> readParadoxIndex(const QString& path, quint32 key = 0);

// Checks a primary index against its table: `chain` holds the table's data blocks in chain
// order (block, records, key of the first record); `compare` orders two keys; `tableStamp` is
// the table's change counter (0x2D) that the index must carry (-1: an index of another program,
// whose counter is not compared, since they often carry another, and whose last block may end
// after its entries, as BDE leaves it). Looks at the header counters,
// the .PX block chain, every level of the tree from the root (key order, first keys and record
// sums of the blocks below) and the lowest level against the table. Returns the problems found.
QStringList checkPrimaryIndex(const QString& pxPath, const std::vector<PxIndexEntry>& chain,
                              const std::function<int(const char*, const char*)>& compare, int tableStamp);

// Checks the maintained secondary indexes of a table (.Xnn/.XGn with their .Y): counters in
// step, the .X block chain, every record of the table present once, in the index's order,
// with its values and the block that holds it, and the .Y as a primary index of the .X.
// Returns the problems found. Without `stamps`, the change counters that tie the files together
// are not compared (other programs leave them apart in sound families).
QStringList checkSecondaryIndexes(const QString& tablePath, bool stamps = true);

// Consistency checks of a table family: counters, block chain and free list, key order,
// .PX entries, .MB allocations. Returns the problems found (empty = consistent).
QStringList checkParadoxTable(const QString& path);

}  // namespace quillora
