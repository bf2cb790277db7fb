// Bit reader over one byte range of an MPEG-1/MPEG-2 video elementary stream. Reads never touch a
// byte outside [start, end): missing bytes read as zero, so a truncated stream ends in a VLC or
// range check instead of an out-of-bounds load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "primitives/VideoCodingKernels.h"

namespace UMC {

struct Mpeg2BitReader {
    const uint8_t* ptr = nullptr;  // current byte
    uint32_t bitOffset = 0;        // 0..7 from the most significant bit
    const uint8_t* start = nullptr;
    const uint8_t* end = nullptr;

    void Init(const uint8_t* data, size_t size) {
        start = ptr = data;
        end = data + size;
        bitOffset = 0;
    }

    // The next 32 bits, most significant first (zeros past the end).
    uint32_t Peek32() const {
        uint64_t w;
        if (end - ptr >= 8) {
            std::memcpy(&w, ptr, 8);
            w = __builtin_bswap64(w);
        } else {
            w = 0;
            for (int i = 0; i < 8; ++i) w = (w << 8) | (ptr + i < end ? ptr[i] : 0u);
        }
        return uint32_t((w << bitOffset) >> 32);
    }
    uint32_t Peek(int n) const { return n ? Peek32() >> (32 - n) : 0; }
    void Skip(int n) {
        bitOffset += uint32_t(n);
        ptr += bitOffset >> 3;
        bitOffset &= 7;
    }
    uint32_t Get(int n) {
        uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }

    // Bits read so far and bits left before the end (negative once reads went past it).
    ptrdiff_t BitsLeft() const { return (end - ptr) * 8 - ptrdiff_t(bitOffset); }
    size_t BytesLeft() const { return ptr < end ? size_t(end - ptr) : 0; }

    void AlignByte() {
        if (bitOffset) {
            ++ptr;
            bitOffset = 0;
        }
    }

    // Finds the next 00 00 01 prefix from the current position rounded up to a byte; on success the
    // reader stands on its first byte and the start code value (the byte after) is returned, else
    // the reader stands at the end and -1 is returned.
    int FindStartCode() {
        AlignByte();
        if (ptr > end) ptr = end;
        const size_t size = size_t(end - ptr);
        const size_t at = sp::kernels::findStartCode.Current()(ptr, size);
        if (at == size) {
            ptr = end;
            return -1;
        }
        ptr += at;
        return ptr[3];
    }
    // Start code value at the current byte-aligned position without moving, or -1.
    int PeekStartCode() const {
        if (bitOffset || end - ptr < 4 || ptr[0] || ptr[1] || ptr[2] != 1) return -1;
        return ptr[3];
    }
};

// A register-held window on a reader for the coefficient loops: the next bits stay left-aligned in
// a 64-bit word, refilled 32 at a time, so a symbol costs shifts instead of a load per peek. After
// Refill() at least 32 bits are valid, enough for any one coefficient code with its escape.
// Store() hands the position back to the reader.
struct Mpeg2BitCache {
    uint64_t bits = 0;  // next bits, most significant first; zeros below the valid ones
    int count = 0;      // valid bits in `bits`
    const uint8_t* next;
    const uint8_t* end;

    explicit Mpeg2BitCache(const Mpeg2BitReader& r) : next(r.ptr), end(r.end) {
        Refill();
        Skip(int(r.bitOffset));
        Refill();
    }
    void Refill() {
        if (count >= 32) return;
        uint32_t w;
        if (end - next >= 4) {
            std::memcpy(&w, next, 4);
            w = __builtin_bswap32(w);
        } else {
            w = 0;
            for (int i = 0; i < 4; ++i) w = (w << 8) | (next + i < end ? next[i] : 0u);
        }
        bits |= uint64_t(w) << (32 - count);
        count += 32;
        next += 4;
    }
    uint32_t Peek32() const { return uint32_t(bits >> 32); }
    void Skip(int n) {
        bits <<= n;
        count -= n;
    }
    uint32_t Get(int n) {
        const uint32_t v = n ? Peek32() >> (32 - n) : 0;
        Skip(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }
    ptrdiff_t BitsLeft() const { return (end - next) * 8 + count; }
    void Store(Mpeg2BitReader& r) const {
        r.ptr = next - (count + 7) / 8;
        r.bitOffset = uint32_t((8 - count % 8) % 8);
    }
};

}  // namespace UMC
