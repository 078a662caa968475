#include "tables/Regional.h"

#include "tables/Error.h"

#include <cmath>
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
    if (locale.language() == QLocale::Portuguese) {
        trueWord_ = QStringLiteral("Verdadeiro");
        falseWord_ = QStringLiteral("Falso");
    } else {
        trueWord_ = QStringLiteral("True");
        falseWord_ = QStringLiteral("False");
    }
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
    const quint64 limit = base == 16 ? std::numeric_limits<quint64>::max() / 16
                                     : std::numeric_limits<quint64>::max() / 10;
    for (; i < n; ++i) {
        const int digit = QChar(text[i]).digitValue();
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
        Q_UNUSED(digit);
        if (v < 0)
            return false;
        if (magnitude > limit)
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
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");
    // Round to the significant digits first, then choose plain or scientific notation.
    QByteArray sci = QByteArray::number(value, 'e', precision - 1);  // d.ddddde+XX
    const qsizetype ePos = sci.indexOf('e');
    const int exponent = sci.mid(ePos + 1).toInt();
    QByteArray mantissa = sci.left(ePos);
    bool negative = false;
    if (mantissa.startsWith('-')) {
        negative = true;
        mantissa.remove(0, 1);
    }
    QByteArray digits = mantissa;
    digits.remove(1, 1);  // drop the point: all significant digits
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    QString out;
    if (negative)
        out += QLatin1Char('-');
    if (exponent >= precision || exponent < -5) {
        out += QLatin1Char(digits[0]);
        if (digits.size() > 1) {
            out += decimalSeparator_;
            out += QString::fromLatin1(digits.mid(1));
        }
        out += QLatin1Char('E');
        if (exponent < 0)
            out += QLatin1Char('-');
        out += QString::number(std::abs(exponent));
        return out;
    }
    if (exponent < 0) {
        out += QLatin1Char('0');
        out += decimalSeparator_;
        out += QString(-exponent - 1, QLatin1Char('0'));
        out += QString::fromLatin1(digits);
        return out;
    }
    const int intDigits = exponent + 1;
    if (digits.size() <= intDigits) {
        out += QString::fromLatin1(digits);
        out += QString(intDigits - digits.size(), QLatin1Char('0'));
    } else {
        out += QString::fromLatin1(digits.left(intDigits));
        out += decimalSeparator_;
        out += QString::fromLatin1(digits.mid(intDigits));
    }
    return out;
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

QString Regional::formatDate(const QDate& date) const
{
    return date.toString(shortDateFormat_);
}

QString Regional::formatTime(const QTime& time) const
{
    return time.toString(timeFormat_);
}

QString Regional::formatDateTime(const QDateTime& dt) const
{
    if (dt.time() == QTime(0, 0))
        return formatDate(dt.date());
    return formatDate(dt.date()) + QLatin1Char(' ') + formatTime(dt.time());
}

}  // namespace quillora
