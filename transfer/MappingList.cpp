#include "transfer/MappingList.h"

#include "tables/Error.h"
#include "tables/Regional.h"

#include <limits>

namespace quillora {

QStringList mappingLines(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    // The break that ends the last line does not open another one.
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    return lines;
}

void SeparaLinha(const QString& line, QString& destino, QString& fonte)
{
    if (line.isEmpty())
        return;
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0) {
        destino.clear();
        fonte = line.mid(1);
        return;
    }
    destino = line.left(eq);
    fonte = line.mid(eq + 1);
}

TermKind termKind(const QString& term)
{
    if (term.contains(QLatin1Char('@')))
        return TermKind::Sequence;
    if (term.contains(QLatin1Char('#')))
        return TermKind::FixedText;
    return TermKind::Field;
}

QString zeroPadded(qint32 value, int width)
{
    // Digits of the magnitude, through 64 bits so that the lowest int32 has one.
    const qint64 v = value;
    QString digits = QString::number(v < 0 ? -v : v);
    if (digits.size() < width)
        digits.prepend(QString(width - digits.size(), QLatin1Char('0')));
    if (v < 0)
        digits.prepend(QLatin1Char('-'));
    return digits;
}

QString SequenceCounter::apply(const QString& term)
{
    const int width = int(term.size()) - 1;
    if (width > 224)
        throw Error(QStringLiteral("Format string too long"));
    if (value_ > 0) {
        // A signed 32-bit counter: past its largest value it turns negative, like the numbers
        // users know from the old program, and then restarts from the start text.
        value_ = qint32(quint32(value_) + 1u);
    } else {
        qint64 start = 0;
        if (!Regional::current().tryParseInteger(term.mid(1), &start, std::numeric_limits<qint32>::min(),
                                                 std::numeric_limits<qint32>::max()))
            start = 0;
        value_ = qint32(start);
    }
    return zeroPadded(value_, width);
}

}  // namespace quillora
