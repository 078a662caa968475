#pragma once

#include <QStringView>

#include <cstdio>
#include <string>
#include <string_view>

namespace quillora::cli {

// CSV as RFC 4180 has it: comma separated, CRLF line ends, fields with a comma, quote or line
// break enclosed in quotes with inner quotes doubled; UTF-8. Buffered for large dumps.
class CsvWriter {
public:
    explicit CsvWriter(FILE* out) : out_(out) { buffer_.reserve(capacity_ + 4096); }
    ~CsvWriter() { flush(); }

    void field(QStringView text);
    // A field whose UTF-8 text the caller has already written into scratch().
    void fieldFromScratch();
    std::string& scratch() { return scratch_; }
    void endLine();
    void flush();

private:
    void fieldUtf8(std::string_view utf8);

    static constexpr size_t capacity_ = 1 << 16;
    FILE* out_;
    std::string buffer_;
    std::string scratch_;
    bool lineStarted_ = false;
};

}  // namespace quillora::cli
