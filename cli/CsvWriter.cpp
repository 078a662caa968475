#include "cli/CsvWriter.h"

#include "tables/Utf8.h"

#include <QtGlobal>

#include <array>
#include <cstring>

namespace quillora::cli {

namespace {

constexpr std::array<bool, 256> kNeedsQuotes = [] {
    std::array<bool, 256> t{};
    t[uchar(',')] = t[uchar('"')] = t[uchar('\r')] = t[uchar('\n')] = true;
    return t;
}();

// Whether any of eight bytes is one that needs quotes (the usual zero-byte test, per byte).
bool anyNeedsQuotes(quint64 word)
{
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHighs = 0x8080808080808080ull;
    auto has = [word](char c) {
        const quint64 x = word ^ (kOnes * uchar(c));
        return (x - kOnes) & ~x & kHighs;
    };
    return has(',') | has('"') | has('\r') | has('\n');
}

}  // namespace

void CsvWriter::field(QStringView text)
{
    appendUtf8(beginField(), text);
    endField();
}

std::string& CsvWriter::beginField()
{
    if (lineStarted_)
        buffer_ += ',';
    lineStarted_ = true;
    fieldStart_ = buffer_.size();
    return buffer_;
}

void CsvWriter::endField()
{
    const char* text = buffer_.data() + fieldStart_;
    const size_t length = buffer_.size() - fieldStart_;
    size_t i = 0;
    for (quint64 word; i + 8 <= length; i += 8) {
        std::memcpy(&word, text + i, 8);
        if (anyNeedsQuotes(word))
            break;
    }
    while (i < length && !kNeedsQuotes[uchar(text[i])])
        ++i;
    if (i == length)
        return;
    // Enclose the text in quotes, doubling the ones inside: moved up in place, from the end.
    size_t quotes = 0;
    for (size_t k = i; k < length; ++k)
        quotes += text[k] == '"';
    buffer_.resize(buffer_.size() + 2 + quotes);
    char* field = buffer_.data() + fieldStart_;
    char* dst = buffer_.data() + buffer_.size();
    *--dst = '"';
    for (size_t k = length; k-- > 0;) {
        *--dst = field[k];
        if (field[k] == '"')
            *--dst = '"';
    }
    *--dst = '"';
}

void CsvWriter::endLine()
{
    buffer_.append("\r\n", 2);
    lineStarted_ = false;
    if (buffer_.size() >= capacity_) {
        fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }
}

void CsvWriter::flush()
{
    if (!buffer_.empty()) {
        fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }
    fflush(out_);
}

}  // namespace quillora::cli
