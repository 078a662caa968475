#pragma once

#include <QList>
#include <QString>

namespace quillora::dbase {

// One index of a dBase table as its file describes it: a tag of the production .mdx or a
// single .ndx file.
struct DbaseTagInfo {
    QString name;           // tag name; for an .ndx, the file's base name
    QString fileName;       // the .mdx or .ndx it lives in
    QString expression;     // the key expression as stored
    QString forExpression;  // the FOR condition, empty when none
    char keyType = 'C';     // 'C', 'N', 'D' (also 'F')
    int keyLength = 0;
    bool unique = false;
    bool descending = false;
    quint32 headerPage = 0;  // .mdx: the page of the tag's header
};

// Reads the tag list of an .mdx file. Throws quillora::FileError naming the file when the file
// cannot be read or its header does not add up.
QList<DbaseTagInfo> readMdxTags(const QString& path);

// Reads the header of an .ndx file (throws like readMdxTags).
DbaseTagInfo readNdxHeader(const QString& path);

}  // namespace quillora::dbase
