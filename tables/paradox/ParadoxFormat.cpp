#include "tables/paradox/ParadoxFormat.h"

namespace quillora {

void registerParadoxFormat() {}

}  // namespace quillora
