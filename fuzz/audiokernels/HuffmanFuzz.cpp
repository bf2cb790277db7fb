// Builds a decoding table from a code list taken from the input (rejected lists must be
// refused with a status), then decodes the rest of the input with every Huffman kernel, keeping
// the documented read-ahead inside the buffer.
#include <cstdint>
#include <cstring>
#include <vector>

#include "primitives/AudioCoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int count = 1 + data[0] % 64;
    const int linbits = data[1] % 14;
    size_t pos = 2;
    std::vector<AcHuffmanCode> codes;
    for (int i = 0; i < count && pos + 7 <= size; ++i, pos += 7) {
        AcHuffmanCode c;
        c.length = data[pos] % 34;  // 33 is out of range, 0 ends the list early
        std::memcpy(&c.code, data + pos + 1, 4);
        if (c.length > 0 && c.length < 32) c.code &= (1u << c.length) - 1;
        int16_t v;
        std::memcpy(&v, data + pos + 5, 2);
        c.value = v;
        codes.push_back(c);
    }
    codes.push_back({0, 0, 0});
    int specSize = 0;
    if (acHuffmanGetSpecSize(codes.data(), &specSize) != 0) return 0;
    std::vector<uint8_t> memory(static_cast<size_t>(specSize));
    AcHuffmanSpec* spec = nullptr;
    if (acHuffmanInitSpec(codes.data(), &spec, memory.data()) != 0) __builtin_trap();

    // The rest is the bit stream, with 8 bytes of read-ahead padding.
    std::vector<uint8_t> stream(data + pos, data + size);
    const size_t payload = stream.size();
    stream.resize(payload + 8, 0);
    const uint8_t* p = stream.data();
    int offset = 0;
    int16_t out[4];
    // A pair with escapes and signs takes at most 32 + 2 * 13 + 2 bits: stop 8 bytes early.
    for (int round = 0; size_t(p - stream.data()) + 8 <= payload; ++round) {
        const uint8_t* before = p;
        const int beforeOffset = offset;
        SpStatus s;
        switch (round % 3) {
            case 0:
                s = acHuffmanDecodePairs(&p, &offset, out, 1, spec);
                break;
            case 1:
                s = acHuffmanDecodeQuads(&p, &offset, out, spec);
                break;
            default:
                s = acHuffmanDecodePairsEscape(&p, &offset, spec, out, 2, linbits);
                break;
        }
        if (s != 0 || offset < 0 || offset > 7) __builtin_trap();
        if (p == before && offset == beforeOffset) __builtin_trap();  // must advance
    }
    return 0;
}
