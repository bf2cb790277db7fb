#include "SDKs/CodecFramework/mpeg4video/Mpeg4BitReader.h"

namespace UMC {

namespace {

bool IsShortHeaderAt(const uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && (p[2] & 0xFC) == 0x80;
}

}  // namespace

// Start-code searches look at bytes [i, i + 3]; they stop 3 bytes before the end.
bool Mpeg4BitReader::NextStartCode() {
    Align();
    for (uint8_t* p = ptr; p >= start && p + 3 < End(); ++p) {
        if (p[2] > 1) {
            p += 2;  // no prefix can end before p + 3
            continue;
        }
        if (p[0] == 0 && p[1] == 0 && p[2] == 1) {
            ptr = p + 3;
            return true;
        }
    }
    ptr = length > 3 ? start + length - 3 : start;
    bitOffset = 0;
    return false;
}

bool Mpeg4BitReader::NextStartCodeOrShortHeader() {
    Align();
    for (uint8_t* p = ptr; p >= start && p + 3 < End(); ++p) {
        if (p[0] != 0 || p[1] != 0) continue;
        if (p[2] == 1) {
            ptr = p + 3;
            return true;
        }
        if (IsShortHeaderAt(p)) {
            ptr = p;
            return true;
        }
    }
    ptr = length > 3 ? start + length - 3 : start;
    bitOffset = 0;
    return false;
}

bool Mpeg4BitReader::NextShortHeaderMarker() {
    Align();
    for (uint8_t* p = ptr; p >= start && p + 3 < End(); ++p) {
        if (IsShortHeaderAt(p)) {
            ptr = p + 2;
            return true;
        }
    }
    ptr = length > 3 ? start + length - 3 : start;
    bitOffset = 0;
    return false;
}

bool Mpeg4BitReader::NextStartCodeWithValue(uint8_t v) {
    while (NextStartCode()) {
        const uint8_t value = *ptr;
        ++ptr;
        if (value == v) return true;
    }
    return false;
}

bool Mpeg4BitReader::AtShortHeaderMarker() const {
    return ptr >= start && ptr + 3 <= End() && IsShortHeaderAt(ptr);
}

bool Mpeg4BitReader::AfterStartCodeInRange(uint8_t lo, uint8_t hi) const {
    if (ptr - start < 3 || ptr >= End()) return false;
    return ptr[-3] == 0 && ptr[-2] == 0 && ptr[-1] == 1 && *ptr >= lo && *ptr <= hi;
}

bool Mpeg4BitReader::NextResyncMarker(int markerBits) {
    bitOffset = 0;
    if (ptr < start) ptr = start;
    const uint32_t expect = 1u << (32 - markerBits);
    const uint32_t mask = ~0u << (32 - markerBits);
    for (uint8_t* p = ptr; p + 2 < End(); ++p) {
        if (*p != 0) continue;
        if (p + 2 < End() && p[1] == 0 && p[2] == 1) return false;  // a start code comes first
        const uint32_t w = (uint32_t(p[0]) << 24) | (uint32_t(ByteAt(p + 1)) << 16) |
                           (uint32_t(ByteAt(p + 2)) << 8) | ByteAt(p + 3);
        if ((w & mask) != expect || p == start) continue;
        uint8_t* stuffing = p - 1;
        if (*stuffing == 0xFF) *stuffing = 0x7F;
        int bit = 7;
        while (bit > 0 && ((*stuffing >> (7 - bit)) & 1)) --bit;
        ptr = stuffing;
        bitOffset = bit;
        return true;
    }
    return false;
}

bool Mpeg4BitReader::NextGobStartCode() {
    while (!PastEnd() && BytesLeft() >= 3) {
        if (Show(17) == 1) return true;
        // Jump a whole byte when the next byte cannot hold the code's 16 zeros' start.
        if (bitOffset == 0 && ByteAt(ptr) != 0 && ByteAt(ptr + 1) != 0)
            Skip(8);
        else
            Skip(1);
    }
    return false;
}

}  // namespace UMC
