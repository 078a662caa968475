#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

namespace quillora::test {

// The bytes of every file of a folder, journals left out: what a rollback must give back.
using FolderSnapshot = std::map<QString, QByteArray>;
FolderSnapshot snapshotFolder(const QString& folder);
// The files that differ, each with how ("T.dbf (500 -> 700 bytes)"); empty when equal.
QString folderDifferences(const FolderSnapshot& now, const FolderSnapshot& expected);

}  // namespace quillora::test
