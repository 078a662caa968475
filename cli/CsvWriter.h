#pragma once

#include <QString>
#include <QStringView>

#include <cstdio>
#include <memory>
#include <string>

namespace quillora::cli {

// CSV as RFC 4180 has it: comma separated, CRLF line ends, fields with a comma, quote or line
// break enclosed in quotes with inner quotes doubled; UTF-8. Buffered for large dumps.
class CsvWriter {
public:
    explicit CsvWriter(FILE* out) : out_(out) {}
    ~CsvWriter() { flush(); }

    void field(QStringView text);
    void endLine();
    void flush();

private:
    char* reserve(size_t bytes);  // room for `bytes` more; flushes when the buffer is full
    void appendUtf8(QStringView text, bool doubleQuotes);

    static constexpr size_t capacity_ = 1 << 17;
    FILE* out_;
    std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(capacity_);
    size_t used_ = 0;
    std::string large_;  // a value too long for the buffer
    bool lineStarted_ = false;
};

}  // namespace quillora::cli
