#include "tables/paradox/ParadoxRecordCodec.h"

#include "tables/Error.h"
#include "tables/FieldConvert.h"
#include "tables/paradox/PxBlob.h"
#include "tables/paradox/PxCodec.h"

#include <QDateTime>

#include <cmath>
#include <cstring>

namespace quillora::px {

RecordCodec::RecordCodec(const TableHeader& header, const QString& path, BlobFile mb)
    : h_(header), path_(path), mb_(std::move(mb))
{
}

QByteArray RecordCodec::alphaSortKey(const QString& text) const
{
    QByteArray bytes;
    if (!h_.cp->encode(text, &bytes)) {
        // Only text made here can miss the code page (a case-insensitive order upper-cases
        // "ÿ" to "Ÿ", which cp437 lacks): such a character keeps its own case.
        bytes.clear();
        for (qsizetype i = 0; i < text.size(); ++i) {
            QByteArray one;
            const QString ch = text.mid(i, text[i].isHighSurrogate() ? 2 : 1);
            i += ch.size() - 1;
            if (h_.cp->encode(ch, &one) || (one.clear(), h_.cp->encode(ch.toLower(), &one)))
                bytes += one;
            else
                bytes += '?';
        }
    }
    return h_.collation->sortKey(bytes);
}

Value RecordCodec::decode(const QByteArray& raw, int field)
{
    if (field < 0 || field >= int(h_.fields.size()) || raw.size() != h_.recordSize)
        return {};
    const FieldDesc& f = h_.fields[size_t(field)];
    const char* p = raw.constData() + f.offset;
    qint64 i = 0;
    double d = 0;
    switch (f.code) {
    case kAlpha: {
        int len = 0;
        while (len < f.size && p[len])
            ++len;
        if (len == 0)
            return {};
        return Value::text(h_.cp->decode(QByteArrayView(p, len)));
    }
    case kDate:
        if (!readInt(p, 4, &i) || i <= 0)
            return {};
        return Value::date(fromDayNumber(i));
    case kShort:
        return readInt(p, 2, &i) ? Value::integer(i) : Value();
    case kLong: case kAutoInc:
        return readInt(p, 4, &i) ? Value::integer(i) : Value();
    case kMoney: case kNumber:
        return readDouble(p, &d) ? Value::floating(d) : Value();
    case kLogical:
        if (!p[0])
            return {};
        return Value::boolean(uchar(p[0]) != 0x80);
    case kTime:
        if (!readInt(p, 4, &i) || i < 0 || i >= 86400000)
            return {};
        return Value::time(QTime::fromMSecsSinceStartOfDay(int(i)));
    case kTimestamp: {
        if (!readDouble(p, &d) || !std::isfinite(d) || d < 86400000.0 || d > 3.2e17)
            return {};
        const qint64 ms = qint64(std::llround(d));
        const qint64 days = ms / 86400000;
        return Value::dateTime(QDateTime(fromDayNumber(days), QTime::fromMSecsSinceStartOfDay(int(ms % 86400000))));
    }
    case kBcd: {
        qint64 scaled = 0;
        if (!readBcd(p, f.decimals, &scaled))
            return {};
        return Value::fixed(Fixed{scaled});
    }
    case kBytes:
        if (isBlank(p, f.size))
            return {};
        return Value::bytes(QByteArray(p, f.size));
    default:
        break;
    }
    // Blobs: leader, then offset|index, length, modification number.
    const int leader = f.size - 10;
    const char* desc = p + leader;
    const quint32 oi = le32(desc);
    const quint32 len = le32(desc + 4);
    if (len == 0)
        return {};
    QByteArray data;
    if (oi == 0) {
        if (len > quint32(leader))
            damaged(path_, QStringLiteral("blob do campo '%1' maior que a parte no registro e sem posição no .MB").arg(f.name));
        data = QByteArray(p, int(len));
    } else {
        data = mb_(false).read(oi, len);
        if ((f.code == kGraphic || f.code == kOle) && data.size() >= 8 && data[0] == 1 && data[1] == 0 &&
            data[2] == 0 && le32(data.constData() + 4) == quint32(data.size() - 8))
            data.remove(0, 8);
    }
    if (f.code == kMemo || f.code == kFmtMemo)
        return Value::text(h_.cp->decode(data));
    return Value::bytes(data);
}


Value RecordCodec::normalize(int field, const Value& v) const
{
    if (field < 0 || field >= int(h_.fields.size()))
        throw Error(QStringLiteral("Campo %1 inexistente na tabela %2").arg(field + 1).arg(path_));
    if (v.isNull())
        return v;
    const FieldDesc& f = h_.fields[size_t(field)];
    auto wrongKind = [&]() -> Value {
        throw ConvertError(QStringLiteral("Valor '%1' não serve para o campo '%2'").arg(messageValue(v), f.name));
    };
    auto encodeText = [&](const QString& s, QByteArray* out) {
        QChar bad;
        if (!h_.cp->encode(s, out, &bad))
            throw ConvertError(QStringLiteral("O caractere '%1' do campo '%2' não existe no código de página %3 da tabela")
                                   .arg(QString(bad), f.name, h_.cp->name()));
    };
    double d = 0;
    switch (f.code) {
    case kAlpha: {
        if (v.kind() != Value::Kind::Text)
            return wrongKind();
        QString s = v.asText();
        const qsizetype nul = s.indexOf(QChar(0));
        if (nul >= 0)
            s.truncate(nul);  // the field ends at its first NUL
        if (h_.cp->isSingleByte() && s.size() > f.size)
            s.truncate(f.size);
        QByteArray bytes;
        encodeText(s, &bytes);
        while (bytes.size() > f.size && !s.isEmpty()) {
            // Cut whole characters so multi-byte code pages stay valid.
            s.chop(s.size() >= 2 && s.back().isLowSurrogate() ? 2 : 1);
            encodeText(s, &bytes);
        }
        if (s.isEmpty())
            return {};
        return Value::text(s);
    }
    case kShort: case kLong: case kAutoInc: {
        qint64 i;
        if (v.kind() == Value::Kind::Integer)
            i = v.asInteger();
        else if (v.toNumber(&d) && d == std::floor(d) && std::abs(d) < 9e18)
            i = qint64(d);
        else
            return wrongKind();
        const qint64 limit = f.code == kShort ? 32767 : 2147483647;
        if (i < -limit || i > limit)
            throw ConvertError(QStringLiteral("O valor %1 não cabe no campo '%2' (de %3 a %4)").arg(i).arg(f.name).arg(-limit).arg(limit));
        return Value::integer(i);
    }
    case kMoney: case kNumber:
        if (!v.toNumber(&d) || v.kind() == Value::Kind::Boolean)
            return wrongKind();
        if (!std::isfinite(d))
            throw ConvertError(QStringLiteral("Valor inválido para o campo '%1'").arg(f.name));
        return Value::floating(d);
    case kBcd: {
        Fixed fx;
        if (v.kind() == Value::Kind::Fixed)
            fx = v.asFixed();
        else if (v.kind() == Value::Kind::Integer && std::abs(v.asInteger()) < 900000000000000LL)
            fx = Fixed{v.asInteger() * 10000};
        else if (v.kind() == Value::Kind::Float && std::isfinite(v.asFloat()) && std::abs(v.asFloat()) < 9e14)
            fx = Fixed::fromDouble(v.asFloat());
        else
            return wrongKind();
        char buf[17];
        if (!writeBcd(buf, f.decimals, fx.scaled))
            throw ConvertError(QStringLiteral("O valor %1 não cabe no campo '%2' (%3 decimais)").arg(messageValue(v), f.name).arg(f.decimals));
        qint64 back = 0;
        readBcd(buf, f.decimals, &back);
        return Value::fixed(Fixed{back});
    }
    case kDate: {
        if (v.kind() == Value::Kind::DateTime)
            return Value::date(v.asDateTime().date());
        if (v.kind() != Value::Kind::Date)
            return wrongKind();
        if (dayNumber(v.asDate()) < 1)
            throw ConvertError(QStringLiteral("Data fora do intervalo do campo '%1'").arg(f.name));
        return v;
    }
    case kTime:
        if (v.kind() == Value::Kind::DateTime)
            return Value::time(v.asDateTime().time());
        if (v.kind() != Value::Kind::Time)
            return wrongKind();
        return v;
    case kTimestamp: {
        if (v.kind() == Value::Kind::Date)
            return Value::dateTime(QDateTime(v.asDate(), QTime(0, 0)));
        if (v.kind() != Value::Kind::DateTime)
            return wrongKind();
        if (dayNumber(v.asDateTime().date()) < 1)
            throw ConvertError(QStringLiteral("Data fora do intervalo do campo '%1'").arg(f.name));
        return v;
    }
    case kLogical:
        if (v.kind() != Value::Kind::Boolean)
            return wrongKind();
        return v;
    case kBytes: {
        if (v.kind() != Value::Kind::Bytes)
            return wrongKind();
        if (v.asBytes().size() > f.size)
            throw ConvertError(QStringLiteral("O valor do campo '%1' tem %2 bytes; cabem %3").arg(f.name).arg(v.asBytes().size()).arg(f.size));
        if (v.asBytes().isEmpty() || isBlank(v.asBytes().constData(), int(v.asBytes().size())))
            return {};
        QByteArray padded = v.asBytes();
        padded.append(QByteArray(f.size - padded.size(), '\0'));
        return Value::bytes(padded);
    }
    case kMemo: case kFmtMemo: {
        if (v.kind() != Value::Kind::Text)
            return wrongKind();
        QByteArray bytes;
        encodeText(v.asText(), &bytes);
        if (bytes.isEmpty())
            return {};
        return v;
    }
    default:
        if (v.kind() != Value::Kind::Bytes)
            return wrongKind();
        if (v.asBytes().isEmpty())
            return {};
        return v;
    }
}


void RecordCodec::encodeField(int field, const Value& value, char* p, const char* oldP)
{
    const FieldDesc& f = h_.fields[size_t(field)];
    const Value v = normalize(field, value);
    if (!isBlobCode(f.code))
        std::memset(p, 0, size_t(f.size));
    if (v.isNull() && !isBlobCode(f.code))
        return;
    switch (f.code) {
    case kAlpha: {
        QByteArray bytes;
        h_.cp->encode(v.asText(), &bytes);
        std::memcpy(p, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), f.size)));
        return;
    }
    case kShort: writeInt(p, 2, v.asInteger()); return;
    case kLong: case kAutoInc: writeInt(p, 4, v.asInteger()); return;
    case kMoney: case kNumber: writeDouble(p, v.asFloat()); return;
    case kBcd: writeBcd(p, f.decimals, v.asFixed().scaled); return;
    case kDate: writeInt(p, 4, dayNumber(v.asDate())); return;
    case kTime: writeInt(p, 4, v.asTime().msecsSinceStartOfDay()); return;
    case kTimestamp:
        writeDouble(p, double(dayNumber(v.asDateTime().date())) * 86400000.0 + v.asDateTime().time().msecsSinceStartOfDay());
        return;
    case kLogical: p[0] = char(v.asBoolean() ? 0x81 : 0x80); return;
    case kBytes: std::memcpy(p, v.asBytes().constData(), size_t(f.size)); return;
    default: break;
    }
    // Blob: a changed value is always written anew and the old one released.
    const int leader = f.size - 10;
    if (oldP)
        releaseBlob(f, oldP);
    std::memset(p, 0, size_t(f.size));
    if (v.isNull())
        return;
    QByteArray data;
    if (f.code == kMemo || f.code == kFmtMemo)
        h_.cp->encode(v.asText(), &data);
    else
        data = v.asBytes();
    if (data.size() > 0x7FFFFFF0)
        throw ConvertError(QStringLiteral("Valor grande demais para o campo '%1'").arg(f.name));
    std::memcpy(p, data.constData(), size_t(std::min<qsizetype>(data.size(), leader)));
    if (data.size() <= leader) {
        putLe32(p + leader + 4, quint32(data.size()));
        return;
    }
    QByteArray stored = data;
    if (f.code == kGraphic || f.code == kOle) {
        QByteArray prefix(8, '\0');
        prefix[0] = 1;
        prefix[3] = char(f.code == kGraphic ? 1 : 2);
        putLe32(prefix.data() + 4, quint32(data.size()));
        stored.prepend(prefix);
    }
    quint16 mod = 0;
    const quint32 oi = mb_(true).write(stored, &mod);
    putLe32(p + leader, oi);
    putLe32(p + leader + 4, quint32(stored.size()));
    putLe16(p + leader + 8, mod);
}


