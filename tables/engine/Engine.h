#pragma once

namespace quillora {

// Registers the dBase and Paradox formats with TableFormats. Safe to call more than once.
void registerBuiltinFormats();

}  // namespace quillora
