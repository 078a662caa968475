#include "tables/TableFile.h"

#include "tables/Error.h"

#include <cstring>

namespace quillora {

TableFile::~TableFile() = default;

RecordId TableFile::atPosition(qint64 position)
{
    if (position < 1)
        return NoRecord;
    RecordId id = first();
    for (qint64 i = 1; i < position && id != NoRecord; ++i)
        id = next(id);
    return id;
}

qint64 TableFile::position(RecordId id)
{
    qint64 pos = 1;
    for (RecordId r = first(); r != NoRecord; r = next(r), ++pos) {
        if (r == id)
            return pos;
    }
    return -1;
}

namespace {
void appendBigEndian(QByteArray& out, quint64 v)
{
    for (int shift = 56; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
}
quint64 orderedInteger(qint64 v) { return quint64(v) ^ (quint64(1) << 63); }
quint64 orderedDouble(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    // Positive numbers: set the sign bit; negative ones: invert everything.
    return (bits & (quint64(1) << 63)) ? ~bits : bits | (quint64(1) << 63);
}
}  // namespace

QByteArray TableFile::sortKey(int, const Value& value)
{
    QByteArray key;
    if (value.isNull())
        return key;  // empty: before every value
    key.append('\x01');
    switch (value.kind()) {
    case Value::Kind::Null: break;
    case Value::Kind::Text: key.append(value.asText().toUtf8()); break;
    case Value::Kind::Integer: appendBigEndian(key, orderedInteger(value.asInteger())); break;
    case Value::Kind::Float: appendBigEndian(key, orderedDouble(value.asFloat())); break;
    case Value::Kind::Fixed: appendBigEndian(key, orderedInteger(value.asFixed().scaled)); break;
    case Value::Kind::Date: appendBigEndian(key, orderedInteger(value.asDate().toJulianDay())); break;
    case Value::Kind::Time: appendBigEndian(key, orderedInteger(value.asTime().msecsSinceStartOfDay())); break;
    case Value::Kind::DateTime:
        appendBigEndian(key, orderedInteger(value.asDateTime().date().toJulianDay() * 86400000LL
                                            + value.asDateTime().time().msecsSinceStartOfDay()));
        break;
    case Value::Kind::Boolean: key.append(value.asBoolean() ? '\x01' : '\x00'); break;
    case Value::Kind::Bytes: key.append(value.asBytes()); break;
    }
    return key;
}

QByteArray TableFile::expressionKey(const IndexDef& index, RecordId, const QByteArray&)
{
    throw Error(QStringLiteral("A ordem do índice de expressão %1 (%2) não é suportada em %3")
                    .arg(index.name, index.expression, path()));
}

QList<Value> TableFile::newRecordValues()
{
    return QList<Value>(fields().size());
}

}  // namespace quillora
