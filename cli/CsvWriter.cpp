#include "cli/CsvWriter.h"

namespace quillora::cli {

void CsvWriter::field(const QString& text)
{
    if (lineStarted_)
        buffer_.append(',');
    lineStarted_ = true;
    const QByteArray utf8 = text.toUtf8();
    bool quote = false;
    for (char c : utf8) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        buffer_.append(utf8);
    } else {
        buffer_.append('"');
        for (char c : utf8) {
            if (c == '"')
                buffer_.append('"');
            buffer_.append(c);
        }
        buffer_.append('"');
    }
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
