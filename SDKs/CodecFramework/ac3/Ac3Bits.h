// Most-significant-bit-first reader over one sync frame.
#pragma once

#include <cstddef>
#include <cstdint>

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
        uint32_t w;
        if (byte + 4 <= size) {
            w = (uint32_t(data[byte]) << 24) | (uint32_t(data[byte + 1]) << 16) |
                (uint32_t(data[byte + 2]) << 8) | data[byte + 3];
        } else {
            w = 0;
            for (size_t i = 0; i < 4; ++i) w = (w << 8) | (byte + i < size ? data[byte + i] : 0u);
        }
        const uint32_t v = (w << (pos & 7)) >> (32 - n);
        pos += size_t(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }
    void Skip(size_t bits) { pos += bits; }
};

}  // namespace ac3
}  // namespace UMC
