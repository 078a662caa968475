#pragma once

#include <QByteArray>

#include "run/RecordRun.h"

namespace quillora {

// The lists a record run leaves, as CSV files (RFC 4180: comma separated, CRLF line ends,
// quotes around a field with a comma, quote or line break, inner quotes doubled; UTF-8) with
// a header line. The same bytes go to quillora-cli's --errors / --unmatched files and to the
// file the summary window saves.

// registro,chave,erro: every failed source record, in the order of the walk.
QByteArray failedRecordsCsv(const RecordRunResult& result);
// lado,registro,chave: the source records without a destination record ("fonte"), then the
// destination records no source record reached ("destino").
QByteArray unmatchedCsv(const RecordRunResult& result);

}  // namespace quillora
