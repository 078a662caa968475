#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>
#include <vector>

namespace quillora::dbase {

// The entries of one index in the order its file keeps them.
struct IndexKeys {
    int keyLength = 0;
    QByteArray keys;               // keyLength bytes per entry, back to back
    std::vector<quint32> records;  // the record each entry points at

    qsizetype size() const { return qsizetype(records.size()); }
    const char* key(qsizetype i) const { return keys.constData() + i * keyLength; }
};

// Gathers the key of every record of a table for one index, then puts them in index order.
class IndexKeyCollector {
public:
    explicit IndexKeyCollector(int keyLength) : keyLength_(keyLength) {}

    // key: keyLength bytes as the index file stores them; order: bytes whose byte order is the
    // index's order (empty: the key bytes themselves). Records come in ascending order.
    void add(quint32 record, const char* key, QByteArrayView order = {});
    void reserve(qsizetype records);

    // Ascending by order, or descending; equal keys keep ascending record order. A unique
    // index keeps only the first record of each key, as dBase does.
    IndexKeys sorted(bool descending, bool unique) const;

private:
    int keyLength_;
    QByteArray keys_;
    std::vector<quint32> records_;
    std::string orders_;
    std::vector<size_t> orderEnds_;  // empty while every order is its key
};

// Bytes whose byte order is the numeric order of doubles (-0 equal to 0).
void appendOrderedDouble(QByteArray& out, double v);

// A numeric .mdx key: 12-byte packed decimal. `digits` is the digit count written in byte 1
// (dBase writes the field width there); it grows when the value needs more.
QByteArray mdxNumberKey(double v, int digits);
// The number a packed decimal key holds (for checks and tests).
double mdxNumberValue(const char* key);

// A numeric or date key of .ndx files and date key of .mdx files: the little-endian double.
QByteArray doubleKey(double v);

}  // namespace quillora::dbase
