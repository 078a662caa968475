#pragma once

#include "tables/check/TableRepair.h"

namespace quillora::check {

// Writes `out` (a .dbf that does not exist yet) as a sound table of the structure of `path`:
// the same header (version, language driver, field descriptors), a memo file when it has memo
// fields, the production .mdx with the same tags and the .ndx (named after the new table, the
// only name under which an .ndx goes with it), all rebuilt from the saved records. Every record
// that can still be read is saved through the engine's own writer; a value that cannot be read
// is left empty, a record past the end of a truncated file is lost, each one named in `lost`.
// The original is only read. On failure nothing of `out` is left behind (FileError thrown).
RepairOutcome copyDbaseTable(const QString& path, const QString& out, const CheckProgress& progress);

}  // namespace quillora::check
