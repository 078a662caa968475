#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

#include "tables/TableFile.h"
#include "tables/Value.h"

namespace quillora::test {

// One entry of an index leaf: the record it points at and its key bytes.
struct Entry {
    quint32 record = 0;
    QByteArray key;
};

// Every entry of an .mdx tag (or of an .ndx when tag is empty) in leaf order, walking every page
// from the root; dBase IV and level-7 tag tables alike. Faults of the tree's shape are added to
// `faults`: interior keys that are not the last key below them, leaves at different depths,
// pages outside the file or met twice.
std::vector<Entry> walkIndex(const QString& path, const QString& tag, QStringList& faults, int* keyLength = nullptr);
// A packed decimal key (.mdx N/F) as a number, decoded here on its own.
double bcd(const QByteArray& k);
// Text keys as Perl prints them: trailing blanks dropped.
QString rightTrimmed(const QByteArray& key);
double littleDouble(const QByteArray& k);
// Every (record, key) pair Perl's XBase::Index walks in one tag (or the .ndx), keys trimmed.
QStringList perlWalk(const QString& path, const QString& tag);
// The records Perl's XBase::Index walks in one tag (or the .ndx), in its order (for binary keys,
// which cannot be printed a line each).
QStringList perlRecords(const QString& path, const QString& tag);
// For each text key (blank-padded to the key length), the record Perl's XBase::Index finds
// when it searches for it down from the root, as "record:key".
QStringList perlSeek(const QString& path, const QString& tag, const QStringList& keys, int keyLength);
// Walked entries as "record:key" (text keys trimmed, numbers and dates as numbers).
QStringList shownEntries(const std::vector<Entry>& entries, char type, bool ndx);
// A value for a field of the given type, varied by n (with repeats, so that keys have duplicates).
Value sampleValue(const FieldDef& f, int n);
// Appends, changes and deletes some records of a table through the engine, as a user would:
// `appends` new records, the first record given new values, every seventh record deleted.
void edit(const QString& dbf, int appends);
// A sample table and its index copied into dir, both writable; returns the table's path.
QString copySample(const QString& dir, const QString& table, const QString& index);

}  // namespace quillora::test
