#pragma once

#include <QFont>

namespace quillora::toolkit {

// A font of the given family at a size in pixels, with look-alikes to fall back on where the
// family is not installed, so that captions keep to the controls they were measured for.
QFont pixelFont(const char* family, int pixels);

}  // namespace quillora::toolkit
