// Dates (D), logicals (L) and level-7 timestamps (@).

#include "tables/Error.h"
#include "tables/dbase/DbaseCodecKinds.h"
#include "tables/dbase/DbaseIndexKeys.h"

#include <QDateTime>

#include <cmath>
#include <cstring>

namespace quillora::dbase {

namespace {

// Day number 1 of the level-7 timestamp is 0001-01-01.
constexpr qint64 kTimestampJulianOffset = 1721425;
constexpr double kMsPerDay = 86400000.0;

// Year, month and day of the eight digits of a date field; false when a byte is no digit (a
// blank date, or no date at all).
bool dateDigits(const char* p, int* year, int* month, int* day)
{
    int n[8];
    for (int i = 0; i < 8; ++i) {
        n[i] = int(uchar(p[i])) - '0';
        if (n[i] < 0 || n[i] > 9)
            return false;
    }
    *year = n[0] * 1000 + n[1] * 100 + n[2] * 10 + n[3];
    *month = n[4] * 10 + n[5];
    *day = n[6] * 10 + n[7];
    return true;
}

// YYYYMMDD of a date with a year from 1 to 9999.
void putDate(char* dst, const QDate& d)
{
    auto digits = [](char* p, int v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            p[i] = char('0' + v % 10);
            v /= 10;
        }
    };
    int year, month, day;
    d.getDate(&year, &month, &day);  // one calendar conversion instead of three
    digits(dst, year, 4);
    digits(dst + 4, month, 2);
    digits(dst + 6, day, 2);
}

// Whether a date's year is 1 to 9999, by its day number (no calendar conversion).
bool inDbaseYears(const QDate& d)
{
    static const qint64 first = QDate(1, 1, 1).toJulianDay();
    static const qint64 last = QDate(9999, 12, 31).toJulianDay();
    const qint64 jd = d.toJulianDay();
    return d.isValid() && jd >= first && jd <= last;
}

class DateCodec final : public DbaseFieldCodec {
public:
    using DbaseFieldCodec::DbaseFieldCodec;

    Value decode(const char* p) const override
    {
        int year, month, day;
        if (!dateDigits(p, &year, &month, &day))
            return {};
        return Value::date(QDate(year, month, day));
    }

    bool appendDisplayUtf8(const char* p, const Regional& regional, std::string& out) const override
    {
        int year, month, day;
        if (!dateDigits(p, &year, &month, &day))
            return true;  // no date: nothing to show
        return regional.appendDateUtf8(year, month, day, out);
    }

    Value normalize(const Value& v) const override
    {
        if (v.kind() == Value::Kind::DateTime)
            return normalize(Value::date(v.asDateTime().date()));
        if (v.kind() != Value::Kind::Date)
            wrongKind(v);
        if (!inDbaseYears(v.asDate()))
            throw Error(QStringLiteral("A data %1 do campo %2 está fora do intervalo 0001-9999")
                            .arg(v.asDate().toString(Qt::ISODate), name_));
        return v;
    }

    void encode(const Value& v, char* dst, QByteArray*) const override { putDate(dst, v.asDate()); }

    bool encodeDirect(const Value& v, char* dst) const override
    {
        if (v.kind() != Value::Kind::Date || !inDbaseYears(v.asDate()))
            return false;
        putDate(dst, v.asDate());
        return true;
    }

    ExprValue exprValue(const char* p) const override
    {
        const Value v = p ? decode(p) : Value();
        return ExprValue::fromDate(v.kind() == Value::Kind::Date ? v.asDate() : QDate());
    }
    ExprValue::Type exprType() const override { return ExprValue::Type::Date; }

    std::optional<QByteArray> sortKey(const Value& value) const override
    {
        QByteArray key;
        if (value.isNull() || value.kind() != Value::Kind::Date)
            return key;  // blank dates first
        appendOrderedDouble(key, double(value.asDate().toJulianDay()));
        return key;
    }
};

class LogicalCodec final : public DbaseFieldCodec {
public:
    using DbaseFieldCodec::DbaseFieldCodec;

    Value decode(const char* p) const override
    {
        switch (*p) {
        case 'T': case 't': case 'Y': case 'y': return Value::boolean(true);
        case 'F': case 'f': case 'N': case 'n': return Value::boolean(false);
        default: return {};
        }
    }

    bool appendDisplayUtf8(const char* p, const Regional& regional, std::string& out) const override
    {
        switch (*p) {
        case 'T': case 't': case 'Y': case 'y': out += regional.trueWordUtf8(); break;
        case 'F': case 'f': case 'N': case 'n': out += regional.falseWordUtf8(); break;
        default: break;
        }
        return true;
    }

    Value normalize(const Value& v) const override
    {
        if (v.kind() != Value::Kind::Boolean)
            wrongKind(v);
        return v;
    }

    void encode(const Value& v, char* dst, QByteArray*) const override { *dst = v.asBoolean() ? 'T' : 'F'; }

    bool encodeDirect(const Value& v, char* dst) const override
    {
        if (v.kind() != Value::Kind::Boolean)
            return false;
        encode(v, dst, nullptr);
        return true;
    }

    ExprValue exprValue(const char* p) const override
    {
        const Value v = p ? decode(p) : Value();
        return ExprValue::boolean(v.kind() == Value::Kind::Boolean && v.asBoolean());
    }
    ExprValue::Type exprType() const override { return ExprValue::Type::Logical; }
};

class TimestampCodec final : public BinaryField<DbaseFieldCodec, 8> {
public:
    using BinaryField::BinaryField;

    Value decodeSet(const char* p) const override
    {
        const quint64 u = be64(p);
        double ms;
        std::memcpy(&ms, &u, 8);
        if (!std::isfinite(ms) || ms < kMsPerDay || ms > 4e14)
            return {};
        const qint64 total = qint64(std::llround(ms));
        const qint64 days = total / qint64(kMsPerDay);
        const QDate date = QDate::fromJulianDay(days + kTimestampJulianOffset);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(total % qint64(kMsPerDay)));
        QDateTime dt(date, time);
        if (!dt.isValid())
            dt = QDateTime(date, time, Qt::UTC);  // a local clock gap; keep the value as stored
        return Value::dateTime(dt);
    }

    Value normalize(const Value& v) const override
    {
        if (v.kind() == Value::Kind::Date)
            return Value::dateTime(QDateTime(v.asDate(), QTime(0, 0)));
        if (v.kind() != Value::Kind::DateTime)
            wrongKind(v);
        if (v.asDateTime().date().year() < 1)
            throw Error(QStringLiteral("A data %1 do campo %2 é anterior ao ano 1")
                            .arg(v.asDateTime().toString(Qt::ISODate), name_));
        return v;
    }

    void encode(const Value& v, char* dst, QByteArray*) const override
    {
        const QDateTime& dt = v.asDateTime();
        const double ms = double(dt.date().toJulianDay() - kTimestampJulianOffset) * kMsPerDay
                          + double(dt.time().msecsSinceStartOfDay());
        quint64 u;
        std::memcpy(&u, &ms, 8);
        putBe64(dst, u);
    }
};

}  // namespace

CodecPtr makeDateCodec(const DbaseTextRules& rules, const DbaseColumn& column, const FieldDef& def)
{
    switch (column.type) {
    case 'D': return std::make_unique<DateCodec>(rules, column, def);
    case 'L': return std::make_unique<LogicalCodec>(rules, column, def);
    default: return std::make_unique<TimestampCodec>(rules, column, def);
    }
}

}  // namespace quillora::dbase
