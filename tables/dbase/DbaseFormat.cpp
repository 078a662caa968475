#include "tables/dbase/DbaseFormat.h"

namespace quillora {

void registerDbaseFormat() {}

}  // namespace quillora
