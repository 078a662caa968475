#pragma once

#include <QList>
#include <QString>

#include <map>
#include <vector>

#include "tables/TableFile.h"
#include "tables/Value.h"

namespace quillora {

// The length of a text without its trailing blanks (U+0020), for searches that ignore them.
inline qsizetype lengthWithoutTrailingBlanks(QStringView text)
{
    qsizetype n = text.size();
    while (n > 0 && text[n - 1] == QLatin1Char(' '))
        --n;
    return n;
}

// Text in capitals as the current locale writes them (Regional::toUpper), for searches that
// ignore letter case; plain ASCII text takes a shortcut that gives the same capitals.
QString searchCapitals(QStringView text);
// The same capitals appended to `out`, without a string of their own.
void appendSearchCapitals(QString& out, QStringView text);
// Whether two texts have the same searchCapitals(), without making them where both are ASCII.
bool sameSearchCapitals(QStringView a, QStringView b);

// An in-memory index of the values of some fields of a table, so that one search per source
// record keeps record runs linear instead of quadratic. It is built by one scan on first use
// and kept current by the Table's own writes. It answers which records hold a key; which of
// them comes first is for the caller to decide in its current order.
class LocateIndex {
public:
    // ignoreTrailingBlanks: text is keyed without its trailing blanks, and text of blanks only
    // as an empty field (Table::loIgnoreTrailingBlanks).
    LocateIndex(QList<int> fields, bool caseInsensitive, bool forPrefixes, bool ignoreTrailingBlanks = false);

    const QList<int>& fields() const { return fields_; }
    // Whether this index can answer a search on these fields with these options.
    bool serves(const QList<int>& fields, bool caseInsensitive, bool partial, bool ignoreTrailingBlanks = false) const;

    void build(TableFile& file);
    void add(RecordId id, const QList<Value>& values);
    void remove(RecordId id, const QList<Value>& values);

    // The records whose key equals the wanted values, or (partial) whose last text field
    // starts with the wanted text.
    std::vector<RecordId> candidates(const QList<Value>& wanted, bool partial) const;
    // The same into `out` (cleared first), so that a caller searching once per record reuses
    // one vector.
    void candidates(const QList<Value>& wanted, bool partial, std::vector<RecordId>& out) const;

    // Whether no two records were ever indexed under one key (under one hash of a key, to be
    // exact) since the index was built: then a record that matches a search is the only one,
    // and a caller that guesses it right needs no look-up. Stays false once it was false.
    bool keysUnique() const { return !forPrefixes_ && !sharedHash_; }

    // The values of the indexed fields in a raw record, in the order of fields().
    QList<Value> valuesOf(TableFile& file, const QByteArray& raw) const;
    // The same into out, whose room is kept for the next record.
    void valuesInto(TableFile& file, const QByteArray& raw, QList<Value>& out) const;

private:
    // The key of some values, made in a buffer this index reuses (valid until the next call).
    const QString& keyOf(const QList<Value>& values) const;

    // Exact searches keep only a 64-bit hash of each key beside its record, in one flat
    // open-addressed array (16 bytes a slot, at most half full): a million records cost about
    // 32 MB instead of a node, a string and a vector each. Records whose hash matches are
    // candidates; the caller checks their values, so a collision costs a read, not a wrong answer.
    struct Slot {
        quint64 hash = 0;
        RecordId id = kEmpty;
    };
    static constexpr RecordId kEmpty = -1;
    static constexpr RecordId kRemoved = -2;
    quint64 hashOf(const QString& key) const;
    void insertHashed(quint64 hash, RecordId id);
    void grow(size_t minimumSlots);

    QList<int> fields_;
    bool caseInsensitive_;
    bool forPrefixes_;
    bool ignoreTrailingBlanks_;
    std::vector<Slot> slots_;
    size_t used_ = 0;  // slots holding a record or a removal mark
    size_t live_ = 0;  // slots holding a record
    bool sharedHash_ = false;  // two records were indexed under one hash
    std::map<QString, std::vector<RecordId>> ordered_;
    mutable QString key_;  // keyOf()'s buffer: one key per search instead of one allocation
};

}  // namespace quillora
