#include "primitives/MPEG4Coding.h"

#include <algorithm>
#include <cstring>

#include "primitives/ByteOrder.h"
#include "primitives/MPEG4CodingKernels.h"
#include "primitives/MPEG4CodingTables.h"
#include "primitives/VideoCoding.h"

namespace {

using sp::mpeg4::TcoefEntry;
using sp::mpeg4::TcoefTable;

using sp::mpeg4::AlignedSpec;
using sp::mpeg4::kInterTag;
using sp::mpeg4::kIntraTag;
using sp::mpeg4::MaxQuant;
using sp::mpeg4::QuantSpec;

// The bit position of the coefficient decoders (see the header for the padding they rely on):
// the stream's next bits, left-justified in a 64-bit cache that always holds at least 32 of
// them (refilled 4 bytes at a time), so that a code costs a shift and a table look.
class BitPos {
public:
    BitPos(const uint8_t* p, int off)
        : m_origin(p), m_next(p + 8), m_cache(sp::LoadBigEndian64(p) << off), m_count(64 - off) {}

    uint32_t Show32() const { return uint32_t(m_cache >> 32); }
    uint32_t Show(int n) const { return Show32() >> (32 - n); }
    // n <= 32.
    void Skip(int n) {
        m_cache <<= n;
        m_count -= n;
        if (m_count < 32) {
            m_cache |= uint64_t(sp::LoadBigEndian32(m_next)) << (32 - m_count);
            m_next += 4;
            m_count += 32;
        }
    }
    uint32_t Get(int n) {
        const uint32_t v = Show(n);
        Skip(n);
        return v;
    }
    // Hands the position back as a byte pointer and bit offset.
    void Store(const uint8_t** bits, int* bitOffset) const {
        const ptrdiff_t position = (m_next - m_origin) * 8 - m_count;
        *bits = m_origin + (position >> 3);
        *bitOffset = int(position & 7);
    }

private:
    const uint8_t* m_origin;
    const uint8_t* m_next;  // the byte after those in the cache
    uint64_t m_cache;
    int m_count;  // valid bits in the cache
};

int16_t Clip2048(int v) {
    return int16_t(std::clamp(v, -2048, 2047));
}

// One (last, run, level) event; false on a bit pattern that is no code.
struct Event {
    int last, run, level;
};

// A table code with its sign bit, from one look at the next 32 bits. Entries with a level always
// have a length; those without are the escape (or no code).
inline bool ReadTableCode(BitPos& b, const TcoefTable& t, Event& e) {
    const uint32_t w = b.Show32();
    const TcoefEntry x = t.lookup[w >> (32 - sp::mpeg4::kTcoefLookupBits)];
    if (x.level == 0) return false;
    const int level = int(x.level);
    e = {x.last, x.run, (w << x.bits) & 0x80000000u ? -level : level};
    b.Skip(x.bits + 1);
    return true;
}

// The three escape modes after the 7-bit escape code.
[[gnu::noinline]] bool ReadEscapeMpeg4(BitPos& b, const TcoefTable& t, Event& e) {
    if (b.Show(sp::mpeg4::kTcoefLookupBits) >> 5 != 3) return false;  // not the escape: no code
    b.Skip(7);
    if (b.Show(1) == 0) {  // mode 1: the level is offset by the largest level of the run
        b.Skip(1);
        if (!ReadTableCode(b, t, e)) return false;
        const int add = t.maxLevel[e.last][e.run];
        e.level += e.level < 0 ? -add : add;
        return true;
    }
    if (b.Show(2) == 2) {  // mode 2: the run is offset by the largest run of the level
        b.Skip(2);
        if (!ReadTableCode(b, t, e)) return false;
        const int absLevel = e.level < 0 ? -e.level : e.level;
        e.run += t.maxRun[e.last][absLevel] + 1;
        return true;
    }
    b.Skip(2);  // mode 3: fixed-length last, run, level between marker bits
    e.last = int(b.Get(1));
    e.run = int(b.Get(6));
    if (b.Get(1) != 1) return false;
    const uint32_t level = b.Get(12);
    if (b.Get(1) != 1) return false;
    e.level = int(level) - ((level & 0x800) ? 4096 : 0);
    return e.level != 0;
}

// An MPEG-4 event with the three escape modes.
inline bool ReadEventMpeg4(BitPos& b, const TcoefTable& t, Event& e) {
    return ReadTableCode(b, t, e) || ReadEscapeMpeg4(b, t, e);
}

// A short-header event: escape is last, run and an 8-bit level (0 and -128 are not codes).
inline bool ReadEventH263(BitPos& b, const TcoefTable& t, Event& e) {
    if (ReadTableCode(b, t, e)) return true;
    if (b.Show(sp::mpeg4::kTcoefLookupBits) >> 5 != 3) return false;
    b.Skip(7);
    e.last = int(b.Get(1));
    e.run = int(b.Get(6));
    e.level = int(int8_t(uint8_t(b.Get(8))));
    return e.level != 0 && e.level != -128;
}

SpStatus CheckPosition(const uint8_t** bits, const int* bitOffset) {
    if (!bits || !*bits || !bitOffset) return spStsNullPtrErr;
    if (*bitOffset < 0 || *bitOffset > 7) return vcStsBitOffsetErr;
    return spStsNoErr;
}

QuantSpec* MutableSpec(void* buffer) {
    return const_cast<QuantSpec*>(AlignedSpec(buffer));
}

SpStatus QuantMatrixInit(const uint8_t* matrix, void* buffer, int bitsPerPixel,
                         const char (&tag)[4]) {
    if (!buffer) return spStsNullPtrErr;
    if (bitsPerPixel < 4 || bitsPerPixel > 12) return vcStsRangeErr;
    if (matrix)
        for (int i = 0; i < 64; ++i)
            if (matrix[i] == 0) return vcStsQuantErr;
    QuantSpec* s = MutableSpec(buffer);
    for (int i = 0; i < 64; ++i) s->weights[i] = matrix ? matrix[i] : 16;
    s->bitsPerPixel = bitsPerPixel;
    s->matrix = matrix ? 1 : 0;
    std::memcpy(s->tag, tag, 4);
    return spStsNoErr;
}

// H.263 reconstruction of one non-zero level.
int DequantH263(int c, int quant) {
    const int add = (quant & 1) ? quant : quant - 1;
    return c > 0 ? 2 * quant * c + add : 2 * quant * c - add;
}

}  // namespace

