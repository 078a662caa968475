#pragma once

#include "tables/check/TableCheck.h"

namespace quillora::check {

// Reads a .dbf and its memo file without changing them and names every fault found: the header
// against the file's size, the field descriptors, the deletion flags, values that cannot be read,
// memo pointers out of range, on free blocks or shared by two records. Every count read from the
// file is bounded by the file's size, so a hostile file costs no more than its own length.
// With `indexes`, every .mdx tag and .ndx is compared with the records too (DbaseIndexCheck).
CheckReport checkDbaseTable(const QString& path, const CheckProgress& progress = {}, bool indexes = true);
// Only the header against the file (no record is read): what a quick look on opening can tell.
CheckReport checkDbaseStructure(const QString& path);

// Whether a field's bytes can be read as a value of its dBase type (dates, numbers, logicals;
// every other type is taken as it is).
bool readableDbaseValue(char type, const char* p, int length);

}  // namespace quillora::check
