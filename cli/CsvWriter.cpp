#include "cli/CsvWriter.h"

#include <cstring>

namespace quillora::cli {

char* CsvWriter::reserve(size_t bytes)
{
    if (used_ + bytes > capacity_)
        flush();
    return buffer_.get() + used_;
}

void CsvWriter::field(QStringView text)
{
    if (lineStarted_) {
        *reserve(1) = ',';
        ++used_;
    }
    lineStarted_ = true;
    bool quote = false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == ',' || u == '"' || u == '\r' || u == '\n') {
            quote = true;
            break;
        }
    }
    appendUtf8(text, quote);
}

// UTF-8 straight into the buffer: dumps write millions of short values, and a conversion
// through a temporary byte array per value costs more than the rest of the line.
void CsvWriter::appendUtf8(QStringView text, bool quote)
{
    const qsizetype n = text.size();
    // Worst case: three bytes per UTF-16 unit, doubled quotes, two enclosing quotes.
    const size_t worst = size_t(n) * 3 + (quote ? size_t(n) + 2 : 0);
    std::string* spill = nullptr;
    char* start;
    if (worst <= capacity_) {
        start = reserve(worst);
    } else {
        flush();
        large_.resize(worst);
        start = large_.data();
        spill = &large_;
    }
    char* d = start;
    if (quote)
        *d++ = '"';
    const char16_t* s = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t u = s[i];
        if (u < 0x80) {
            if (u == '"' && quote)
                *d++ = '"';
            *d++ = char(u);
            continue;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (u < 0x800) {
            *d++ = char(0xC0 | (u >> 6));
            *d++ = char(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *d++ = char(0xE0 | (u >> 12));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
            *d++ = char(0x80 | (u & 0x3F));
        } else {
            *d++ = char(0xF0 | (u >> 18));
            *d++ = char(0x80 | ((u >> 12) & 0x3F));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
            *d++ = char(0x80 | (u & 0x3F));
        }
    }
    if (quote)
        *d++ = '"';
    if (spill) {
        fwrite(start, 1, size_t(d - start), out_);
        spill->clear();
    } else {
        used_ += size_t(d - start);
    }
}

void CsvWriter::endLine()
{
    char* p = reserve(2);
    p[0] = '\r';
    p[1] = '\n';
    used_ += 2;
    lineStarted_ = false;
}

void CsvWriter::flush()
{
    if (used_ > 0) {
        fwrite(buffer_.get(), 1, used_, out_);
        used_ = 0;
    }
    fflush(out_);
}

}  // namespace quillora::cli
