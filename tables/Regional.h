#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

#include <string>
#include <vector>

#include "tables/Value.h"

namespace quillora {

// The user's regional settings and every conversion between typed text and values. One
// instance is current for the whole program; it is set once at start-up from the user's
// locale (tests set Brazilian Portuguese).
class Regional {
public:
    explicit Regional(const QLocale& locale);

    static const Regional& current();
    static void setCurrent(const QLocale& locale);

    const QLocale& locale() const { return locale_; }
    QChar decimalSeparator() const { return decimalSeparator_; }
    QChar dateSeparator() const { return dateSeparator_; }
    const QString& shortDateFormat() const { return shortDateFormat_; }  // Qt pattern, 4-digit year
    const QString& timeFormat() const { return timeFormat_; }            // Qt pattern
    const QString& trueWord() const { return trueWord_; }
    const QString& falseWord() const { return falseWord_; }
    // The same words and the decimal separator as UTF-8, for writers of millions of values.
    const std::string& trueWordUtf8() const { return trueWordUtf8_; }
    const std::string& falseWordUtf8() const { return falseWordUtf8_; }
    const std::string& decimalSeparatorUtf8() const { return decimalSeparatorUtf8_; }

    // Typed text to values; each throws ConvertError with the old engine's English text.
    qint32 parseInteger(const QString& text) const;  // "'%s' is not a valid integer value"
    qint64 parseLargeInteger(const QString& text) const;
    double parseFloat(const QString& text) const;  // "'%s' is not a valid floating point value"
    Fixed parseCurrency(const QString& text) const;
    QDate parseDate(const QString& text) const;  // "'%s' is not a valid date"
    QTime parseTime(const QString& text) const;  // "'%s' is not a valid time"
    QDateTime parseDateTime(const QString& text) const;  // "'%s' is not a valid date and time"
    bool parseBoolean(const QString& text, bool* ok) const;  // the words, T/F, Y/N, S/N

    // Non-throwing forms of the two number readers.
    bool tryParseInteger(const QString& text, qint64* out, qint64 min, qint64 max) const;
    bool tryParseFloat(const QString& text, double* out) const;

    // Values to the text the user sees.
    QString formatFloat(double value, int precision = 15) const;  // general notation
    QString formatFixed(Fixed value) const;
    // The same texts written into a buffer of at least 64 characters; returns their length.
    // For writers of millions of values (dumps) that would rather not make a string of each.
    int formatFloatInto(double value, int precision, char16_t* out) const;
    int formatDateInto(const QDate& date, char16_t* out) const;
    // The text formatDate() gives for a valid date, appended as UTF-8 without making a QDate;
    // false (nothing appended) for an invalid date or a pattern only Qt can render.
    bool appendDateUtf8(int year, int month, int day, std::string& out) const;
    QString formatDate(const QDate& date) const;
    QString formatTime(const QTime& time) const;
    QString formatDateTime(const QDateTime& dt) const;  // time left out at midnight
    QString formatBoolean(bool value) const { return value ? trueWord_ : falseWord_; }

    QString toUpper(const QString& s) const { return locale_.toUpper(s); }
    QString toLower(const QString& s) const { return locale_.toLower(s); }

    // A date or time pattern of numbers and separators only, compiled once so that formatting
    // a value costs no pattern parsing; other patterns leave `simple` false and go through Qt.
    struct Pattern {
        struct Token {
            char letter = 0;  // d M y H h m s z, or 0 for literal text
            int width = 0;
            QString literal;
        };
        QList<Token> tokens;
        bool simple = false;
    };

private:
    static Pattern compile(const QString& format);
    static QString render(const Pattern& p, int year, int month, int day, int hour, int minute, int second, int msec);
    static int renderInto(const Pattern& p, int year, int month, int day, int hour, int minute, int second,
                          int msec, char16_t* out);

    QLocale locale_;
    Pattern datePattern_;
    // Patterns of fixed-width numbers ("dd/MM/yyyy"): the text of a date is this template with
    // its digits put in place (empty for the other patterns).
    std::string dateTemplate_;
    struct DigitSlot {
        char letter;
        int offset;
        int width;
    };
    std::vector<DigitSlot> dateSlots_;
    Pattern timePattern_;
    QChar decimalSeparator_;
    QChar dateSeparator_;
    QString shortDateFormat_;
    QString timeFormat_;
    QString trueWord_;
    QString falseWord_;
    std::string trueWordUtf8_;
    std::string falseWordUtf8_;
    std::string decimalSeparatorUtf8_;
};

}  // namespace quillora
