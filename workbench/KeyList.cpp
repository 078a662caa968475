#include "workbench/KeyList.h"

#include <QStringView>

#include <cstring>

namespace quillora::workbench {

namespace {

bool packable(const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Time:
    case Value::Kind::DateTime:
        return false;
    case Value::Kind::Text:
        return QStringView(v.asText()).isValidUtf16();  // a lone surrogate would not survive UTF-8
    default:
        return true;
    }
}

void putNumber(std::string& out, quint64 n)
{
    char b[8];
    std::memcpy(b, &n, 8);
    out.append(b, 8);
}

void putLength(std::string& out, size_t n)
{
    do {
        out += char((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        n >>= 7;
    } while (n);
}

void putBytes(std::string& out, const QByteArray& bytes)
{
    putLength(out, size_t(bytes.size()));
    out.append(bytes.constData(), size_t(bytes.size()));
}

struct Reader {
    const char* p;

    quint64 number()
    {
        quint64 n;
        std::memcpy(&n, p, 8);
        p += 8;
        return n;
    }
    size_t length()
    {
        size_t n = 0;
        for (int shift = 0;; shift += 7) {
            const uchar c = uchar(*p++);
            n |= size_t(c & 0x7F) << shift;
            if (!(c & 0x80))
                return n;
        }
    }
    QByteArrayView bytes()
    {
        const size_t n = length();
        const QByteArrayView v(p, qsizetype(n));
        p += n;
        return v;
    }
};

}  // namespace

void KeyList::append(const QList<Value>& key)
{
    const qsizetype index = size();
    starts_.push_back(bytes_.size());
    for (const Value& v : key) {
        if (!packable(v)) {
            whole_[index] = key;
            bytes_.resize(starts_.back());
            return;
        }
    }
    putLength(bytes_, size_t(key.size()));
    for (const Value& v : key) {
        bytes_ += char(v.kind());
        switch (v.kind()) {
        case Value::Kind::Text: putBytes(bytes_, v.asText().toUtf8()); break;
        case Value::Kind::Bytes: putBytes(bytes_, v.asBytes()); break;
        case Value::Kind::Integer: putNumber(bytes_, quint64(v.asInteger())); break;
        case Value::Kind::Float: {
            const double d = v.asFloat();
            quint64 n;
            std::memcpy(&n, &d, 8);
            putNumber(bytes_, n);
            break;
        }
        case Value::Kind::Fixed: putNumber(bytes_, quint64(v.asFixed().scaled)); break;
        case Value::Kind::Date: putNumber(bytes_, quint64(v.asDate().toJulianDay())); break;
        case Value::Kind::Boolean: bytes_ += char(v.asBoolean()); break;
        default: break;  // null
        }
    }
}

QList<Value> KeyList::at(qsizetype i) const
{
    if (auto it = whole_.find(i); it != whole_.end())
        return it->second;
    Reader r{bytes_.data() + starts_[size_t(i)]};
    const qsizetype count = qsizetype(r.length());
    QList<Value> key;
    key.reserve(count);
    for (qsizetype k = 0; k < count; ++k) {
        switch (Value::Kind(uchar(*r.p++))) {
        case Value::Kind::Text: key << Value::text(QString::fromUtf8(r.bytes())); break;
        case Value::Kind::Bytes: key << Value::bytes(r.bytes().toByteArray()); break;
        case Value::Kind::Integer: key << Value::integer(qint64(r.number())); break;
        case Value::Kind::Float: {
            const quint64 n = r.number();
            double d;
            std::memcpy(&d, &n, 8);
            key << Value::floating(d);
            break;
        }
        case Value::Kind::Fixed: key << Value::fixed(Fixed{qint64(r.number())}); break;
        case Value::Kind::Date: key << Value::date(QDate::fromJulianDay(qint64(r.number()))); break;
        case Value::Kind::Boolean: key << Value::boolean(*r.p++ != 0); break;
        default: key << Value(); break;
        }
    }
    return key;
}

}  // namespace quillora::workbench
