#pragma once

#include <QByteArray>
#include <QString>

#include "tables/io/File.h"

#include <vector>

namespace quillora {

// The .MB file of a Paradox table: 4 KiB units holding single blobs (type 2), blocks of up to
// 64 small blobs (type 3) and free space (type 4), behind a header unit.
class MbFile {
public:
    // Opens an existing file for reading; throws FileError when it is not a blob file.
    MbFile(const QString& path, quint32 key);
    // Creates an empty blob file (header unit only).
    static void create(const QString& path, quint32 key);

    // The blob a record descriptor points to; throws FileError naming the problem.
    QByteArray read(quint32 offsetIndex, quint32 length);

    void beginWrite();
    // Stores a new blob; returns the descriptor's offset|index and the modification number.
    quint32 write(const QByteArray& data, quint16* mod);
    void release(quint32 offsetIndex);
    void flush();

    const QString& path() const { return path_; }
    // Areas in use (offset, bytes), for consistency checks.
    struct Area {
        qint64 start, size;
    };
    std::vector<Area> usedAreas();

private:
    [[noreturn]] void damaged(const QString& what) const;
    QByteArray readUnits(qint64 offset, int units);
    void writeUnits(qint64 offset, QByteArray data);
    qint64 takeUnits(int units);
    void scan();

    QString path_;
    io::File file_;
    quint32 key_;
    qint64 size_ = 0;
    bool writable_ = false;
    bool headerDirty_ = false;
    quint16 modCounter_ = 0;
    int threshold_ = 2048;
    struct Free {
        qint64 offset;
        int units;
    };
    std::vector<Free> free_;
    std::vector<qint64> subBlocks_;
};

}  // namespace quillora