void RecordCodec::checkRange(int field, const char* p)
{
    const FieldDesc& f = h_.fields[size_t(field)];
    if ((f.minRaw.isEmpty() && f.maxRaw.isEmpty()) || isBlank(p, f.size))
        return;
    auto cmp = [&](const QByteArray& bound) {
        if (f.code == kAlpha)
            return h_.collation->compare(p, f.size, bound.constData(), f.size);
        return std::memcmp(p, bound.constData(), size_t(f.size));
    };
    auto shown = [&](const QByteArray& raw) {
        return decode(QByteArray(h_.recordSize, '\0').replace(f.offset, f.size, raw), field).debugString();
    };
    if (f.minRaw.size() == f.size && cmp(f.minRaw) < 0)
        throw Error(QStringLiteral("O valor do campo '%1' está abaixo do mínimo permitido (%2)").arg(f.name, shown(f.minRaw)));
    if (f.maxRaw.size() == f.size && cmp(f.maxRaw) > 0)
        throw Error(QStringLiteral("O valor do campo '%1' está acima do máximo permitido (%2)").arg(f.name, shown(f.maxRaw)));
}


QList<Value> RecordCodec::defaultValues()
{
    QList<Value> out(h_.fields.size());
    QByteArray raw(h_.recordSize, '\0');
    for (size_t i = 0; i < h_.fields.size(); ++i) {
        const FieldDesc& f = h_.fields[i];
        if (f.defaultRaw.size() == f.size) {
            raw.replace(f.offset, f.size, f.defaultRaw);
            out[qsizetype(i)] = decode(raw, int(i));
        }
    }
    return out;
}


