#pragma once

// Low-level pieces of the Paradox file family: value encodings inside records, the block
// cipher of protected tables and the language-driver orders of Alpha keys.

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <cstring>

#include "tables/Collation.h"
#include "tables/io/Endian.h"

namespace quillora::px {

// Header integers are little-endian; the helpers are the file layer's.
using io::le16;
using io::le32;
using io::putLe16;
using io::putLe32;

// --- Record encodings: big-endian with the sign bit flipped, all zero = empty ----------
bool isBlank(const char* p, int n);
// Signed integers of 2 or 4 bytes. Returns false for the blank value.
bool readInt(const char* p, int n, qint64* out);
void writeInt(char* p, int n, qint64 v);
bool readDouble(const char* p, double* out);
void writeDouble(char* p, double v);
// Days with 0001-01-01 = 1.
qint64 dayNumber(const QDate& d);
QDate fromDayNumber(qint64 n);
// BCD of 17 bytes with `decimals` fraction digits; value scaled by 10^4 (the engine's Fixed).
// Returns false for blank; *exact is false when digits beyond the fourth decimal were dropped.
bool readBcd(const char* p, int decimals, qint64* scaled4, bool* exact = nullptr);
// Returns false when the value needs more than 32 digits.
bool writeBcd(char* p, int decimals, qint64 scaled4);

// --- Cipher ------------------------------------------------------------------------------
void encryptChunk(uchar* buf, uchar a, uchar b, uchar c, uchar d);
void decryptChunk(uchar* buf, uchar a, uchar b, uchar c, uchar d);
// A data block of the .DB (or of an index file), physical number `block`.
void encryptBlock(char* data, int size, quint32 key, int block);
void decryptBlock(char* data, int size, quint32 key, int block);
// Any 256-aligned stretch of a .MB file.
void encryptBlob(char* data, qint64 size, quint32 key);
void decryptBlob(char* data, qint64 size, quint32 key);
// The key Paradox derives from a master password (0 for the empty password).
quint32 passwordKey(const QByteArray& password);

// --- Orders of Alpha keys: the language-driver collations shared with dBase ---------------
using quillora::Collation;
using quillora::CollationRow;

}  // namespace quillora::px
