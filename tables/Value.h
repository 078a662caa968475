#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <variant>

namespace quillora {

// Fixed point with four decimals, as money and BCD fields hold it: the amount times 10,000.
struct Fixed {
    qint64 scaled = 0;
    bool operator==(const Fixed&) const = default;
    static Fixed fromDouble(double value);  // rounds half away from zero at the fourth decimal
    double toDouble() const { return double(scaled) / 10000.0; }
};

// One field value in memory. Text is Unicode here; the formats encode and decode it with the
// table's code page. A null value is an empty field.
class Value {
public:
    enum class Kind { Null, Text, Integer, Float, Fixed, Date, Time, DateTime, Boolean, Bytes };

    Value() = default;
    static Value text(const QString& s) { return Value(Payload(s)); }
    static Value integer(qint64 v) { return Value(Payload(v)); }
    static Value floating(double v) { return Value(Payload(v)); }
    static Value fixed(Fixed v) { return Value(Payload(v)); }
    static Value date(const QDate& d) { return d.isValid() ? Value(Payload(d)) : Value(); }
    static Value time(const QTime& t) { return t.isValid() ? Value(Payload(t)) : Value(); }
    static Value dateTime(const QDateTime& dt) { return dt.isValid() ? Value(Payload(dt)) : Value(); }
    static Value boolean(bool b) { return Value(Payload(b)); }
    static Value bytes(const QByteArray& b) { return Value(Payload(b)); }

    Kind kind() const { return static_cast<Kind>(payload_.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Accessors for the kind the value holds; calling the wrong one is a programming error.
    const QString& asText() const { return std::get<QString>(payload_); }
    qint64 asInteger() const { return std::get<qint64>(payload_); }
    double asFloat() const { return std::get<double>(payload_); }
    Fixed asFixed() const { return std::get<Fixed>(payload_); }
    const QDate& asDate() const { return std::get<QDate>(payload_); }
    const QTime& asTime() const { return std::get<QTime>(payload_); }
    const QDateTime& asDateTime() const { return std::get<QDateTime>(payload_); }
    bool asBoolean() const { return std::get<bool>(payload_); }
    const QByteArray& asBytes() const { return std::get<QByteArray>(payload_); }

    // Numeric view of Integer, Float and Fixed values (and Boolean as -1/0); false for the rest.
    bool toNumber(double* out) const;

    // Same kind and same payload.
    bool operator==(const Value& other) const { return payload_ == other.payload_; }

    // For messages and debugging: not locale aware.
    QString debugString() const;

private:
    using Payload = std::variant<std::monostate, QString, qint64, double, Fixed, QDate, QTime,
                                 QDateTime, bool, QByteArray>;
    explicit Value(Payload p) : payload_(std::move(p)) {}
    Payload payload_;
};

}  // namespace quillora
