#include "tables/Regional.h"

#include "tables/Error.h"
#include "tables/Utf8.h"

#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <limits>
#include <memory>

namespace quillora {

namespace {

std::unique_ptr<Regional>& currentInstance()
{
    static std::unique_ptr<Regional> instance;
    return instance;
}

// Qt's short formats may carry a two-digit year ("M/d/yy"); the user's data has four.
QString fourDigitYear(QString format)
{
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QChar firstSeparator(const QString& format, QChar fallback)
{
    for (QChar c : format) {
        if (!c.isLetter() && c != QLatin1Char('\''))
            return c;
    }
    return fallback;
}

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

QString quoted(const QString& text) { return QLatin1Char('\'') + text + QLatin1Char('\''); }

// Order of day, month and year in a date pattern, as indexes 0..2 of the typed parts.
struct DateOrder {
    int day = 0, month = 1, year = 2;
};

DateOrder dateOrderOf(const QString& format)
{
    const qsizetype d = format.indexOf(QLatin1Char('d'));
    const qsizetype m = format.indexOf(QLatin1Char('M'));
    const qsizetype y = format.indexOf(QLatin1Char('y'));
    DateOrder order;
    order.day = int((d > m) + (d > y));
    order.month = int((m > d) + (m > y));
    order.year = int((y > d) + (y > m));
    return order;
}

int expandTwoDigitYear(int year)
{
    // Two-digit years fall within fifty years of today, as the old engine read them.
    const int now = QDate::currentDate().year();
    int candidate = (now / 100) * 100 + year;
    if (candidate > now + 50)
        candidate -= 100;
    else if (candidate <= now - 50)
        candidate += 100;
    return candidate;
}

}  // namespace

Regional::Regional(const QLocale& locale) : locale_(locale)
{
    decimalSeparator_ = locale.decimalPoint().isEmpty() ? QLatin1Char('.') : locale.decimalPoint().at(0);
    shortDateFormat_ = fourDigitYear(locale.dateFormat(QLocale::ShortFormat));
    dateSeparator_ = firstSeparator(shortDateFormat_, QLatin1Char('/'));
    timeFormat_ = locale.timeFormat(QLocale::LongFormat);
    // Long formats may carry a zone name; keep hours, minutes and seconds only.
    timeFormat_ = QStringLiteral("HH:mm:ss");
    datePattern_ = compile(shortDateFormat_);
    // Fixed-width numbers and short literals (renderInto() cuts long ones) make a template.
    bool fixed = datePattern_.simple;
    for (const Pattern::Token& t : datePattern_.tokens) {
        if (!fixed)
            break;
        if (t.letter == 0) {
            fixed = t.literal.size() <= 16;
            appendUtf8(dateTemplate_, t.literal);
        } else if ((t.letter == 'd' || t.letter == 'M' || t.letter == 'y') && t.width >= 2) {
            dateSlots_.push_back({t.letter, int(dateTemplate_.size()), t.width});
            dateTemplate_.append(size_t(t.width), '0');
        } else {
            fixed = false;
        }
    }
    if (!fixed || dateTemplate_.size() > 64) {
        dateTemplate_.clear();
        dateSlots_.clear();
    }
    timePattern_ = compile(timeFormat_);
    if (locale.language() == QLocale::Portuguese) {
        trueWord_ = QStringLiteral("Verdadeiro");
        falseWord_ = QStringLiteral("Falso");
    } else {
        trueWord_ = QStringLiteral("True");
        falseWord_ = QStringLiteral("False");
    }
    appendUtf8(trueWordUtf8_, trueWord_);
    appendUtf8(falseWordUtf8_, falseWord_);
    const QChar separator = decimalSeparator_;
    appendUtf8(decimalSeparatorUtf8_, QStringView(&separator, 1));
}

const Regional& Regional::current()
{
    auto& instance = currentInstance();
    if (!instance)
        instance = std::make_unique<Regional>(QLocale::system());
    return *instance;
}

void Regional::setCurrent(const QLocale& locale)
{
    currentInstance() = std::make_unique<Regional>(locale);
}

bool Regional::tryParseInteger(const QString& text, qint64* out, qint64 min, qint64 max) const
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i < n && (text[i] == QLatin1Char('x') || text[i] == QLatin1Char('X'))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0')
               && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // Accumulate as unsigned magnitude; hexadecimal may use the full 32/64-bit pattern.
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        int v = -1;
        if (text[i].unicode() < 128) {
            const char c = char(text[i].unicode());
            if (c >= '0' && c <= '9')
                v = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                v = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                v = c - 'A' + 10;
        }
        if (v < 0)
            return false;
        if (magnitude > (std::numeric_limits<quint64>::max() - quint64(v)) / quint64(base))
            return false;
        magnitude = magnitude * base + quint64(v);
    }
    qint64 value;
    if (base == 16 && max <= std::numeric_limits<qint32>::max()
        && magnitude <= std::numeric_limits<quint32>::max()) {
        // "$FFFFFFFF" reads as -1, the 32-bit pattern.
        value = qint64(qint32(quint32(magnitude)));
    } else if (magnitude > quint64(std::numeric_limits<qint64>::max())) {
        return false;
    } else {
        value = qint64(magnitude);
    }
    if (negative)
        value = -value;
    if (value < min || value > max)
        return false;
    *out = value;
    return true;
}

