#pragma once

#include <QStringView>

#include <cstdio>
#include <string>

namespace quillora::cli {

// CSV as RFC 4180 has it: comma separated, CRLF line ends, fields with a comma, quote or line
// break enclosed in quotes with inner quotes doubled; UTF-8. Buffered for large dumps.
class CsvWriter {
public:
    explicit CsvWriter(FILE* out) : out_(out) { buffer_.reserve(capacity_ + 4096); }
    ~CsvWriter() { flush(); }

    void field(QStringView text);
    // A field written in place: the caller appends its UTF-8 text to the string beginField()
    // returns, then calls endField(), which quotes it where needed.
    std::string& beginField();
    void endField();
    void endLine();
    void flush();

private:
    static constexpr size_t capacity_ = 1 << 16;
    FILE* out_;
    std::string buffer_;
    size_t fieldStart_ = 0;
    bool lineStarted_ = false;
};

}  // namespace quillora::cli
