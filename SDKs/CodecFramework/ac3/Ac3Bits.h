// Most-significant-bit-first reader over one sync frame.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace UMC {
namespace ac3 {

// Reads past the end give zero bits and are remembered in the position, so a parser tests
// Overrun() once after a run of reads instead of checking every field.
struct BitReader {
    const uint8_t* data = nullptr;
    size_t size = 0;  // bytes
    size_t pos = 0;   // bits

    void Set(const uint8_t* d, size_t n) {
        data = d;
        size = n;
        pos = 0;
    }
    bool Overrun() const { return pos > size * 8; }

    // Up to 24 bits.
    uint32_t Get(int n) {
        if (n == 0) return 0;
        const size_t byte = pos >> 3;
        uint32_t v;
        if (byte + 8 <= size) {
            uint64_t w;
            std::memcpy(&w, data + byte, 8);
            if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
            v = uint32_t((w << (pos & 7)) >> (64 - n));
        } else {
            uint32_t w = 0;
            for (size_t i = 0; i < 4; ++i) w = (w << 8) | (byte + i < size ? data[byte + i] : 0u);
            v = (w << (pos & 7)) >> (32 - n);
        }
        pos += size_t(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }
    void Skip(size_t bits) { pos += bits; }
};

}  // namespace ac3
}  // namespace UMC
