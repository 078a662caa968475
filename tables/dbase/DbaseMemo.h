#pragma once

#include <QByteArray>
#include <QString>

#include "tables/io/File.h"

namespace quillora::dbase {

// The .dbt beside a table: memos in blocks. dBase III ends each memo with 0x1A; dBase IV and
// later put a block head (FF FF 08 00, length) in front and keep their block size at byte 20.
// New memos always go past the end, so a crash leaves only unreferenced blocks behind.
class DbaseMemo {
public:
    enum class Style { None, III, IV };

    // Opens the .dbt beside the table for reading. A missing file is no error here (isOpen()
    // stays false: the rest of the table can be read); a damaged one throws FileError.
    void open(const QString& tablePath, Style style);
    bool isOpen() const { return file_.isOpen(); }
    Style style() const { return style_; }
    const QString& path() const { return path_; }

    // The memo starting at a block (empty for block 0); throws FileError when it does not fit.
    QByteArray read(qint64 block) const;
    // Stores a new memo and returns its first block.
    qint64 append(const QByteArray& data);

    // Writing takes a second handle, opened before the table commits to writing, then used.
    io::File openForWriting() const;
    void useForWriting(io::File file);
    void sync();

private:
    Style style_ = Style::None;
    QString path_;
    io::File file_;
    qint64 blockSize_ = 512;
    qint64 size_ = 0;
};

}  // namespace quillora::dbase