qint32 Regional::parseInteger(const QString& text) const
{
    qint64 v = 0;
    if (!tryParseInteger(text, &v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()))
        throw ConvertError(quoted(text) + QStringLiteral(" is not a valid integer value"));
    return qint32(v);
}

qint64 Regional::parseLargeInteger(const QString& text) const
{
    qint64 v = 0;
    if (!tryParseInteger(text, &v, std::numeric_limits<qint64>::min() + 1, std::numeric_limits<qint64>::max()))
        throw ConvertError(quoted(text) + QStringLiteral(" is not a valid integer value"));
    return v;
}

bool Regional::tryParseFloat(const QString& text, double* out) const
{
    QByteArray ascii;
    ascii.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ascii.append(char(text[i++].unicode()));
    int digits = 0;
    bool separator = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ascii.append(char(c.unicode()));
            ++digits;
        } else if (c == decimalSeparator_ && !separator) {
            ascii.append('.');
            separator = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ascii.append('e');
        ++i;
        if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
            ascii.append(char(text[i++].unicode()));
        int expDigits = 0;
        for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
            ascii.append(char(text[i].unicode()));
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        return false;
    bool ok = false;
    const double v = ascii.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

double Regional::parseFloat(const QString& text) const
{
    double v = 0;
    if (!tryParseFloat(text, &v))
        throw ConvertError(quoted(text) + QStringLiteral(" is not a valid floating point value"));
    return v;
}

Fixed Regional::parseCurrency(const QString& text) const
{
    const double v = parseFloat(text);
    if (std::fabs(v) >= 9.2e14)
        throw ConvertError(quoted(text) + QStringLiteral(" is not a valid floating point value"));
    return Fixed::fromDouble(v);
}

QDate Regional::parseDate(const QString& text) const
{
    const QString trimmed = text.trimmed();
    const QStringList parts = trimmed.split(dateSeparator_);
    auto fail = [&]() { return ConvertError(quoted(text) + QStringLiteral(" is not a valid date")); };
    if (parts.size() < 2 || parts.size() > 3)
        throw fail();
    int numbers[3] = {0, 0, 0};
    int yearDigits = 0;
    for (int i = 0; i < parts.size(); ++i) {
        const QString p = parts[i].trimmed();
        if (p.isEmpty() || p.size() > 4)
            throw fail();
        for (QChar c : p)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                throw fail();
        numbers[i] = p.toInt();
    }
    DateOrder order = dateOrderOf(shortDateFormat_);
    int day, month, year;
    if (parts.size() == 2) {
        // Day and month only: this year, in the pattern's order of the two.
        const bool dayFirst = order.day < order.month;
        day = numbers[dayFirst ? 0 : 1];
        month = numbers[dayFirst ? 1 : 0];
        year = QDate::currentDate().year();
    } else {
        day = numbers[order.day];
        month = numbers[order.month];
        year = numbers[order.year];
        yearDigits = int(parts[order.year].trimmed().size());
        if (yearDigits <= 2)
            year = expandTwoDigitYear(year);
    }
    const QDate d(year, month, day);
    if (!d.isValid() || year < 1)
        throw fail();
    return d;
}

QTime Regional::parseTime(const QString& text) const
{
    const QString trimmed = text.trimmed();
    const QStringList parts = trimmed.split(QLatin1Char(':'));
    auto fail = [&]() { return ConvertError(quoted(text) + QStringLiteral(" is not a valid time")); };
    if (parts.size() < 2 || parts.size() > 3)
        throw fail();
    int values[3] = {0, 0, 0};
    int msec = 0;
    for (int i = 0; i < parts.size(); ++i) {
        QString p = parts[i].trimmed();
        if (i == 2) {
            const qsizetype dot = p.indexOf(decimalSeparator_);
            if (dot >= 0) {
                const QString frac = (p.mid(dot + 1) + QStringLiteral("000")).left(3);
                bool ok = false;
                msec = frac.toInt(&ok);
                if (!ok)
                    throw fail();
                p = p.left(dot);
            }
        }
        bool ok = false;
        values[i] = p.toInt(&ok);
        if (!ok || p.isEmpty())
            throw fail();
    }
    const QTime t(values[0], values[1], values[2], msec);
    if (!t.isValid())
        throw fail();
    return t;
}

QDateTime Regional::parseDateTime(const QString& text) const
{
    const QString trimmed = text.trimmed();
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    try {
        if (space < 0)
            return QDateTime(parseDate(trimmed), QTime(0, 0));
        return QDateTime(parseDate(trimmed.left(space)), parseTime(trimmed.mid(space + 1)));
    } catch (const ConvertError&) {
        throw ConvertError(quoted(text) + QStringLiteral(" is not a valid date and time"));
    }
}

bool Regional::parseBoolean(const QString& text, bool* ok) const
{
    const QString t = text.trimmed();
    *ok = true;
    if (t.compare(trueWord_, Qt::CaseInsensitive) == 0 || t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(falseWord_, Qt::CaseInsensitive) == 0 || t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (t.size() == 1) {
        const QChar c = t[0].toUpper();
        if (c == QLatin1Char('T') || c == QLatin1Char('Y') || c == QLatin1Char('S') || c == QLatin1Char('V'))
            return true;
        if (c == QLatin1Char('F') || c == QLatin1Char('N'))
            return false;
    }
    *ok = false;
    return false;
}

QString Regional::formatFloat(double value, int precision) const
{
    char16_t out[64];
    const int n = formatFloatInto(value, precision, out);
    return QString(reinterpret_cast<const QChar*>(out), n);
}

int Regional::formatFloatInto(double value, int precision, char16_t* out) const
{
    auto word = [out](const char* w) {
        int n = 0;
        for (; w[n]; ++n)
            out[n] = char16_t(w[n]);
        return n;
    };
    if (std::isnan(value))
        return word("NAN");
    if (std::isinf(value))
        return word(value < 0 ? "-INF" : "INF");
    if (value == 0)
        return word("0");
    precision = std::clamp(precision, 1, 17);
    // The shortest digits that read back as the same double are the digits of the rounding to
    // `precision` significant digits whenever there are no more of them than that; only longer
    // ones need the slower fixed-precision conversion.
    char buffer[64];
    auto res = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view sci(buffer, size_t(res.ptr - buffer));  // [-]d[.ddd]e[+-]XX
    size_t ePos = sci.find('e');
    std::string_view mantissaView = sci.substr(0, ePos);
    const bool negative = !mantissaView.empty() && mantissaView.front() == '-';
    if (negative)
        mantissaView.remove_prefix(1);
    QVarLengthArray<char, 32> digits;
    for (char c : mantissaView)
        if (c != '.')
            digits.append(c);
    int exponent = 0;
    std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    if (digits.size() > precision) {
        res = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, precision - 1);
        sci = std::string_view(buffer, size_t(res.ptr - buffer));
        ePos = sci.find('e');
        mantissaView = sci.substr(negative ? 1 : 0, ePos - (negative ? 1 : 0));
        digits.clear();
        for (char c : mantissaView)
            if (c != '.')
                digits.append(c);
        std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    // Lay the text out in the caller's buffer.
    int n = 0;
    const char16_t sep = decimalSeparator_.unicode();
    auto put = [&](char c) { out[n++] = char16_t(c); };
    if (negative)
        put('-');
    if (exponent >= precision || exponent < -5) {
        put(digits[0]);
        if (digits.size() > 1) {
            out[n++] = sep;
            for (qsizetype i = 1; i < digits.size(); ++i)
                put(digits[i]);
        }
        put('E');
        if (exponent < 0)
            put('-');
        char e[8];
        auto r = std::to_chars(e, e + sizeof e, std::abs(exponent));
        for (char* c = e; c < r.ptr; ++c)
            put(*c);
    } else if (exponent < 0) {
        put('0');
        out[n++] = sep;
        for (int i = 0; i < -exponent - 1; ++i)
            put('0');
        for (char c : digits)
            put(c);
    } else {
        const int intDigits = exponent + 1;
        for (int i = 0; i < intDigits; ++i)
            put(i < digits.size() ? digits[i] : '0');
        if (digits.size() > intDigits) {
            out[n++] = sep;
            for (qsizetype i = intDigits; i < digits.size(); ++i)
                put(digits[i]);
        }
    }
    return n;
}

QString Regional::formatFixed(Fixed value) const
{
    const bool negative = value.scaled < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(value.scaled) : quint64(value.scaled);
    QString out = negative ? QStringLiteral("-") : QString();
    out += QString::number(magnitude / 10000);
    QString frac = QString::number(magnitude % 10000).rightJustified(4, QLatin1Char('0'));
    while (frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    if (!frac.isEmpty())
        out += decimalSeparator_ + frac;
    return out;
}

Regional::Pattern Regional::compile(const QString& format)
{
    Pattern p;
    p.simple = true;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            const qsizetype end = format.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0) {
                p.simple = false;
                return p;
            }
            p.tokens.append({0, 0, format.mid(i + 1, end - i - 1)});
            i = end + 1;
            continue;
        }
        if (c.isLetter()) {
            qsizetype j = i;
            while (j < format.size() && format[j] == c)
                ++j;
            const int width = int(j - i);
            const char letter = char(c.unicode() < 128 ? c.unicode() : 0);
            const bool numeric = (letter == 'd' || letter == 'M' || letter == 'H' || letter == 'h'
                                  || letter == 'm' || letter == 's')
                ? width <= 2
                : letter == 'y' ? (width == 2 || width == 4) : letter == 'z' ? width == 3 : false;
            if (!numeric) {
                p.simple = false;
                return p;
            }
            p.tokens.append({letter, width, {}});
            i = j;
            continue;
        }
        if (!p.tokens.isEmpty() && p.tokens.last().letter == 0)
            p.tokens.last().literal += c;
        else
            p.tokens.append({0, 0, QString(c)});
        ++i;
    }
    return p;
}

