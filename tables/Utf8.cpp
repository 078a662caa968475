#include "tables/Utf8.h"

namespace quillora {

void appendUtf8(std::string& out, QStringView text)
{
    const qsizetype n = text.size();
    const size_t start = out.size();
    out.resize(start + size_t(n) * 3);
    char* d = out.data() + start;
    const char16_t* s = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t u = s[i];
        if (u < 0x80) {
            *d++ = char(u);
            continue;
        }
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        if (u < 0x800) {
            *d++ = char(0xC0 | (u >> 6));
            *d++ = char(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *d++ = char(0xE0 | (u >> 12));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
            *d++ = char(0x80 | (u & 0x3F));
        } else {
            *d++ = char(0xF0 | (u >> 18));
            *d++ = char(0x80 | ((u >> 12) & 0x3F));
            *d++ = char(0x80 | ((u >> 6) & 0x3F));
            *d++ = char(0x80 | (u & 0x3F));
        }
    }
    out.resize(size_t(d - out.data()));
}

}  // namespace quillora
