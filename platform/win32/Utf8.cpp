#include "platform/win32/Utf8.h"

namespace qm {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char32_t NextCodePoint(const WCHAR*& p) {
    char32_t c = char32_t(*p++);
    if (c >= 0xD800 && c < 0xDC00 && *p >= 0xDC00 && *p < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(*p++) - 0xDC00);
    return c;
}

std::string WideToUtf8(const WCHAR* text) {
    std::string out;
    if (!text) return out;
    while (*text) AppendUtf8(out, NextCodePoint(text));
    return out;
}

}  // namespace qm