QString Regional::render(const Pattern& p, int year, int month, int day, int hour, int minute, int second, int msec)
{
    char16_t out[96];
    const int n = renderInto(p, year, month, day, hour, minute, second, msec, out);
    return QString(reinterpret_cast<const QChar*>(out), n);
}

int Regional::renderInto(const Pattern& p, int year, int month, int day, int hour, int minute, int second, int msec,
                         char16_t* out)
{
    int n = 0;
    auto number = [&](int v, int width) {
        char digits[16];
        int k = 0;
        unsigned u = unsigned(v < 0 ? -v : v);
        do {
            digits[k++] = char('0' + u % 10);
            u /= 10;
        } while (u);
        if (v < 0)
            out[n++] = u'-';
        for (int z = k; z < width; ++z)
            out[n++] = u'0';
        while (k)
            out[n++] = char16_t(digits[--k]);
    };
    for (const Pattern::Token& t : p.tokens) {
        if (n > 64)
            break;  // patterns are short; never overrun the buffer
        switch (t.letter) {
        case 0:
            for (qsizetype k = 0; k < t.literal.size() && k < 16; ++k)
                out[n++] = t.literal[k].unicode();
            break;
        case 'd': number(day, t.width); break;
        case 'M': number(month, t.width); break;
        case 'y': number(t.width == 2 ? ((year % 100) + 100) % 100 : year, t.width); break;
        case 'H': number(hour, t.width); break;
        case 'h': number(hour % 12 == 0 ? 12 : hour % 12, t.width); break;
        case 'm': number(minute, t.width); break;
        case 's': number(second, t.width); break;
        case 'z': number(msec, 3); break;
        }
    }
    return n;
}

