#pragma once

#include "tables/check/TableCheck.h"

namespace quillora::check {

// Checks every index of a dBase table against its records: each tag of the production .mdx and
// the .ndx of the same name (one left marked out of date is reported as such). The tree of each
// must be well formed, hold every record of the file once (deleted ones too, as dBase keeps
// them), each with the key its expression gives for the record, in the order of the table's
// collation; headers must agree with their files. Also a production .mdx the header announces
// but that is missing, or one written for another table. A tag whose key Quillora cannot
// compute is named as not checked. Adds the faults to `report`; progress runs from `done` to
// `done + records` (in records). Returns false when progress asked to stop.
bool checkDbaseIndexes(const QString& path, CheckReport& report, const CheckProgress& progress, qint64 done,
                       qint64 total);

// How many passes over the records checkDbaseIndexes makes (0 or 1), for progress totals.
int dbaseIndexPasses(const QString& path);

}  // namespace quillora::check
