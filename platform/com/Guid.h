// GUID with the SDK's layout, comparison and text form.
#pragma once

#include <string>

#include "platform/win32/WinTypes.h"

#ifdef _WIN32
#include <guiddef.h>
#else
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static_assert(sizeof(GUID) == 16);
#endif

// Declares a GUID constant that is ours (not in the SDK), the same way on every platform.
#define QM_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

namespace qm {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hex, as the SDK prints GUIDs.
std::string GuidToString(REFGUID guid);

// Parses the form above (braces optional); false when the text is not a GUID.
bool GuidFromString(const char* text, GUID* guid);

// The media subtype GUID of a FOURCC: {FOURCC-0000-0010-8000-00AA00389B71}.
constexpr GUID MediaSubtypeFromFourCC(DWORD fourcc) {
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

constexpr DWORD MakeFourCC(char a, char b, char c, char d) {
    return DWORD(BYTE(a)) | (DWORD(BYTE(b)) << 8) | (DWORD(BYTE(c)) << 16) | (DWORD(BYTE(d)) << 24);
}

}  // namespace qm
