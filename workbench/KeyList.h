#pragma once

#include "tables/Value.h"

#include <QList>

#include <map>
#include <string>
#include <vector>

namespace quillora::workbench {

// The key values of every record of a large table, held in about the bytes they take in the
// file: one byte string for all of them rather than a list of values (and a string) per record.
// Values read back equal to what was put in.
class KeyList {
public:
    void append(const QList<Value>& key);
    qsizetype size() const { return qsizetype(starts_.size()); }
    QList<Value> at(qsizetype i) const;

private:
    std::string bytes_;
    std::vector<quint64> starts_;
    // Keys with a value this list does not pack (times, timestamps, broken text), kept whole.
    std::map<qsizetype, QList<Value>> whole_;
};

}  // namespace quillora::workbench
