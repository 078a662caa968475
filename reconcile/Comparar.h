#pragma once

#include <QString>

#include "run/RecordRun.h"

namespace quillora {

class Table;

// The question asked before the comparison's walk: Yes compares and offers the record options
// for every difference, No compares only, Cancel skips the walk.
QString verificationQuestion();

// "Comparar": pairs records by key as "Atualizar" does and compares every mapped pair of
// fields; each difference becomes a line of the divergence list at listPath, written whole
// once the tables are closed by every run that got past opening them. A list that cannot be
// written (a folder that does not exist or cannot be written) is refused with its reason
// before the tables are opened: nothing is compared or reconciled. A record changed by a
// record option counts as updated; after the walk the destination records no source record
// found are counted and listed (with the source records that found none).
RecordRunResult comparar(Table& source, Table& destination, RecordRunHost& host, const QString& sourcePath,
                         const QString& destinationPath, const QString& mappingText, const QString& sourceKey,
                         const QString& destinationKey, const QString& listPath);

}  // namespace quillora
