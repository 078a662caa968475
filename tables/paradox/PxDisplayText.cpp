#include "tables/paradox/PxDisplayText.h"

#include "tables/Regional.h"
#include "tables/Utf8.h"
#include "tables/paradox/ParadoxHeader.h"
#include "tables/paradox/PxCodec.h"

#include <charconv>

namespace quillora::px {

namespace {

// Year, month and day of a day number (0001-01-01 = 1) in the proleptic Gregorian calendar.
void civilDate(qint64 dayNumber, int* year, int* month, int* day)
{
    // Days counted from 0000-03-01, so that the leap day ends each 400-year era.
    const qint64 z = dayNumber - 1 + 306;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    *day = int(doy - (153 * mp + 2) / 5 + 1);
    *month = int(mp < 10 ? mp + 3 : mp - 9);
    *year = int(yoe + era * 400 + (*month <= 2));
}

void appendInteger(std::string& out, qint64 v)
{
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof digits, v);
    out.append(digits, size_t(res.ptr - digits));
}

}  // namespace

bool appendDisplayText(const TableHeader& h, const QByteArray& raw, int field, const Regional& regional,
                       std::string& out)
{
    if (field < 0 || field >= int(h.fields.size()) || raw.size() != h.recordSize)
        return false;
    const FieldDesc& f = h.fields[size_t(field)];
    const char* p = raw.constData() + f.offset;
    qint64 i = 0;
    switch (f.code) {
    case kAlpha: {
        int len = 0;
        while (len < f.size && p[len])
            ++len;
        h.cp->appendUtf8(QByteArrayView(p, len), out);
        return true;
    }
    case kShort:
        if (readInt(p, 2, &i))
            appendInteger(out, i);
        return true;
    case kLong: case kAutoInc:
        if (readInt(p, 4, &i))
            appendInteger(out, i);
        return true;
    case kLogical:
        if (p[0])
            out += uchar(p[0]) != 0x80 ? regional.trueWordUtf8() : regional.falseWordUtf8();
        return true;
    case kDate: {
        if (!readInt(p, 4, &i) || i <= 0)
            return true;
        if (i > 3652059)  // past 9999-12-31
            return false;
        int year, month, day;
        civilDate(i, &year, &month, &day);
        return regional.appendDateUtf8(year, month, day, out);
    }
    case kNumber: case kMoney: {
        double d = 0;
        if (readDouble(p, &d)) {
            char16_t buffer[96];
            appendUtf8(out, QStringView(buffer, regional.formatFloatInto(d, 15, buffer)));
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace quillora::px