int vcDcScaler(int quant, int chroma) {
    if (quant < 1 || quant > 31 || quant < 5) return 8;
    if (chroma) return quant < 25 ? (quant + 13) / 2 : quant - 6;
    if (quant < 9) return 2 * quant;
    return quant < 25 ? quant + 8 : 2 * quant - 16;
}

const uint8_t* vcScanTable(int scan) {
    switch (scan) {
        case vcScanAlternateVertical:
            return sp::mpeg4::kAlternateVertical;
        case vcScanAlternateHorizontal:
            return sp::mpeg4::kAlternateHorizontal;
        default:
            return sp::mpeg4::kZigzag;
    }
}

SpStatus vcQuantMatrixInitIntra(const uint8_t* matrix, void* buffer, int bitsPerPixel) {
    return QuantMatrixInit(matrix, buffer, bitsPerPixel, kIntraTag);
}
SpStatus vcQuantMatrixInitInter(const uint8_t* matrix, void* buffer, int bitsPerPixel) {
    return QuantMatrixInit(matrix, buffer, bitsPerPixel, kInterTag);
}
SpStatus vcQuantMatrixSpecSize(int* size) {
    if (!size) return spStsNullPtrErr;
    *size = kVcQuantMatrixSpecSize;
    return spStsNoErr;
}
SpStatus vcDecoderStateSize(int* size) {
    if (!size) return spStsNullPtrErr;
    *size = 384;
    return spStsNoErr;
}

