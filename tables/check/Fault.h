#pragma once

#include <QString>

#include <vector>

namespace quillora::check {

// One thing wrong in a table family: which file, where in it (record, block, offset, ...) and
// what, in words for the user.
struct Fault {
    QString file;
    QString place;
    QString text;
    // True when the records themselves are affected (a repair in place cannot mend it without
    // losing data); false for what can be rebuilt from the records (counters, end mark, indexes).
    bool inRecords = false;
    // True for a slip other programs read past unharmed (a missing end mark): the table still
    // reads as it is meant to, so only check and repair mention it.
    bool minor = false;
};

// What a check found in one table family.
struct CheckReport {
    QString table;
    std::vector<Fault> faults;
    // The main file could not be opened or its header not read: nothing else was looked at.
    bool unreadable = false;
    bool sound() const { return faults.empty(); }
};

// The report as the command line prints it: one line per fault, "file: place: text".
QString formatFault(const Fault& fault);

}  // namespace quillora::check
