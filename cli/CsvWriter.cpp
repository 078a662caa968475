#include "cli/CsvWriter.h"

#include "tables/Utf8.h"

namespace quillora::cli {

void CsvWriter::field(QStringView text)
{
    scratch_.clear();
    appendUtf8(scratch_, text);
    fieldFromScratch();
}

void CsvWriter::fieldFromScratch()
{
    fieldUtf8(scratch_);
    scratch_.clear();
}

void CsvWriter::fieldUtf8(std::string_view utf8)
{
    if (lineStarted_)
        buffer_ += ',';
    lineStarted_ = true;
    bool quote = false;
    for (char c : utf8) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        buffer_.append(utf8);
        return;
    }
    buffer_ += '"';
    for (char c : utf8) {
        if (c == '"')
            buffer_ += '"';
        buffer_ += c;
    }
    buffer_ += '"';
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
