#pragma once

#include "tables/check/TableCheck.h"

#include <QStringList>

namespace quillora::check {

// What a repair did (done) and, for a repaired copy, what could not be saved and why (lost).
struct RepairOutcome {
    QStringList done;
    QStringList lost;
};

// Mends the family in place from what its records hold (counters, end mark, every index), inside
// its own journaled operation "Reparar" so that it can be undone. `report` is a full check of the
// table. Throws FileError, changing nothing, when the records themselves are damaged (only a copy
// can save them) or when a write fails (the operation is rolled back).
RepairOutcome repairInPlace(const QString& path, const CheckReport& report);

// Writes a new sound table `out` of the same structure, indexes included, with every record that
// can still be read; the original is never touched. Throws FileError when `out` exists or cannot
// be written (then nothing of it is left behind).
RepairOutcome repairToCopy(const QString& path, const QString& out, const CheckProgress& progress = {});

}  // namespace quillora::check
