#pragma once

namespace quillora {

// Registers ".db" with TableFormats.
void registerParadoxFormat();

}  // namespace quillora
