#include "tables/dbase/DbaseNumberText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <tuple>
#include <utility>

namespace quillora::dbase {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\0';
}

// Trims blanks (spaces and NULs, both seen as padding) from both ends of a numeric field.
std::pair<const char*, const char*> trimmed(const char* b, const char* e)
{
    while (b < e && isBlank(*b))
        ++b;
    while (e > b && isBlank(e[-1]))
        --e;
    return {b, e};
}

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The usual numeric text ("-123.45", up to 15 digits) without from_chars: mantissa and power of
// ten are both exact doubles, so their quotient is the correctly rounded value from_chars gives.
// False for anything else, which then takes the general path.
bool plainDecimal(const char* b, const char* e, double* out)
{
    const bool negative = b < e && *b == '-';
    b += negative;
    quint64 mantissa = 0;
    int digits = 0;
    int decimals = -1;
    for (; b < e; ++b) {
        const unsigned digit = unsigned(uchar(*b)) - '0';
        if (digit <= 9) {
            if (++digits > 15)
                return false;
            mantissa = mantissa * 10 + digit;
            decimals += decimals >= 0;
        } else if (*b == '.' && decimals < 0) {
            decimals = 0;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    double d = double(mantissa);
    if (decimals > 0)
        d /= kPow10[decimals];
    *out = negative ? -d : d;
    return true;
}

// Whether d lies exactly halfway between two numbers of `decimals` places: its lowest set bit
// is then worth 2^-(decimals + 1).
bool roundsAtHalf(double d, int decimals)
{
    if (d == 0 || !std::isfinite(d))
        return false;
    int exp = 0;
    const double frac = std::frexp(std::fabs(d), &exp);
    const auto mantissa = quint64(std::ldexp(frac, 53));
    return exp - 53 + std::countr_zero(mantissa) == -(decimals + 1);
}

// The fixed text of d with `decimals` places from one multiplication, where that gives what
// exact decimal rounding gives: the product scaled to whole units is off by less than a unit in
// its last place, so only a fraction that close to one half could round the other way; those,
// large magnitudes and texts longer than cap return -1 for the exact path.
int fixedCharsByScaling(double d, int decimals, char* buf, int cap)
{
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (decimals < 0 || decimals > 15)
        return -1;
    const double scaled = std::fabs(d) * kPowers[decimals];
    if (!(scaled < 0x1p52))
        return -1;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) <= scaled * 0x1p-50 + 0x1p-60)
        return -1;
    quint64 units = quint64(whole) + (fraction > 0.5 ? 1 : 0);
    char digits[24];
    int n = 0;
    do {
        digits[n++] = char('0' + units % 10);
        units /= 10;
    } while (units != 0);
    while (n <= decimals)
        digits[n++] = '0';  // "0.05": a zero before the point and after it
    const int len = (std::signbit(d) ? 1 : 0) + n + (decimals > 0 ? 1 : 0);
    if (len > cap)
        return -1;
    char* p = buf;
    if (std::signbit(d))
        *p++ = '-';
    for (int i = n - 1; i >= 0; --i) {
        *p++ = digits[i];
        if (i == decimals && decimals > 0)
            *p++ = '.';
    }
    return len;
}

}  // namespace

