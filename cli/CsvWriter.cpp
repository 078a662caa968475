#include "cli/CsvWriter.h"

namespace quillora::cli {

void CsvWriter::field(const QString& text)
{
    if (lineStarted_)
        buffer_.append(',');
    lineStarted_ = true;
    bool quote = false;
    bool ascii = true;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == ',' || u == '"' || u == '\r' || u == '\n')
            quote = true;
        else if (u >= 0x80)
            ascii = false;
    }
    if (quote)
        buffer_.append('"');
    if (ascii && !quote) {
        // Most values are plain ASCII: copy them without a UTF-8 conversion.
        const qsizetype start = buffer_.size();
        buffer_.resize(start + text.size());
        char* dst = buffer_.data() + start;
        const QChar* src = text.constData();
        for (qsizetype i = 0, n = text.size(); i < n; ++i)
            dst[i] = char(src[i].unicode());
    } else {
        const QByteArray utf8 = text.toUtf8();
        if (!quote) {
            buffer_.append(utf8);
        } else {
            for (char c : utf8) {
                if (c == '"')
                    buffer_.append('"');
                buffer_.append(c);
            }
        }
    }
    if (quote)
        buffer_.append('"');
}

void CsvWriter::endLine()
{
    buffer_.append("\r\n", 2);
    lineStarted_ = false;
    if (buffer_.size() >= (1 << 16))
        flush();
}

void CsvWriter::flush()
{
    if (!buffer_.isEmpty()) {
        fwrite(buffer_.constData(), 1, size_t(buffer_.size()), out_);
        buffer_.clear();
    }
    fflush(out_);
}

}  // namespace quillora::cli
