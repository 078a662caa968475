#include "views/ui/ViewFonts.h"

#include <QStringList>

namespace quillora::views {

QFont sansSerif(int pixelSize)
{
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                   QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(pixelSize);
    return f;
}

}  // namespace quillora::views