// Whole runs of spaces go 8 at a time.
const char* trimEnd(const char* b, const char* e)
{
    static constexpr char kSpaces[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (e - b >= 8 && std::memcmp(e - 8, kSpaces, 8) == 0)
        e -= 8;
    while (e > b && isBlank(e[-1]))
        --e;
    return e;
}

bool parseDouble(const char* b, const char* e, double* out)
{
    std::tie(b, e) = trimmed(b, e);
    if (b < e && *b == '+')
        ++b;
    if (plainDecimal(b, e, out))
        return true;
    if (b == e || std::find(b, e, '*') != e)
        return false;
    char buf[256];
    const qint64 n = std::min<qint64>(e - b, sizeof(buf));
    for (qint64 i = 0; i < n; ++i)
        buf[i] = b[i] == ',' ? '.' : b[i];
    auto r = std::from_chars(buf, buf + n, *out);
    return r.ec == std::errc() && r.ptr == buf + n;
}

bool parseInteger(const char* b, const char* e, qint64* out)
{
    std::tie(b, e) = trimmed(b, e);
    if (b < e && *b == '+')
        ++b;
    // Plain digits, the usual case, without from_chars.
    const bool negative = b < e && *b == '-';
    qint64 v = 0;
    int digits = 0;
    const char* q = b + negative;
    for (; q < e && digits < 18 && unsigned(uchar(*q)) - '0' <= 9; ++q, ++digits)
        v = v * 10 + (*q - '0');
    if (q == e && digits > 0) {
        *out = negative ? -v : v;
        return true;
    }
    auto r = std::from_chars(b, e, *out);
    if (r.ec == std::errc() && r.ptr == e && b != e)
        return true;
    double d = 0;
    if (!parseDouble(b, e, &d) || !std::isfinite(d) || std::fabs(d) > 9e18)
        return false;
    *out = std::llround(d);
    return true;
}

bool appendPlainNumberText(const char* b, const char* e, bool floating, const std::string& separator,
                           std::string& out)
{
    std::tie(b, e) = trimmed(b, e);
    if (b == e)
        return true;  // blank: no value
    const bool negative = *b == '-';
    const char* p = b + negative;
    const char* whole = p;
    while (p < e && unsigned(uchar(*p)) - '0' <= 9)
        ++p;
    const char* wholeEnd = p;
    const char* fraction = p;
    if (p < e && *p == '.') {
        fraction = ++p;
        while (p < e && unsigned(uchar(*p)) - '0' <= 9)
            ++p;
        if (p == fraction)
            return false;
    }
    if (p != e || wholeEnd == whole)
        return false;
    const char* fractionEnd = p;
    if (!floating && fraction != fractionEnd)
        return false;
    while (whole < wholeEnd && *whole == '0')
        ++whole;
    while (fractionEnd > fraction && fractionEnd[-1] == '0')
        --fractionEnd;
    if (whole == wholeEnd && fraction == fractionEnd) {
        out += '0';  // zero, negative zero too
        return true;
    }
    if (!floating) {
        if (wholeEnd - whole > 18)
            return false;
        if (negative)
            out += '-';
        out.append(whole, size_t(wholeEnd - whole));
        return true;
    }
    // The general notation switches to an exponent from 10^15 up and below 10^-5; within those
    // bounds, and with no more than 15 significant digits, the shortest text that reads back as
    // the same double is these digits themselves.
    if (whole < wholeEnd) {
        if (wholeEnd - whole > 15 || (wholeEnd - whole) + (fractionEnd - fraction) > 15)
            return false;
    } else {
        const char* first = fraction;
        while (*first == '0')
            ++first;
        if (first - fraction > 4 || fractionEnd - first > 15)
            return false;
    }
    if (negative)
        out += '-';
    if (whole < wholeEnd)
        out.append(whole, size_t(wholeEnd - whole));
    else
        out += '0';
    if (fraction < fractionEnd) {
        out += separator;
        out.append(fraction, size_t(fractionEnd - fraction));
    }
    return true;
}

bool parseBlock(const char* b, const char* e, qint64* out)
{
    std::tie(b, e) = trimmed(b, e);
    *out = 0;
    if (b == e)
        return true;
    auto r = std::from_chars(b, e, *out);
    return r.ec == std::errc() && r.ptr == e && *out >= 0;
}

// The text of a number as a numeric field holds it, with exactly `decimals` places, into buf.
// Returns its length, or -1 when the value is no finite number or needs more than cap bytes.
int numberChars(const Value& v, int decimals, char* buf, int cap)
{
    std::to_chars_result r;
    if (v.kind() == Value::Kind::Integer && decimals == 0) {
        r = std::to_chars(buf, buf + cap, v.asInteger());
    } else {
        double d = 0;
        if (!v.toNumber(&d) || !std::isfinite(d))
            return -1;
        if (const int fast = fixedCharsByScaling(d, decimals, buf, cap); fast >= 0) {
            r.ptr = buf + fast;
            r.ec = std::errc();
        } else if (!roundsAtHalf(d, decimals)) {
            r = std::to_chars(buf, buf + cap, d, std::chars_format::fixed, decimals);
        } else {
            // to_chars rounds an exact half to even; dBase (and the rest of this program) round
            // it away from zero. The value then has exactly one more decimal, a 5: drop it and
            // add one unit to what is left.
            r = std::to_chars(buf, buf + cap - 1, d, std::chars_format::fixed, decimals + 1);
            if (r.ec != std::errc())
                return -1;
            int len = int(r.ptr - buf) - (decimals == 0 ? 2 : 1);
            int i = len - 1;
            for (; i >= 0 && buf[i] != '-'; --i) {
                if (buf[i] == '.')
                    continue;
                if (buf[i] != '9') {
                    ++buf[i];
                    break;
                }
                buf[i] = '0';
            }
            if (i < 0 || buf[i] == '-') {  // carried past the first digit: 9.5 -> 10
                const int at = i + 1;
                std::memmove(buf + at + 1, buf + at, size_t(len - at));
                buf[at] = '1';
                ++len;
            }
            r.ptr = buf + len;
        }
    }
    if (r.ec != std::errc())
        return -1;
    int len = int(r.ptr - buf);
    // "-0.00" is a zero to every reader; write it without the sign.
    if (len > 1 && buf[0] == '-' && std::all_of(buf + 1, buf + len, [](char c) { return c == '0' || c == '.'; })) {
        std::memmove(buf, buf + 1, size_t(len - 1));
        --len;
    }
    return len;
}

}  // namespace quillora::dbase
