#pragma once

#include <QString>

#include "run/RecordRun.h"

namespace quillora {

class Table;

// "Atualizar": for every source record, the destination record whose key field equals the
// source key (the search of KeySearch: whole value, letter case and trailing blanks ignored,
// the key cut as the field would store it) gets every mapped source field, stored with
// one Post or, when a line fails, not at all. Records without a match are passed over (and
// counted as not matched).
RecordRunResult atualizar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                          const QString& destinationPath, const QString& mappingText, const QString& sourceKey,
                          const QString& destinationKey);

}  // namespace quillora
