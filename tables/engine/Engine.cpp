#include "tables/engine/Engine.h"

#include "tables/dbase/DbaseFormat.h"
#include "tables/paradox/ParadoxFormat.h"

namespace quillora {

void registerBuiltinFormats()
{
    registerDbaseFormat();
    registerParadoxFormat();
}

}  // namespace quillora
