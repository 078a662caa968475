#pragma once

#include <QFont>

namespace quillora::views {

// MS Sans Serif at a pixel size, or the closest family the system has.
QFont sansSerif(int pixelSize);

}  // namespace quillora::views
