#include "platform/com/Guid.h"

#include <cctype>
#include <cstdio>

namespace qm {

std::string GuidToString(REFGUID g) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  unsigned(g.Data1), unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = char(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads exactly `digits` hex digits from text, advancing it.
bool ReadHex(const char*& text, int digits, unsigned long long& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[i]);
        if (v < 0) return false;
        value = value * 16 + unsigned(v);
    }
    text += digits;
    return true;
}
}  // namespace

bool GuidFromString(const char* text, GUID* guid) {
    if (!text || !guid) return false;
    bool braces = *text == '{';
    if (braces) ++text;
    unsigned long long v;
    GUID g{};
    if (!ReadHex(text, 8, v) || *text++ != '-') return false;
    g.Data1 = DWORD(v);
    if (!ReadHex(text, 4, v) || *text++ != '-') return false;
    g.Data2 = WORD(v);
    if (!ReadHex(text, 4, v) || *text++ != '-') return false;
    g.Data3 = WORD(v);
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && *text++ != '-') return false;
        if (!ReadHex(text, 2, v)) return false;
        g.Data4[i] = BYTE(v);
    }
    if (braces && *text++ != '}') return false;
    if (*text != '\0') return false;
    *guid = g;
    return true;
}

}  // namespace qm
