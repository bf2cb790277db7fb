// UTF-16 text (WCHAR strings, surrogate pairs whole) as UTF-8, for the file names the loader hands
// to the system and the texts of the report library.
#pragma once

#include <string>

#include "platform/win32/WinTypes.h"

namespace qm {

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, char32_t c);
// The code point at p, a surrogate pair taken whole; p moves past it.
char32_t NextCodePoint(const WCHAR*& p);
// The whole null-terminated text; null gives an empty string.
std::string WideToUtf8(const WCHAR* text);

}  // namespace qm