SpStatus vcDecodeIntraDcMpeg4(const uint8_t** bits, int* bitOffset, int16_t* dc, int chroma) {
    if (const SpStatus st = CheckPosition(bits, bitOffset); st != spStsNoErr) return st;
    if (!dc) return spStsNullPtrErr;
    BitPos b(*bits, *bitOffset);
    const uint8_t code = sp::mpeg4::DcSizeLookup(chroma)[b.Show(sp::mpeg4::kDcSizeLookupBits)];
    if (code == 0) return vcStsVlcErr;
    b.Skip(code >> 4);
    const int size = code & 15;
    int value = 0;
    if (size > 0) {
        const int v = int(b.Get(size));
        value = (v >> (size - 1)) ? v : v - (1 << size) + 1;
        if (size > 8 && b.Get(1) != 1) return vcStsVlcErr;
    }
    *dc = int16_t(value);
    b.Store(bits, bitOffset);
    return spStsNoErr;
}

namespace {

SpStatus DecodeIntraCoefsPlain(const uint8_t** bits, int* bitOffset, int16_t* block, int* lastIndex,
                               int reversible, int dcRead, int scan) {
    const int16_t dc = block[0];
    std::memset(block, 0, 64 * sizeof(int16_t));
    if (dcRead) block[0] = dc;
    // Reversible codes are not decoded: the caller conceals the packet.
    if (reversible) return vcStsVlcErr;
    const uint8_t* order = vcScanTable(scan);
    const TcoefTable& t = sp::mpeg4::IntraTcoef();
    BitPos b(*bits, *bitOffset);
    int i = dcRead ? 1 : 0;
    int last = dcRead ? 0 : -1;
    for (;;) {
        Event e;
        if (!ReadEventMpeg4(b, t, e)) return vcStsVlcErr;
        i += e.run;
        if (i > 63) return vcStsVlcErr;
        block[order[i]] = Clip2048(e.level);
        last = i++;
        if (e.last) break;
        if (i > 63) return vcStsVlcErr;
    }
    *lastIndex = last;
    b.Store(bits, bitOffset);
    return spStsNoErr;
}

// Inter events dequantised as they are placed; *last: the scan index of the last one.
template <bool Matrix>
SpStatus DecodeInterEvents(BitPos& b, int16_t* block, const uint8_t* order, const QuantSpec* s,
                           int quant, int& last) {
    const TcoefTable& t = sp::mpeg4::InterTcoef();
    const int add = (quant & 1) ? quant : quant - 1;
    int i = 0, sum = 0;
    for (;;) {
        Event e;
        if (!ReadEventMpeg4(b, t, e)) return vcStsVlcErr;
        i += e.run;
        if (i > 63) return vcStsVlcErr;
        const int pos = order[i];
        const int c = std::clamp(e.level, -2048, 2047);
        int f;
        if constexpr (Matrix) {
            const int p = (2 * c + (c > 0 ? 1 : -1)) * s->weights[pos] * quant;
            f = p >= 0 ? p >> 4 : -((-p) >> 4);
        } else {
            f = c > 0 ? 2 * quant * c + add : 2 * quant * c - add;
        }
        block[pos] = Clip2048(f);
        if constexpr (Matrix) sum += block[pos];
        last = i++;
        if (e.last) break;
        if (i > 63) return vcStsVlcErr;
    }
    if (Matrix && (sum & 1) == 0) {
        block[63] ^= 1;
        last = 63;
    }
    return spStsNoErr;
}

SpStatus DecodeInterCoefsPlain(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                               int reversible, int scan, const QuantSpec* s, int quant) {
    std::memset(block, 0, 64 * sizeof(int16_t));
    if (reversible) return vcStsVlcErr;
    const uint8_t* order = vcScanTable(scan);
    BitPos b(*bits, *bitOffset);
    int last = 0;
    const SpStatus st = s->matrix ? DecodeInterEvents<true>(b, block, order, s, quant, last)
                                  : DecodeInterEvents<false>(b, block, order, s, quant, last);
    if (st != spStsNoErr) return st;
    *count = last;
    b.Store(bits, bitOffset);
    return spStsNoErr;
}

SpStatus DecodeH263Events(BitPos& b, int16_t* block, int first, int quant, int& last) {
    const TcoefTable& t = sp::mpeg4::InterTcoef();
    int i = first;
    for (;;) {
        Event e;
        if (!ReadEventH263(b, t, e)) return vcStsVlcErr;
        i += e.run;
        if (i > 63) return vcStsVlcErr;
        const int pos = sp::mpeg4::kZigzag[i];
        block[pos] = Clip2048(DequantH263(e.level, quant));
        last = i++;
        if (e.last) return spStsNoErr;
        if (i > 63) return vcStsVlcErr;
    }
}

SpStatus DecodeIntraBlockH263Plain(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                   int coded, int quant) {
    BitPos b(*bits, *bitOffset);
    const int dc = int(b.Get(8));
    if (dc == 0 || dc == 128) return vcStsIntraDcErr;
    std::memset(block, 0, 64 * sizeof(int16_t));
    block[0] = int16_t((dc == 255 ? 128 : dc) * 8);
    int last = 0;
    if (coded)
        if (const SpStatus st = DecodeH263Events(b, block, 1, quant, last); st != spStsNoErr)
            return st;
    *count = last;
    b.Store(bits, bitOffset);
    return spStsNoErr;
}

SpStatus DecodeInterBlockH263Plain(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                   int quant) {
    std::memset(block, 0, 64 * sizeof(int16_t));
    BitPos b(*bits, *bitOffset);
    int last = 0;
    if (const SpStatus st = DecodeH263Events(b, block, 0, quant, last); st != spStsNoErr) return st;
    *count = last;
    b.Store(bits, bitOffset);
    return spStsNoErr;
}

void DequantIntraPlain(int16_t* block, int lastIndex, const QuantSpec* s, int quant, int chroma) {
    const int limit = (1 << (s->bitsPerPixel + 3)) - 1;
    const auto clip = [limit](int v) { return int16_t(std::clamp(v, -limit - 1, limit)); };
    block[0] = clip(block[0] * vcDcScaler(quant, chroma));
    if (lastIndex == 0) {
        if (s->matrix && (block[0] & 1) == 0) block[63] = 1;
        return;
    }
    if (!s->matrix) {
        for (int i = 1; i < 64; ++i)
            if (block[i]) block[i] = clip(DequantH263(block[i], quant));
        return;
    }
    int sum = block[0];
    for (int i = 1; i < 64; ++i) {
        const int p = block[i] * s->weights[i] * quant;
        block[i] = clip(p >= 0 ? p >> 3 : -((-p) >> 3));
        sum += block[i];
    }
    if ((sum & 1) == 0) block[63] ^= 1;
}

template <int N>
void AverageIntoPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep) {
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            uint8_t& d = dst[y * dstStep + x];
            d = uint8_t((d + src[y * srcStep + x] + 1) >> 1);
        }
}

}  // namespace

