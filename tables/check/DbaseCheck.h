#pragma once

#include "tables/check/Fault.h"

namespace quillora::check {

// Reads a .dbf and its memo file without changing them and names every fault found: the header
// against the file's size, the field descriptors, the deletion flags, values that cannot be read,
// memo pointers out of range, on free blocks or shared by two records. Every count read from the
// file is bounded by the file's size, so a hostile file costs no more than its own length.
CheckReport checkDbaseTable(const QString& path);
// Only the header against the file (no record is read): what a quick look on opening can tell.
CheckReport checkDbaseStructure(const QString& path);

}  // namespace quillora::check
