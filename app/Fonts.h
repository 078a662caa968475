#pragma once

#include <QFont>

namespace quillora::app {

// The fonts of the windows, by pixel size, with close families where the originals are missing.
QFont tahoma(int pixelSize, bool bold = false);
QFont msSansSerif(int pixelSize);
QFont segoeUi(int pixelSize, bool bold = false);

}  // namespace quillora::app
