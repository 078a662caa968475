#include "tables/Error.h"

namespace quillora {

Error::Error(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}

}  // namespace quillora
