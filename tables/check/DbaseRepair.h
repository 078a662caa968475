#pragma once

#include "tables/check/Fault.h"

namespace quillora::check {

// Mends in place what a dBase check found outside the records: the header's record count set to
// the whole records the file holds, the end-of-file mark restored and stray bytes after it cut.
// Indexes the check (`report`) found faults in are rebuilt from the records, an index left out
// of date is written anew, and a production-index mark whose .mdx is missing is cleared.
// The caller runs it inside an io::Operation so that it can be undone. Returns what it changed,
// in words for the user. Throws FileError when a write fails.
QStringList repairDbaseInPlace(const QString& path, const CheckReport& report);

}  // namespace quillora::check
