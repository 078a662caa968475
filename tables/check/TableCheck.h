#pragma once

#include "tables/check/Fault.h"

#include <functional>

namespace quillora::check {

// Reports how far a long check has come (done of total, in any unit); returns false to stop it.
using CheckProgress = std::function<bool(qint64 done, qint64 total)>;

// Whether a check exists for the table's format (decided by the file's suffix).
bool checkable(const QString& path);

// The whole family: every file of it read without changing anything, every fault named.
CheckReport checkTable(const QString& path, const CheckProgress& progress = {});

// The same without the indexes (they are rebuilt from the records, never read for data): what
// reading a table needs to know.
CheckReport checkTableData(const QString& path);

// A quick look at the structure only (headers against the files), cheap enough for every opening.
CheckReport checkTableStructure(const QString& path);

// Faults that make the table unsafe to read as it is (everything but minor slips).
bool damaged(const CheckReport& report);
// Faults in the records themselves: a repair in place would lose data, only a copy can save them.
bool damagedRecords(const CheckReport& report);

}  // namespace quillora::check
