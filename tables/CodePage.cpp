#include "tables/CodePage.h"

#include "tables/Utf8.h"

#include <QMutex>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

namespace quillora {

CodePage::CodePage(const QString& name) : name_(name)
{
    QStringDecoder probe(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
    if (!probe.isValid())
        return;
    valid_ = true;
    // A single-byte code page turns 256 bytes into 256 characters; a multi-byte one pairs
    // lead bytes with what follows them.
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    QStringDecoder whole(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
    singleByte_ = QString(whole.decode(all)).size() == 256;
    if (singleByte_) {
        for (int b = 0; b < 256; ++b) {
            QStringDecoder one(name.toLatin1().constData(), QStringConverter::Flag::Stateless);
            const char byte = char(b);
            const QString s = one.decode(QByteArrayView(&byte, 1));
            toUnicode_[b] = (one.hasError() || s.size() != 1) ? char16_t(0xFFFD) : s[0].unicode();
        }
        // ICU's IBM PC code pages swap some control bytes (0x1A, 0x1C, 0x7F) the way IBM's
        // "PC data" tables do; table files and every other reader of them treat control
        // bytes as themselves.
        for (int b = 0; b < 0x80; ++b) {
            const char16_t u = toUnicode_[b];
            if (u < 0x20 || u == 0x7F)
                toUnicode_[b] = char16_t(b);
        }
    }
    if (singleByte_) {
        // Where two bytes decode to one character, the lower byte is the one written back.
        for (int b = 255; b >= 0; --b)
            if (toUnicode_[b] != 0xFFFD)
                fromUnicode_.insert(toUnicode_[b], uchar(b));
        for (int b = 0; b < 256; ++b) {
            std::string one;
            const char16_t u = toUnicode_[b];
            quillora::appendUtf8(one, QStringView(&u, 1));
            utf8Length_[b] = uchar(one.size());
            std::copy(one.begin(), one.end(), utf8_[b].begin());
        }
        asciiAsIs_ = true;
        for (int b = 0; b < 0x80; ++b)
            asciiAsIs_ = asciiAsIs_ && toUnicode_[b] == char16_t(b);
    }
}

std::shared_ptr<const CodePage> CodePage::byName(const QString& name)
{
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const CodePage>> cache;
    QMutexLocker lock(&mutex);
    auto it = cache.find(name);
    if (it != cache.end())
        return it.value();
    auto page = std::make_shared<const CodePage>(name);
    std::shared_ptr<const CodePage> result = page->valid_ ? page : nullptr;
    cache.insert(name, result);
    return result;
}

QString CodePage::decode(QByteArrayView bytes) const
{
    if (singleByte_) {
        QString out(bytes.size(), Qt::Uninitialized);
        QChar* dst = out.data();
        for (qsizetype i = 0; i < bytes.size(); ++i)
            dst[i] = QChar(toUnicode_[uchar(bytes[i])]);
        return out;
    }
    QStringDecoder decoder(name_.toLatin1().constData(), QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

void CodePage::appendUtf8(QByteArrayView bytes, std::string& out) const
{
    if (!singleByte_) {
        quillora::appendUtf8(out, decode(bytes));
        return;
    }
    qsizetype i = 0;
    if (asciiAsIs_) {
        // Most text is plain ASCII: copy the run of it in one go, eight bytes tested at a time.
        const char* s = bytes.data();
        while (i + 8 <= bytes.size()) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        while (i < bytes.size() && uchar(s[i]) < 0x80)
            ++i;
        out.append(s, size_t(i));
        if (i == bytes.size())
            return;
    }
    const size_t start = out.size();
    out.resize(start + size_t(bytes.size() - i) * 3);
    char* d = out.data() + start;
    for (; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        const auto& seq = utf8_[b];
        d[0] = seq[0];
        d[1] = seq[1];
        d[2] = seq[2];
        d += utf8Length_[b];
    }
    out.resize(size_t(d - out.data()));
}

bool CodePage::encode(const QString& text, QByteArray* out, QChar* badChar) const
{
    out->clear();
    if (singleByte_) {
        out->resize(text.size());
        char* d = out->data();
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c < 0x80 && asciiAsIs_) {
                d[i] = char(c);
                continue;
            }
            auto it = fromUnicode_.constFind(c);
            if (it == fromUnicode_.constEnd()) {
                out->resize(i);
                if (badChar)
                    *badChar = QChar(c);
                return false;
            }
            d[i] = char(it.value());
        }
        return true;
    }
    QStringEncoder encoder(name_.toLatin1().constData(), QStringConverter::Flag::Stateless);
    *out = encoder.encode(text);
    if (encoder.hasError()) {
        // Find the first character that does not survive on its own, for the message.
        for (QChar c : text) {
            QStringEncoder one(name_.toLatin1().constData(), QStringConverter::Flag::Stateless);
            (void)one.encode(QString(c));
            if (one.hasError()) {
                if (badChar)
                    *badChar = c;
                break;
            }
        }
        return false;
    }
    return true;
}

}  // namespace quillora
