#pragma once

#include <QByteArray>
#include <QString>

namespace quillora::dbase {

// Puts `content` in place of the file at `path` so that a crash leaves either the old file or
// the whole new one: written to a file beside it, flushed to disk, renamed over it, and the
// folder flushed. The new file keeps the old one's permissions. Throws quillora::FileError.
void replaceFile(const QString& path, const QByteArray& content);

// Flushes a folder's entries (renames, removals) to disk.
void syncFolder(const QString& folder);

}  // namespace quillora::dbase
