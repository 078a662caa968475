#pragma once

// The indexes of a Paradox table against its data: the primary index (.PX) entry by entry and
// level by level, and every maintained secondary index (.Xnn/.Ynn, .XGn/.YGn) record by record.

#include "tables/check/ParadoxRecordCheck.h"

namespace quillora::check {

// `scan` and `records` come from a sound walk of the chain (no fault in the records).
void checkParadoxIndexes(const PxTableFile& t, const PxChainScan& scan, const ParadoxRecordCheck& records,
                         FaultSink& sink);

// The .PX of a keyed table is present and made for this table's key (no entry is read).
void checkPrimaryIndexPresent(const PxTableFile& t, FaultSink& sink, QString* pxPath);

}  // namespace quillora::check
