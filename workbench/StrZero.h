#pragma once

#include <QString>

namespace quillora::workbench {

// Str repeated Count times; empty when Str is empty, Count is 0, or Count is 255 or more
// (the old picture buffer held 254 repetitions at most).
QString Replicate(const QString& str, quint16 count);

// Value rounded half away from zero and written with at least Width digits, zeros on the
// left, "-" before the zeros of a negative number. Width 0 (or 255 and more, an empty picture)
// and magnitudes from 10^18 write general notation under the regional settings. Throws
// Error "Format string too long" for Width 225 to 254.
QString StrZero(int width, double value);

}  // namespace quillora::workbench
