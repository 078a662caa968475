#pragma once

// The codecs of each field kind, for makeDbaseCodec().

#include "tables/dbase/DbaseCodec.h"
#include "tables/io/Endian.h"

namespace quillora::dbase {

// Level-7 binary fields keep 8-byte big-endian values; all zero bytes is an empty field.
inline quint64 be64(const char* p)
{
    return (quint64(io::be32(p)) << 32) | io::be32(p + 4);
}
inline void putBe64(char* p, quint64 v)
{
    io::putBe32(p, quint32(v >> 32));
    io::putBe32(p + 4, quint32(v));
}
inline bool allZero(const char* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i] != '\0')
            return false;
    return true;
}

using CodecPtr = std::unique_ptr<DbaseFieldCodec>;

// C, and the memo pointers M, B and G.
CodecPtr makeTextCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def);
// N and F (the number as text), I and + (4-byte integers), O (8-byte doubles).
CodecPtr makeNumberCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def);
// D, L, and @ (milliseconds since 0001-01-01 in an 8-byte double).
CodecPtr makeDateCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def);

// The level-7 binary kinds (I, +, O, @): `Width` bytes, all zero in an empty field.
template <class Base, int Width>
class BinaryField : public Base {
public:
    using Base::Base;
    Value decode(const char* p) const final { return allZero(p, Width) ? Value() : decodeSet(p); }
    char blankByte() const final { return '\0'; }

protected:
    // The value of a field that is not empty.
    virtual Value decodeSet(const char* p) const = 0;
};

}  // namespace quillora::dbase
