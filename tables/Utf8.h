#pragma once

#include <QStringView>

#include <string>

namespace quillora {

// Appends text as UTF-8, straight into a byte buffer: for writers of millions of short values,
// where a temporary byte array per value would cost more than the rest of the work.
// A lone surrogate becomes U+FFFD.
void appendUtf8(std::string& out, QStringView text);

}  // namespace quillora
