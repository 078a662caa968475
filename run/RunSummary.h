#pragma once

#include <QString>

#include "run/RecordRun.h"

namespace quillora {

// The counts of a finished record run as one line, fields separated by "; ":
// "Resumo: lidos N; incluídos N; alterados N; inalterados N; sem correspondência N; com erro N;
// tempo S s". A run that counts destination records no source record reached ("Comparar") adds
// them in parentheses after "sem correspondência N". The time is in seconds with two decimals,
// written with the regional decimal separator and no group separators.
QString summaryLine(const RecordRunResult& result);

// The same counts one to a line, for the summary window.
QString summaryText(const RecordRunResult& result);

}  // namespace quillora
