#include "toolkit/PixelFont.h"

#include <QStringList>

namespace quillora::toolkit {

QFont pixelFont(const char* family, int pixels)
{
    QStringList families{QString::fromLatin1(family)};
    if (families.first() == QLatin1String("Tahoma"))
        families << QStringLiteral("DejaVu Sans Condensed") << QStringLiteral("DejaVu Sans");
    else if (families.first() == QLatin1String("Courier New"))
        families << QStringLiteral("Liberation Mono") << QStringLiteral("DejaVu Sans Mono");
    else
        families << QStringLiteral("Microsoft Sans Serif") << QStringLiteral("Arial") << QStringLiteral("Liberation Sans")
                 << QStringLiteral("DejaVu Sans");
    QFont f;
    f.setFamilies(families);
    f.setPixelSize(pixels);
    return f;
}

}  // namespace quillora::toolkit
