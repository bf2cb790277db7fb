// Big-endian loads for the bit readers: one unaligned 8-byte load, swapped on little-endian
// hosts.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#if defined(_MSC_VER) && !defined(__clang__)
#include <stdlib.h>
#endif

namespace sp {

// The 8 bytes at p as a big-endian word (the first byte in the top bits).
inline uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
#if defined(_MSC_VER) && !defined(__clang__)
        w = _byteswap_uint64(w);
#else
        w = __builtin_bswap64(w);
#endif
    }
    return w;
}

// The 4 bytes at p as a big-endian word.
inline uint32_t LoadBigEndian32(const uint8_t* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::little) {
#if defined(_MSC_VER) && !defined(__clang__)
        w = _byteswap_ulong(w);
#else
        w = __builtin_bswap32(w);
#endif
    }
    return w;
}

}  // namespace sp