void RecordCodec::encodeFields(const QList<Value>& values, const QList<bool>* changed, QByteArray& rec,
                               const QByteArray* old)
{
    encode(false, values, changed, rec, old);
}

void RecordCodec::encodeBlobs(const QList<Value>& values, const QList<bool>* changed, QByteArray& rec,
                              const QByteArray* old)
{
    encode(true, values, changed, rec, old);
}

void RecordCodec::encode(bool blobs, const QList<Value>& values, const QList<bool>* changed, QByteArray& rec,
                         const QByteArray* old)
{
    for (int i = 0; i < int(h_.fields.size()); ++i) {
        const FieldDesc& f = h_.fields[size_t(i)];
        if (isBlobCode(f.code) != blobs)
            continue;
        if (changed && (i >= changed->size() || !(*changed)[i]))
            continue;
        const Value v = i < values.size() ? values[i] : Value();
        encodeField(i, v, rec.data() + f.offset, old ? old->constData() + f.offset : nullptr);
    }
}

void RecordCodec::checkRequired(int field, const char* p, const QList<Value>& values) const
{
    const FieldDesc& f = h_.fields[size_t(field)];
    if (!h_.defs[field].required || f.code == kAutoInc)
        return;
    const bool blank = isBlobCode(f.code) ? (field >= values.size() || values[field].isNull()) : isBlank(p, f.size);
    if (blank)
        throw Error(QStringLiteral("Campo '%1' deve ter um valor").arg(f.name));
}

void RecordCodec::releaseBlob(const FieldDesc& f, const char* p)
{
    const char* d = p + f.size - 10;
    if (le32(d) != 0 && le32(d + 4) != 0)
        mb_(true).release(le32(d));
}

void RecordCodec::releaseBlobs(const QByteArray& rec)
{
    for (const FieldDesc& f : h_.fields)
        if (isBlobCode(f.code))
            releaseBlob(f, rec.constData() + f.offset);
}

}  // namespace quillora::px
