#pragma once

// The data blocks of a Paradox table (.DB) as a check sees them: the header read without
// trusting its counts, the chain followed block by block, the free list, and the header's
// counters against what the blocks hold.

#include "tables/check/TableCheck.h"
#include "tables/io/File.h"
#include "tables/paradox/ParadoxHeader.h"

#include <functional>
#include <vector>

namespace quillora::check {

// Collects the faults of one check; past a bound the rest are only counted, so that a file
// damaged everywhere gives a report of bounded size.
class FaultSink {
public:
    explicit FaultSink(CheckReport& report) : report_(report) {}
    void add(const QString& file, const QString& place, const QString& text, bool inRecords = false, bool minor = false);
    // Adds the line that counts the faults left out.
    void finish(const QString& file);
    bool anyInRecords() const { return inRecords_; }

private:
    CheckReport& report_;
    qint64 dropped_ = 0;
    bool inRecords_ = false;
};

// A Paradox table opened for checking or salvage.
struct PxTableFile {
    QString path;
    io::File file;
    qint64 size = 0;
    px::TableHeader h;
    // Whole or partial data blocks the file holds past its header (at most what a header can name).
    int blocksInFile() const;
    // Opens the table and reads its header; throws FileError when that cannot be done.
    void open(const QString& tablePath);
};

// Reads data block `block` into `buf` (blockSize bytes, decoded when the table is encrypted);
// returns how many of its bytes the file holds.
int readDataBlock(const PxTableFile& t, int block, QByteArray& buf);

// The records a block header declares (-1 when the header cannot be a data block's).
int declaredRecords(const px::TableHeader& h, const char* blockHeader);

struct PxChainScan {
    std::vector<int> order;   // chained blocks in chain order
    std::vector<int> count;   // by block number: records the chain holds there (-1: not chained)
    std::vector<char> state;  // by block number: 0 not reached, 1 chained, 2 on the free list
    qint64 records = 0;
    bool broken = false;       // the chain could not be followed to its end
    bool freeListBad = false;  // the free list could not be followed to its end
    bool stopped = false;      // the progress callback asked to stop
};

// Called with each chained block's records in chain order.
using BlockVisitor = std::function<void(int block, const char* records, int count)>;

// Follows the chain from the header's first block and then the free list, naming every fault
// of either; the blocks neither chained nor free are named too. Progress is counted in blocks.
PxChainScan scanParadoxChain(const PxTableFile& t, FaultSink& sink, const BlockVisitor& visit,
                             const CheckProgress& progress);

// The header against the file and the chain: file size, record count, blocks in use, first and
// last block; and the marks that ask for a rebuild.
void checkParadoxHeader(const PxTableFile& t, FaultSink& sink);
void checkParadoxMarks(const PxTableFile& t, FaultSink& sink);
void checkParadoxCounters(const PxTableFile& t, const PxChainScan& scan, FaultSink& sink);

QString blockPlace(int block);
// Another member of a table's family, named the way the table's path was given (CLIENTES.db ->
// CLIENTES.PX), for a fault about a file that is missing.
QString familyMember(const QString& tablePath, const QString& suffix);
QString offsetPlace(qint64 offset);

}  // namespace quillora::check
