#include "app/Fonts.h"

#include <QStringList>

namespace quillora::app {

namespace {
QFont make(const QStringList& families, int pixelSize, bool bold)
{
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setStyleHint(QFont::SansSerif);
    return f;
}
}  // namespace

QFont tahoma(int pixelSize, bool bold)
{
    // Tahoma is narrow: the condensed DejaVu keeps captions inside their controls.
    return make({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("Liberation Sans")},
                pixelSize, bold);
}

QFont msSansSerif(int pixelSize)
{
    return make({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                 QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
                pixelSize, false);
}

QFont segoeUi(int pixelSize, bool bold)
{
    return make({QStringLiteral("Segoe UI"), QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("Liberation Sans")},
                pixelSize, bold);
}

}  // namespace quillora::app
