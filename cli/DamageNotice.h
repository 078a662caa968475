#pragma once

#include <QString>

namespace quillora::cli {

// Checks a table before it is read and prints on standard error what is wrong with its
// structure, so that a damaged table is never taken for a sound one. records: read every record
// too (dump reads them anyway); otherwise only the header against the file. Returns whether
// anything was found. Tables of formats without a check are taken as they are.
bool noticeDamage(const QString& table, bool records);

}  // namespace quillora::cli
