#pragma once

#include <QDate>
#include <QString>

#include <vector>

namespace quillora::dbase {

struct IndexKeys;

// Rewrites a production .mdx with fresh B-trees for its tags. The file header, the tag table and
// each tag's header block are kept byte for byte (names, expressions, FOR conditions, flags),
// except for the fields that describe the new trees and the file's size and update date.
// `tags` follows the tag table's order. The new file replaces the old one whole (see
// replaceFile). Throws quillora::FileError when the file does not add up.
void writeMdxFile(const QString& path, const std::vector<IndexKeys>& tags, const QDate& today);

}  // namespace quillora::dbase
