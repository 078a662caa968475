#pragma once

#include <QtGlobal>

#include <cstring>

// Byte-order helpers for the table formats: dBase stores little-endian numbers, Paradox both
// (little-endian headers, big-endian keys and record fields).
namespace quillora::io {

inline quint16 le16(const char* p)
{
    return quint16(uchar(p[0]) | (uchar(p[1]) << 8));
}
inline quint32 le32(const char* p)
{
    return quint32(uchar(p[0])) | (quint32(uchar(p[1])) << 8) | (quint32(uchar(p[2])) << 16) |
           (quint32(uchar(p[3])) << 24);
}
inline quint64 le64(const char* p)
{
    return quint64(le32(p)) | (quint64(le32(p + 4)) << 32);
}
inline void putLe16(char* p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void putLe32(char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}
inline void putLe64(char* p, quint64 v)
{
    putLe32(p, quint32(v));
    putLe32(p + 4, quint32(v >> 32));
}

inline quint16 be16(const char* p)
{
    return quint16((uchar(p[0]) << 8) | uchar(p[1]));
}
inline quint32 be32(const char* p)
{
    return (quint32(uchar(p[0])) << 24) | (quint32(uchar(p[1])) << 16) | (quint32(uchar(p[2])) << 8) |
           quint32(uchar(p[3]));
}
inline void putBe16(char* p, quint16 v)
{
    p[0] = char(v >> 8);
    p[1] = char(v & 0xFF);
}
inline void putBe32(char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * (3 - i))) & 0xFF);
}

inline double leDouble(const char* p)
{
    const quint64 bits = le64(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
inline void putLeDouble(char* p, double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof d);
    putLe64(p, bits);
}

}  // namespace quillora::io
