// Bit reader and start-code searches over the current input buffer of the MPEG-4 decoder. Reads
// never touch a byte outside [start, start + length): missing bytes read as zero. The coefficient
// kernels read the raw position instead and rely on kMpeg4InputPadding zero bytes after the data,
// so a buffer handed to the VOP decoders must carry that padding (Mpeg4PaddedInput does).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "primitives/ByteOrder.h"
#include "primitives/MPEG4Coding.h"

namespace UMC {

struct Mpeg4BitReader {
    uint8_t* start;
    uint64_t length;
    uint8_t* ptr;       // current byte
    int32_t bitOffset;  // 0..7 from the most significant bit

    void Init(uint8_t* data, size_t size) {
        start = ptr = data;
        length = size;
        bitOffset = 0;
    }
    const uint8_t* End() const { return start + length; }
    // Bytes from the current byte to the end (0 once past it).
    size_t BytesLeft() const { return ptr < End() ? size_t(End() - ptr) : 0; }
    bool PastEnd() const { return ptr > End() || (ptr == End() && bitOffset > 0); }
    size_t Position() const { return size_t(ptr - start); }

    uint8_t ByteAt(const uint8_t* p) const { return p >= start && p < End() ? *p : 0; }
    // The next 32 bits (zeros past the end).
    uint32_t Show32() const {
        if (ptr >= start && End() - ptr >= 8)
            return uint32_t((sp::LoadBigEndian64(ptr) << bitOffset) >> 32);
        uint64_t w = 0;
        for (int i = 0; i < 5; ++i) w = (w << 8) | ByteAt(ptr + i);
        return uint32_t(w >> (8 - bitOffset));
    }
    uint32_t Show(int n) const { return n ? Show32() >> (32 - n) : 0; }
    void Skip(int n) {
        bitOffset += n;
        ptr += bitOffset >> 3;
        bitOffset &= 7;
    }
    uint32_t Get(int n) {
        const uint32_t v = Show(n);
        Skip(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }
    // n bits from the next byte boundary (the current byte when aligned), not advancing.
    uint32_t ShowAligned(int n) const {
        Mpeg4BitReader r = *this;
        r.Align();
        return r.Show(n);
    }
    void Align() {
        if (bitOffset) {
            ++ptr;
            bitOffset = 0;
        }
    }

    // Searches (Mpeg4BitReader.cpp). Found: true and the position as each says; not found: false
    // and the position at start + length - 3 (or start for 3 bytes or less).
    bool NextStartCode();                    // after aligning: stands on the value byte
    bool NextStartCodeOrShortHeader();       // value byte, or the first 00 of a marker
    bool NextShortHeaderMarker();            // 16 bits into the marker
    bool NextStartCodeWithValue(uint8_t v);  // the byte after the value
    bool NextResyncMarker(int markerBits);   // the first stuffing bit before the marker
    bool NextGobStartCode();                 // the first bit of the 17-bit code
    bool AtShortHeaderMarker() const;
    // The three bytes before the position are 00 00 01 and the byte at it lies in [lo, hi].
    bool AfterStartCodeInRange(uint8_t lo, uint8_t hi) const;
};

// A copy of coded data with the zero padding the decoding kernels need.
class Mpeg4PaddedInput {
public:
    void Assign(const uint8_t* data, size_t size) {
        // Copied, then zeros after it: every byte is written once.
        m_bytes.assign(data, data + size);
        m_bytes.resize(size + kMpeg4InputPadding, 0);
        m_size = size;
    }
    uint8_t* Data() { return m_bytes.data(); }
    size_t Size() const { return m_size; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_size = 0;
};

}  // namespace UMC
