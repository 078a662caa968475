#include "workbench/StrZero.h"

#include "tables/Error.h"
#include "tables/Regional.h"

#include <cmath>

namespace quillora::workbench {

QString Replicate(const QString& str, quint16 count)
{
    if (str.isEmpty() || count == 0 || count >= 255)
        return {};
    return str.repeated(count);
}

QString StrZero(int width, double value)
{
    const QString picture = Replicate(QStringLiteral("0"), quint16(width));
    if (picture.size() > 224)
        throw Error(QStringLiteral("Format string too long"));
    const double rounded = std::round(value);  // halves away from zero
    if (picture.isEmpty() || !std::isfinite(value) || std::fabs(rounded) >= 1e18)
        return Regional::current().formatFloat(value, 15);
    QString digits = QString::number(qint64(std::fabs(rounded)));
    if (digits.size() < picture.size())
        digits.prepend(QString(picture.size() - digits.size(), QLatin1Char('0')));
    return rounded < 0 ? QLatin1Char('-') + digits : digits;
}

}  // namespace quillora::workbench
