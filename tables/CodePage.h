#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <array>
#include <memory>
#include <string>

namespace quillora {

// An 8-bit (or multi-byte) code page of a table file, backed by Qt's ICU codecs. Single-byte
// code pages are turned into lookup tables once, so decoding a record costs no codec call.
// Encoding never substitutes: a character the code page cannot hold is reported.
class CodePage {
public:
    // name: an ICU converter name ("windows-1252", "IBM850", "cp866", "Big5", ...).
    // Returns null when the codec is unknown.
    static std::shared_ptr<const CodePage> byName(const QString& name);

    const QString& name() const { return name_; }
    bool isSingleByte() const { return singleByte_; }

    QString decode(QByteArrayView bytes) const;
    // Decodes straight into UTF-8 at the end of out (no string made on the way for
    // single-byte code pages).
    void appendUtf8(QByteArrayView bytes, std::string& out) const;
    // Returns false (and leaves *out partly filled) when some character has no byte form;
    // *badChar then holds the first such character.
    bool encode(const QString& text, QByteArray* out, QChar* badChar = nullptr) const;

    explicit CodePage(const QString& name);  // use byName()

private:
    QString name_;
    bool singleByte_ = false;
    bool valid_ = false;
    std::array<char16_t, 256> toUnicode_{};
    QHash<char16_t, uchar> fromUnicode_;
    std::array<std::array<char, 4>, 256> utf8_{};  // single-byte pages: each byte's UTF-8 form
    std::array<uchar, 256> utf8Length_{};
    bool asciiAsIs_ = false;  // bytes below 0x80 are the same characters (most pages)
};

}  // namespace quillora
