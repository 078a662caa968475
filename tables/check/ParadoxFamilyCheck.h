#pragma once

#include "tables/check/TableCheck.h"

namespace quillora::check {

// Reads a Paradox table (.DB) and its family without changing them and names every fault found:
// the header against the file, the block chain and the free list, the header's counters, the
// records (key order, unique keys, values, blob pointers into the .MB), the .PX and the
// maintained secondary indexes against the data, and family members missing or made for another
// table. Every count read from a file is bounded by the file's size. Progress is in blocks.
CheckReport checkParadoxFamily(const QString& path, const CheckProgress& progress = {});
// Only the data's structure: the header against the file and the chain (no record is decoded,
// no index looked at), what a quick look on opening can tell.
CheckReport checkParadoxStructure(const QString& path);

}  // namespace quillora::check
