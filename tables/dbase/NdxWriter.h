#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace quillora::dbase {

struct DbaseTagInfo;
struct IndexKeys;

// One entry of an .ndx: the key bytes (character keys blank-padded to the key length; numeric
// and date keys as 8-byte little-endian doubles) and the record number it points at.
struct NdxEntry {
    QByteArray key;
    quint32 record = 0;
};

// Writes a whole .ndx file (header block, leaves, interior nodes) for entries already sorted in
// key order, duplicates in record order. The file is written beside the target and renamed
// over it, so an interrupted write leaves the old index in place. Throws quillora::FileError.
void writeNdxFile(const QString& path, const DbaseTagInfo& tag, const std::vector<NdxEntry>& sorted);
// Same, for keys already in IndexKeys form; `original`, when given, is the header block of the
// file being replaced, kept but for the fields that describe the new tree.
void writeNdxKeys(const QString& path, const DbaseTagInfo& tag, const IndexKeys& sorted,
                  const QByteArray& original = {});

}  // namespace quillora::dbase