namespace sp::kernels {

constinit const Kernel<DecodeIntraCoefsFn> decodeIntraCoefsMpeg4{"vcDecodeIntraCoefsMpeg4",
                                                                 DecodeIntraCoefsPlain};
constinit const Kernel<DecodeInterCoefsFn> decodeInterCoefsMpeg4{"vcDecodeInterCoefsMpeg4",
                                                                 DecodeInterCoefsPlain};
constinit const Kernel<DecodeIntraBlockH263Fn> decodeIntraBlockH263{"vcDecodeIntraBlockH263",
                                                                    DecodeIntraBlockH263Plain};
constinit const Kernel<DecodeInterBlockH263Fn> decodeInterBlockH263{"vcDecodeInterBlockH263",
                                                                    DecodeInterBlockH263Plain};
constinit const Kernel<DequantIntraFn> dequantIntraMpeg4{
    "vcDequantIntraMpeg4",
    DequantIntraPlain,
    {SP_MPEG4_X86(SSE2, DequantIntraMpeg4Sse2), SP_MPEG4_X86(AVX2, DequantIntraMpeg4Avx2)}};
constinit const Kernel<AverageIntoFn> averageInto8x8{
    "vcAverageInto8x8", AverageIntoPlain<8>, {SP_MPEG4_X86(SSE2, AverageInto8x8Sse2)}};
constinit const Kernel<AverageIntoFn> averageInto16x16{
    "vcAverageInto16x16",
    AverageIntoPlain<16>,
    {SP_MPEG4_X86(SSE2, AverageInto16x16Sse2), SP_MPEG4_X86(AVX2, AverageInto16x16Avx2)}};

}  // namespace sp::kernels