QString Regional::formatDate(const QDate& date) const
{
    if (!datePattern_.simple || !date.isValid())
        return date.toString(shortDateFormat_);
    int y, m, d;
    date.getDate(&y, &m, &d);
    return render(datePattern_, y, m, d, 0, 0, 0, 0);
}

int Regional::formatDateInto(const QDate& date, char16_t* out) const
{
    if (!datePattern_.simple || !date.isValid()) {
        const QString s = formatDate(date).left(64);
        std::copy(s.utf16(), s.utf16() + s.size(), out);
        return int(s.size());
    }
    int y, m, d;
    date.getDate(&y, &m, &d);
    return renderInto(datePattern_, y, m, d, 0, 0, 0, 0, out);
}

bool Regional::appendDateUtf8(int year, int month, int day, std::string& out) const
{
    if (!datePattern_.simple || year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap))
        return false;
    if (!dateTemplate_.empty()) {
        const size_t at = out.size();
        out += dateTemplate_;
        char* text = out.data() + at;
        for (const DigitSlot& s : dateSlots_) {
            int v = s.letter == 'd' ? day : s.letter == 'M' ? month : s.width == 2 ? year % 100 : year;
            for (int k = s.offset + s.width - 1; k >= s.offset; --k, v /= 10)
                text[k] = char('0' + v % 10);
        }
        return true;
    }
    char16_t buffer[96];
    appendUtf8(out, QStringView(buffer, renderInto(datePattern_, year, month, day, 0, 0, 0, 0, buffer)));
    return true;
}

QString Regional::formatTime(const QTime& time) const
{
    if (!timePattern_.simple || !time.isValid())
        return time.toString(timeFormat_);
    return render(timePattern_, 0, 0, 0, time.hour(), time.minute(), time.second(), time.msec());
}

QString Regional::formatDateTime(const QDateTime& dt) const
{
    if (dt.time() == QTime(0, 0))
        return formatDate(dt.date());
    return formatDate(dt.date()) + QLatin1Char(' ') + formatTime(dt.time());
}

}  // namespace quillora
