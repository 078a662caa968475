#include "tables/paradox/PxCodec.h"

#include <array>
#include <cmath>
#include <vector>

namespace quillora::px {

bool isBlank(const char* p, int n)
{
    for (int i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

bool readInt(const char* p, int n, qint64* out)
{
    if (isBlank(p, n))
        return false;
    quint32 u = uchar(p[0]) ^ 0x80;
    for (int i = 1; i < n; ++i)
        u = (u << 8) | uchar(p[i]);
    if (n == 2)
        *out = qint16(quint16(u));
    else
        *out = qint32(u);
    return true;
}

void writeInt(char* p, int n, qint64 v)
{
    quint32 u = quint32(v);
    for (int i = n - 1; i >= 0; --i) {
        p[i] = char(u & 0xFF);
        u >>= 8;
    }
    p[0] = char(uchar(p[0]) ^ 0x80);
}

bool readDouble(const char* p, double* out)
{
    if (isBlank(p, 8))
        return false;
    quint64 u = 0;
    for (int i = 0; i < 8; ++i)
        u = (u << 8) | uchar(p[i]);
    if (u & (quint64(1) << 63))
        u &= ~(quint64(1) << 63);
    else
        u = ~u;
    std::memcpy(out, &u, 8);
    return true;
}

void writeDouble(char* p, double v)
{
    if (v == 0)
        v = 0;  // no negative zero on disk
    quint64 u;
    std::memcpy(&u, &v, 8);
    if (u & (quint64(1) << 63))
        u = ~u;
    else
        u |= quint64(1) << 63;
    for (int i = 7; i >= 0; --i) {
        p[i] = char(u & 0xFF);
        u >>= 8;
    }
}

// 0001-01-01 is Julian day 1721426.
qint64 dayNumber(const QDate& d) { return d.toJulianDay() - 1721425; }
QDate fromDayNumber(qint64 n) { return QDate::fromJulianDay(n + 1721425); }

bool readBcd(const char* p, int decimals, qint64* scaled4, bool* exact)
{
    if (isBlank(p, 17))
        return false;
    const bool negative = !(uchar(p[0]) & 0x80);
    // 32 digit nibbles after the first byte.
    __int128 v = 0;
    bool ok = true;
    int digitsAfter4 = 0;
    int roundDigit = 0;
    for (int i = 0; i < 32; ++i) {
        int nib = (i % 2 == 0) ? (uchar(p[1 + i / 2]) >> 4) : (uchar(p[1 + i / 2]) & 0x0F);
        if (negative)
            nib = 15 - nib;
        if (nib > 9)
            nib = 9;  // not a digit: BDE has written such nibbles; read them as the nearest digit
        const int fractionPos = i - (32 - decimals);  // 0 = first fraction digit
        if (fractionPos >= 4) {
            if (fractionPos == 4)
                roundDigit = nib;
            if (nib)
                ++digitsAfter4;
            continue;
        }
        v = v * 10 + nib;
    }
    for (int f = decimals; f < 4; ++f)
        v *= 10;
    if (roundDigit >= 5)
        v += 1;
    if (v > __int128(std::numeric_limits<qint64>::max()))
        ok = false;
    if (exact)
        *exact = ok && digitsAfter4 == 0;
    *scaled4 = ok ? qint64(negative ? -v : v) : (negative ? std::numeric_limits<qint64>::min()
                                                          : std::numeric_limits<qint64>::max());
    return true;
}

bool writeBcd(char* p, int decimals, qint64 scaled4)
{
    std::memset(p, 0, 17);
    const bool negative = scaled4 < 0;
    unsigned __int128 mag = negative ? (unsigned __int128)(-(__int128)scaled4) : (unsigned __int128)scaled4;
    // Bring to `decimals` fraction digits (rounding half away from zero when fewer than four).
    if (decimals < 4) {
        unsigned __int128 div = 1;
        for (int i = decimals; i < 4; ++i)
            div *= 10;
        mag = (mag + div / 2) / div;
    } else {
        for (int i = 4; i < decimals; ++i)
            mag *= 10;
    }
    int digits[32];
    for (int i = 31; i >= 0; --i) {
        digits[i] = int(mag % 10);
        mag /= 10;
    }
    if (mag != 0)
        return false;
    bool zero = true;
    for (int d : digits)
        zero = zero && d == 0;
    const bool neg = negative && !zero;
    p[0] = char((neg ? 0x40 : 0xC0) | (decimals & 0x3F));
    for (int i = 0; i < 32; ++i) {
        const int nib = neg ? 15 - digits[i] : digits[i];
        if (i % 2 == 0)
            p[1 + i / 2] = char(nib << 4);
        else
            p[1 + i / 2] = char(uchar(p[1 + i / 2]) | nib);
    }
    return true;
}

// --- Cipher --------------------------------------------------------------------------------

namespace {
struct CipherTables {
    std::array<uchar, 256> A, B, C;
    CipherTables()
    {
        const QByteArray a = QByteArray::fromHex(
            "B2A50CDD38FECB5B0C23EC6A953ED52D2CF72D30EA1598B45F82D3AFF44C8416"
            "74170511ACDB43919C77A038BED68F25B1EE6D803714A97A57386C2FA64F7C38"
            "71D40B51F6B945211D6C4D876EA7E7210D85F4CE3A816A3ED732A423ACE90191"
            "B0EDC74612AC153DFF1B7B3BBAEE2C2C68A66260ED5B843361623979D4D2EB60"
            "B8251DDBFF3A219AB0C3F76352F52294F9B4B7BE9F543BCEE13C73CBEA2D4500"
            "9DC278E7960F143AA4DC01648DD6594E390F157DF08C8AC578034AE8FBEF18B4"
            "523179D08EAAC3C6CEEDE9425AD62D06C79AB13862D97E6174D246DECB2B0C59"
            "0B649D1C4FB206919B63B5B2A9FDAD5A38F9136E9D2D4B02F9136F50CB2109FA");
        const QByteArray b = QByteArray::fromHex(
            "61A7790237346F8101C2B2B3D64D3E030660984446681CEB104A5BAE22482442"
            "9F5590C17D2F6C414E8256D81E3228C6EDBC3C3AE9873B8F8608A3FBA46299FF"
            "59B9DE2D58931BB1762BAAD92AACCAF9E0B7051177A98EEFB5BB26EA8D189BFE"
            "C7F85A83FD2E6B8433FA69D474BFCBC419963FE525F2A5D595F3A039DCE4A17F"
            "7B497AF1EEF7750991679738D38947311F2C0ECE20CC9C2317920FF4136471C8"
            "CD3DB4CFE15052AF6D27B69430048C534BD24F21296A1AEC5C7E519A0D85E61D"
            "C588A8DD9EF65FDABD6E9D54DB5EC0805DB840631512A20C07AD70147216D0A6"
            "6535BAE7ABFCC3C9BE0BB0F545E24C730A3678438B8AF066D100DF7CE3E857D7");
        const QByteArray c = QByteArray::fromHex(
            "F908030FAD5210D83987F0E9D7BC929A1853D59CDBD4DD985D70B64616BF2C90"
            "94B31C971E745AA92EB44C4991436525AC8F2D6805E1F1048B7B333632A10E72"
            "D2271FF313EC148E1D8119B0EE0D28B2A5BAA6AFCB212AFE4440621AB8D0CDC6"
            "11003DD39DE0F789156AB56626A8C906DA9EDCEF6C864854F2028280FB24B97F"
            "CF07296367BD3835C18DF5F4AE5C563722889945AB78718A123EBB5E96CAC420"
            "7A7ED63A3C76DF01C2554AE44DD91BA7EA470A0BA258AA51D141E25931C8E86D"
            "CE2309E66FC02F609FE74E6E95A093A3DEF8B18C6B770CFF2B4BC7CC7CC342FA"
            "50A4EDFC7D73BEE3FD345B17B7308457F68375799BEBC585614F693BE5645F3F");
        for (int i = 0; i < 256; ++i) {
            A[i] = uchar(a[i]);
            B[i] = uchar(b[i]);
            C[i] = uchar(c[i]);
        }
    }
};
const CipherTables& tables()
{
    static const CipherTables t;
    return t;
}
}  // namespace

void encryptChunk(uchar* buf, uchar a, uchar b, uchar c, uchar d)
{
    const CipherTables& t = tables();
    uchar out[256];
    for (int x = 0; x < 256; ++x) {
        const uchar y = uchar(t.C[x] - d);
        const uchar k = t.A[uchar(x + a)] ^ t.B[uchar(y + b)] ^ t.C[uchar(y + c)];
        out[y] = buf[x] ^ k;
    }
    std::memcpy(buf, out, 256);
}

void decryptChunk(uchar* buf, uchar a, uchar b, uchar c, uchar d)
{
    const CipherTables& t = tables();
    uchar out[256];
    for (int x = 0; x < 256; ++x) {
        const uchar y = uchar(t.C[x] - d);
        const uchar k = t.A[uchar(x + a)] ^ t.B[uchar(y + b)] ^ t.C[uchar(y + c)];
        out[x] = buf[y] ^ k;
    }
    std::memcpy(buf, out, 256);
}

void encryptBlock(char* data, int size, quint32 key, int block)
{
    for (int j = 0; j * 256 + 256 <= size; ++j)
        encryptChunk(reinterpret_cast<uchar*>(data) + j * 256, uchar(key), uchar(key >> 8), uchar(j), uchar(block));
}

void decryptBlock(char* data, int size, quint32 key, int block)
{
    for (int j = 0; j * 256 + 256 <= size; ++j)
        decryptChunk(reinterpret_cast<uchar*>(data) + j * 256, uchar(key), uchar(key >> 8), uchar(j), uchar(block));
}

void encryptBlob(char* data, qint64 size, quint32 key)
{
    const uchar a = uchar(key), b = uchar(key >> 8);
    for (qint64 j = 0; j + 256 <= size; j += 256)
        encryptChunk(reinterpret_cast<uchar*>(data) + j, a, b, uchar(a + 1), uchar(b + 1));
}

void decryptBlob(char* data, qint64 size, quint32 key)
{
    const uchar a = uchar(key), b = uchar(key >> 8);
    for (qint64 j = 0; j + 256 <= size; j += 256)
        decryptChunk(reinterpret_cast<uchar*>(data) + j, a, b, uchar(a + 1), uchar(b + 1));
}

quint32 passwordKey(const QByteArray& password)
{
    const int L = int(password.size());
    if (L == 0)
        return 0;
    const CipherTables& t = tables();
    uchar buf[256];
    for (int i = 0; i < 256; ++i)
        buf[i] = uchar(password[i % L]);
    encryptChunk(buf, buf[0], buf[1], buf[2], buf[3]);
    const quint32 low = quint32(buf[0]) | (quint32(buf[1]) << 8);

    std::memset(buf, 0, sizeof buf);
    for (int i = 0; i < L && i < 256; ++i)
        buf[i] = uchar(password[i]);
    for (int i = L; i < 256; ++i)
        buf[i] = t.A[buf[i - L]] ^ uchar(i);
    encryptChunk(buf, buf[0], buf[20], buf[40], buf[255]);
    uchar lo = 0, hi = 0;
    for (int i = 0; i < 256; i += 2) {
        lo ^= buf[i];
        hi ^= buf[i + 1];
    }
    quint32 h = (quint32(hi) << 8) | lo;
    if (h == 0)
        h = 1;
    return (h << 16) | low;
}

}  // namespace quillora::px