namespace {

// The argument checks of the coefficient decoders: the position, then the outputs.
SpStatus CheckDecoder(const uint8_t** bits, const int* bitOffset, const int16_t* block,
                      const int* out) {
    if (const SpStatus st = CheckPosition(bits, bitOffset); st != spStsNoErr) return st;
    return block && out ? spStsNoErr : spStsNullPtrErr;
}

// A set-up with the expected tag and a quantiser in its bit depth's range, else the status.
SpStatus CheckSpec(const void* spec, const char (&tag)[4], int quant, const QuantSpec*& s) {
    if (!spec) return spStsNullPtrErr;
    s = AlignedSpec(spec);
    if (std::memcmp(s->tag, tag, 4) != 0) return spStsContextMatchErr;
    if (quant < 1 || quant > MaxQuant(s->bitsPerPixel)) return vcStsQuantErr;
    return spStsNoErr;
}

SpStatus CheckShortHeaderQuant(int quant) {
    if (quant < 1 || quant > 31) return vcStsQuantErr;
    return spStsNoErr;
}

}  // namespace

SpStatus vcDecodeIntraCoefsMpeg4(const uint8_t** bits, int* bitOffset, int16_t* block,
                                 int* lastIndex, int reversible, int dcRead, int scan) {
    if (const SpStatus st = CheckDecoder(bits, bitOffset, block, lastIndex)) return st;
    return sp::kernels::decodeIntraCoefsMpeg4.Current()(bits, bitOffset, block, lastIndex,
                                                        reversible, dcRead, scan);
}
SpStatus vcDecodeInterCoefsMpeg4(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                 int reversible, int scan, const void* spec, int quant) {
    if (const SpStatus st = CheckDecoder(bits, bitOffset, block, count)) return st;
    const QuantSpec* s = nullptr;
    if (const SpStatus st = CheckSpec(spec, kInterTag, quant, s)) return st;
    return sp::kernels::decodeInterCoefsMpeg4.Current()(bits, bitOffset, block, count, reversible,
                                                        scan, s, quant);
}
SpStatus vcDecodeIntraBlockH263(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                int coded, int quant) {
    if (const SpStatus st = CheckDecoder(bits, bitOffset, block, count)) return st;
    if (const SpStatus st = CheckShortHeaderQuant(quant)) return st;
    return sp::kernels::decodeIntraBlockH263.Current()(bits, bitOffset, block, count, coded, quant);
}
SpStatus vcDecodeInterBlockH263(const uint8_t** bits, int* bitOffset, int16_t* block, int* count,
                                int quant) {
    if (const SpStatus st = CheckDecoder(bits, bitOffset, block, count)) return st;
    if (const SpStatus st = CheckShortHeaderQuant(quant)) return st;
    return sp::kernels::decodeInterBlockH263.Current()(bits, bitOffset, block, count, quant);
}
SpStatus vcDequantIntraMpeg4(int16_t* block, int lastIndex, const void* spec, int quant,
                             int chroma) {
    if (!block) return spStsNullPtrErr;
    const QuantSpec* s = nullptr;
    if (const SpStatus st = CheckSpec(spec, kIntraTag, quant, s)) return st;
    return sp::mpeg4::Call(sp::kernels::dequantIntraMpeg4, spStsNoErr, block, lastIndex, s, quant,
                           chroma);
}
SpStatus vcAverageInto8x8(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep) {
    return sp::mpeg4::Call(sp::kernels::averageInto8x8, src && dst ? spStsNoErr : spStsNullPtrErr,
                           src, ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep));
}
SpStatus vcAverageInto16x16(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep) {
    return sp::mpeg4::Call(sp::kernels::averageInto16x16, src && dst ? spStsNoErr : spStsNullPtrErr,
                           src, ptrdiff_t(srcStep), dst, ptrdiff_t(dstStep));
}

// The reduced entry points share the transform whose result does not depend on how many
// coefficients are set; their variants are those of the video coding transforms.
SpStatus vcInverseDct8x8Full(int16_t* block) {
    return vcInverseDct8x8(block, block);
}
SpStatus vcInverseDct8x8Top2x2(int16_t* block) {
    return vcInverseDct8x8Reduced(block, block);
}
SpStatus vcInverseDct8x8Top4x4(int16_t* block) {
    return vcInverseDct8x8Reduced(block, block);
}

