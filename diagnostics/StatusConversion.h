// Conversions of codec statuses, kernel statuses and system errors into HRESULTs.
#pragma once

#include <cstdint>

#include "platform/win32/WinTypes.h"

namespace qm {

// (s AND 0x80040000) OR (|s| + 0x1FF) OR 0x40000: a negative status becomes 0x8004xxxx, a small
// positive one (a warning) stays a success code.
constexpr HRESULT HResultFromCodecStatus(int32_t s) {
    const uint32_t u = uint32_t(s);
    const uint32_t magnitude = s < 0 ? 0u - u : u;
    return HRESULT((u & 0x80040000u) | (magnitude + 0x1FFu) | 0x40000u);
}

// The same rule with 0x2FF: kernel statuses land next to the codec ones without overlapping.
constexpr HRESULT HResultFromKernelStatus(int32_t s) {
    const uint32_t u = uint32_t(s);
    const uint32_t magnitude = s < 0 ? 0u - u : u;
    return HRESULT((u & 0x80040000u) | (magnitude + 0x2FFu) | 0x40000u);
}

// A positive system error e becomes 0x8007xxxx (HRESULT_FROM_WIN32); 0 and below pass unchanged.
constexpr HRESULT HResultFromSystemError(int32_t e) {
    return e > 0 ? HRESULT((uint32_t(e) & 0xFFFFu) | 0x80070000u) : HRESULT(e);
}

}  // namespace qm
