#pragma once

#include "tables/io/File.h"

#include <QByteArray>

namespace quillora::px {

// Up to len bytes of a file from offset: fewer where the file ends. Headers are read this way
// so that a short file gives the format's own message rather than the file layer's.
inline QByteArray readUpTo(const io::File& f, qint64 offset, qint64 len)
{
    QByteArray out(int(std::max<qint64>(0, len)), '\0');
    out.truncate(int(f.readSome(offset, out.data(), out.size())));
    return out;
}

}  // namespace quillora::px