// The prediction and the residual addition are the video coding kernels, each dispatched.
SpStatus vcPredictAddResidual(const int16_t* residual, int residualStep, const uint8_t* ref,
                              int refStep, uint8_t* dst, int dstStep, int halfIndex, int rounding) {
    if (!residual || !ref || !dst) return spStsNullPtrErr;
    alignas(16) uint8_t prediction[64];
    if (const SpStatus st = vcPredict8x8(ref, refStep, prediction, 8, halfIndex & 3, rounding & 1))
        return st;
    if (const SpStatus st = vcAddResidual8x8(residual, residualStep, prediction, 8)) return st;
    return vcCopyBlock8x8(prediction, 8, dst, dstStep);
}

namespace {

// One line of 10 samples v0..v9 across the edge (between v4 and v5), `stride` apart.
void DeblockLine(uint8_t* v4, ptrdiff_t stride, int quant, int thr1, int thr2) {
    int v[10];
    for (int i = 0; i < 10; ++i) v[i] = v4[(i - 4) * stride];
    int flat = 0;
    for (int i = 0; i < 9; ++i) flat += std::abs(v[i] - v[i + 1]) <= thr1 ? 1 : 0;
    if (flat < thr2) {
        // Default mode: the edge pair moves towards the smallest of the three (2, -5, 5, -2)
        // activities, kept in eighths so that only the final step rounds.
        const auto activity = [&](int i) {
            return 2 * v[i] - 5 * v[i + 1] + 5 * v[i + 2] - 2 * v[i + 3];
        };
        const int a0 = activity(3);
        if (std::abs(a0) >= 8 * quant) return;
        const int smallest = std::min({std::abs(a0), std::abs(activity(1)), std::abs(activity(5))});
        const int corrected = a0 < 0 ? -smallest : smallest;
        int d = (5 * (corrected - a0) + 32) >> 6;
        const int half = (v[4] - v[5]) / 2;
        d = half >= 0 ? std::clamp(d, 0, half) : std::clamp(d, half, 0);
        v4[0] = uint8_t(v[4] - d);
        v4[stride] = uint8_t(v[5] + d);
        return;
    }
    // DC offset mode: a 9-tap low-pass over v1..v8 where the block is nearly flat.
    const int hi = *std::max_element(v + 1, v + 9), lo = *std::min_element(v + 1, v + 9);
    if (hi - lo >= 2 * quant) return;
    const int p0 = std::abs(v[1] - v[0]) < quant ? v[0] : v[1];
    const int p9 = std::abs(v[8] - v[9]) < quant ? v[9] : v[8];
    static constexpr int kTaps[9] = {1, 1, 2, 2, 4, 2, 2, 1, 1};
    for (int n = 1; n <= 8; ++n) {
        int sum = 8;
        for (int k = -4; k <= 4; ++k) {
            const int m = n + k;
            sum += kTaps[k + 4] * (m < 1 ? p0 : m > 8 ? p9 : v[m]);
        }
        v4[(n - 4) * stride] = uint8_t(sum >> 4);
    }
}

SpStatus Deblock(uint8_t* first, int step, int quant, int thr1, int thr2, bool horizontalEdge) {
    if (!first) return spStsNullPtrErr;
    if (quant < 1 || quant > 31) return vcStsQuantErr;
    const ptrdiff_t across = horizontalEdge ? step : 1;
    const ptrdiff_t along = horizontalEdge ? 1 : step;
    for (int line = 0; line < 8; ++line)
        DeblockLine(first - across + line * along, across, quant, thr1, thr2);
    return spStsNoErr;
}

}  // namespace

SpStatus vcDeblockHorizontalEdge(uint8_t* first, int step, int quant, int thr1, int thr2) {
    return Deblock(first, step, quant, thr1, thr2, true);
}
SpStatus vcDeblockVerticalEdge(uint8_t* first, int step, int quant, int thr1, int thr2) {
    return Deblock(first, step, quant, thr1, thr2, false);
}
