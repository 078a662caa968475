#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace quillora::cli {

// CSV as RFC 4180 has it: comma separated, CRLF line ends, fields with a comma, quote or line
// break enclosed in quotes with inner quotes doubled; UTF-8. Buffered for large dumps.
class CsvWriter {
public:
    explicit CsvWriter(FILE* out) : out_(out) { buffer_.reserve(1 << 17); }
    ~CsvWriter() { flush(); }

    void field(const QString& text);
    void endLine();
    void flush();

private:
    FILE* out_;
    QByteArray buffer_;
    bool lineStarted_ = false;
};

}  // namespace quillora::cli
