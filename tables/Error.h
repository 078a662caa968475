#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace quillora {

// Every failure the engine and the operations report: an exception carrying the text the user
// sees. Subclasses only help callers tell kinds apart; the text is always complete.
class Error : public std::exception {
public:
    explicit Error(QString text);
    const QString& text() const { return text_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString text_;
    QByteArray utf8_;
};

// Text that cannot be read as a number or a date ("'x' is not a valid integer value").
class ConvertError : public Error {
public:
    using Error::Error;
};

// A table file that is missing, damaged, locked, or of a kind the engine refuses.
class FileError : public Error {
public:
    using Error::Error;
};

// A new or changed record whose key is already taken.
class KeyViolation : public Error {
public:
    using Error::Error;
};

}  // namespace quillora
