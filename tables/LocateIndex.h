#pragma once

#include <QList>
#include <QString>

#include <map>
#include <unordered_map>
#include <vector>

#include "tables/TableFile.h"
#include "tables/Value.h"

namespace quillora {

// An in-memory index of the values of some fields of a table, so that one search per source
// record keeps record runs linear instead of quadratic. It is built by one scan on first use
// and kept current by the Table's own writes. It answers which records hold a key; which of
// them comes first is for the caller to decide in its current order.
class LocateIndex {
public:
    LocateIndex(QList<int> fields, bool caseInsensitive, bool forPrefixes);

    const QList<int>& fields() const { return fields_; }
    // Whether this index can answer a search on these fields with these options.
    bool serves(const QList<int>& fields, bool caseInsensitive, bool partial) const;

    void build(TableFile& file);
    void add(RecordId id, const QList<Value>& values);
    void remove(RecordId id, const QList<Value>& values);

    // The records whose key equals the wanted values, or (partial) whose last text field
    // starts with the wanted text.
    std::vector<RecordId> candidates(const QList<Value>& wanted, bool partial) const;

    // The values of the indexed fields in a raw record, in the order of fields().
    QList<Value> valuesOf(TableFile& file, const QByteArray& raw) const;

private:
    QString keyOf(const QList<Value>& values) const;

    QList<int> fields_;
    bool caseInsensitive_;
    bool forPrefixes_;
    std::unordered_map<QString, std::vector<RecordId>> exact_;
    std::map<QString, std::vector<RecordId>> ordered_;
};

}  // namespace quillora
