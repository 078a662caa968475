#pragma once

#include "tables/io/Backend.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

// Whole-file operations of the file layer. Each one that changes the disk is recorded by the
// journal of the operation that covers the file, so that it can be rolled back.
namespace quillora::io {

class File;

// A path made absolute and clean, the form every journal compares.
QString absolute(const QString& path);
bool exists(const QString& path);  // a file (not a folder)
bool isFolder(const QString& path);
FileStat stat(const QString& path);
// Whether the file (or folder) may be written, asked without opening it for writing.
bool canWrite(const QString& path);
// The names of the files in a path's folder (the path itself included when it exists).
QStringList siblings(const QString& path);
// The path of a file in the same folder as `path` whose name is `name` in any letter case;
// empty when there is none.
QString siblingNoCase(const QString& path, const QString& name);

// Throw a FileError naming the file and the reason.
void rename(const QString& from, const QString& to);
void remove(const QString& path);
void syncFolder(const QString& folder);
// Puts new content in place of `path` so that a crash leaves either the old file or the whole
// new one: written to a file beside it, synced, renamed over it, and the folder synced. The new
// file keeps the old one's permissions. `what` names the file in the error ("o índice").
void replaceFile(const QString& path, const QByteArray& content, const QString& what = {});
void replaceFile(const QString& path, const std::function<void(File&)>& write, const QString& what = {});

}  // namespace quillora::io
