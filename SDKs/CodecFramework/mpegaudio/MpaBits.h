// Bit reading and the CRC-16 of MPEG audio frames.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/ByteOrder.h"

namespace UMC {
namespace mpa {

// Most-significant-bit-first reader over a byte range. Reads past the end give zero bits and
// are remembered in the position, so the caller can test Overrun() after a run of reads.
struct BitReader {
    const uint8_t* data = nullptr;
    size_t size = 0;  // bytes
    size_t pos = 0;   // bits

    void Set(const uint8_t* d, size_t n, size_t bitPos = 0) {
        data = d;
        size = n;
        pos = bitPos;
    }
    size_t BitsLeft() const { return pos < size * 8 ? size * 8 - pos : 0; }
    bool Overrun() const { return pos > size * 8; }

    // Up to 25 bits.
    uint32_t Get(int n) {
        if (n == 0) return 0;
        size_t byte = pos >> 3;
        uint32_t w;
        if (byte + 4 <= size) {
            w = (uint32_t(data[byte]) << 24) | (uint32_t(data[byte + 1]) << 16) |
                (uint32_t(data[byte + 2]) << 8) | data[byte + 3];
        } else {
            w = 0;
            for (size_t i = 0; i < 4; ++i) w = (w << 8) | (byte + i < size ? data[byte + i] : 0u);
        }
        uint32_t v = (w << (pos & 7)) >> (32 - n);
        pos += size_t(n);
        return v;
    }
    uint32_t Get1() {
        size_t byte = pos >> 3;
        uint32_t v = byte < size ? (data[byte] >> (7 - (pos & 7))) & 1u : 0u;
        ++pos;
        return v;
    }
};

// The same reading order over a 64-bit cache, for the sample loops that read a few bits at a
// time: one load refills up to 56 bits. Bits past the end read as zero; Pos() keeps counting.
class CachedBitReader {
public:
    CachedBitReader(const uint8_t* data, size_t size, size_t bitPos)
        : m_data(data), m_size(size), m_next(bitPos >> 3) {
        Refill();
        Skip(int(bitPos & 7));
    }
    size_t Pos() const { return m_next * 8 - size_t(m_bits); }
    // 1 to 32 bits.
    uint32_t Get(int n) {
        if (m_bits < n) Refill();
        const uint32_t v = uint32_t(m_cache >> (64 - n));
        m_cache <<= n;
        m_bits -= n;
        return v;
    }

    // At least 56 bits ready for Take; a full cache stays as it is.
    void Fill() { Refill(); }
    // 1 to 32 bits that a Fill made ready (the caller counts them).
    uint32_t Take(int n) {
        const uint32_t v = uint32_t(m_cache >> (64 - n));
        m_cache <<= n;
        m_bits -= n;
        return v;
    }

private:
    void Skip(int n) {
        if (n == 0) return;
        m_cache <<= n;
        m_bits -= n;
    }
    void Refill() {
        if (m_next + 8 <= m_size) {
            m_cache |= sp::LoadBigEndian64(m_data + m_next) >> m_bits;
            const int bytes = (63 - m_bits) >> 3;
            m_next += size_t(bytes);
            m_bits += 8 * bytes;
            return;
        }
        while (m_bits <= 56) {
            const uint64_t byte = m_next < m_size ? m_data[m_next] : 0u;
            m_cache |= byte << (56 - m_bits);
            ++m_next;
            m_bits += 8;
        }
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_next;  // next byte to load
    uint64_t m_cache = 0;
    int m_bits = 0;  // valid bits at the top of the cache
};

// CRC-16 with generator 0x8005, most significant bit first, over `bits` bits of data starting at
// bit offset `bitPos`.
inline uint16_t Crc16Bits(uint16_t crc, const uint8_t* data, size_t bitPos, size_t bits) {
    for (size_t i = 0; i < bits; ++i, ++bitPos) {
        uint32_t bit = (data[bitPos >> 3] >> (7 - (bitPos & 7))) & 1u;
        uint32_t top = (crc >> 15) & 1u;
        crc = uint16_t(crc << 1);
        if (top ^ bit) crc ^= 0x8005;
    }
    return crc;
}

inline uint32_t LoadBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace mpa
}  // namespace UMC
