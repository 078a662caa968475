#pragma once

#include "tables/check/TableCheck.h"

#include <QString>

#include <future>

namespace quillora::cli {

// Checks a table's structure (the header against the file) before it is read and prints on
// standard error what is wrong with it, so that a damaged table is never taken for a sound one.
// Returns whether anything was found. Tables of formats without a check are taken as they are.
bool noticeDamage(const QString& table);

// The same, with every record read too, on another thread while the caller reads the table
// (a dump takes the time of one pass, not two). The faults are printed when notice() is called,
// after the records.
class DamageWatch {
public:
    explicit DamageWatch(const QString& table);
    ~DamageWatch();
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

    // Waits for the check, prints what it found; returns whether the table is damaged.
    bool notice();

private:
    QString table_;
    std::future<check::CheckReport> report_;
};

}  // namespace quillora::cli
