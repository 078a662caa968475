#pragma once

#include "tables/check/TableRepair.h"

namespace quillora::check {

// Inside the caller's operation: the header's counters and marks set from what the chain holds,
// the free list remade, blocks out of step mended, the .PX and every maintained secondary index
// rebuilt from the data. Only for a table whose records and chain are sound. Returns what was done.
QStringList repairParadoxInPlace(const QString& path);

// A new table `out` of the same structure (fields, key, sort order, code page, block size, the
// secondary indexes rebuilt, the .MB) with every record that can still be read, found in every
// block of the file that holds records, chained or not, each block once. Throws FileError when
// nothing can be made (then nothing of `out` is left).
RepairOutcome repairParadoxToCopy(const QString& path, const QString& out, const CheckProgress& progress);

}  // namespace quillora::check
