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

// The file beside a table with its base name and the given suffix (case ignored), or empty.
QString siblingFile(const QString& tablePath, const QString& suffix);

// While a table is written its .ndx is out of date; it waits under another name (staleNdxName)
// so that no program takes it for current, until it is written anew.
QString staleNdxName(const QString& ndxPath);
// The .ndx of a table left out of date (by a session that did not finish), or empty.
QString staleNdxFile(const QString& tablePath);
// The .ndx path an out-of-date file belongs at.
QString ndxPathOf(const QString& stalePath);

}  // namespace quillora::dbase
