#include "primitives/AudioCoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(_MSC_VER) && !defined(__clang__)
#include <stdlib.h>
#endif

#include "primitives/AudioCodingKernels.h"
#include "primitives/Memory.h"
#include "primitives/dispatch/Entry.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

template <class T>
T* AlignUp(uint8_t* p, uintptr_t alignment) {
    const uintptr_t a = (reinterpret_cast<uintptr_t>(p) + alignment - 1) & ~(alignment - 1);
    return reinterpret_cast<T*>(a);
}

// ---- Synthesis filter bank ----------------------------------------------------------------------

// ISO/IEC 11172-3 Table 3-B.3, D[0..256] in units of 2^-16 (every coefficient of the table is an
// exact multiple of 2^-16). The rest follows from the symmetry of the prototype filter:
// D[512 - i] = D[i] when i is a multiple of 64, else -D[i].
constexpr int32_t kWindowHalf[257] = {
    0,      -1,     -1,     -1,     -1,     -1,     -1,     -2,     -2,     -2,     -2,     -3,
    -3,     -4,     -4,     -5,     -5,     -6,     -7,     -7,     -8,     -9,     -10,    -11,
    -13,    -14,    -16,    -17,    -19,    -21,    -24,    -26,    -29,    -31,    -35,    -38,
    -41,    -45,    -49,    -53,    -58,    -63,    -68,    -73,    -79,    -85,    -91,    -97,
    -104,   -111,   -117,   -125,   -132,   -139,   -147,   -154,   -161,   -169,   -176,   -183,
    -190,   -196,   -202,   -208,   213,    218,    222,    225,    227,    228,    228,    227,
    224,    221,    215,    208,    200,    189,    177,    163,    146,    127,    106,    83,
    57,     29,     -2,     -36,    -72,    -111,   -153,   -197,   -244,   -294,   -347,   -401,
    -459,   -519,   -581,   -645,   -711,   -779,   -848,   -919,   -991,   -1064,  -1137,  -1210,
    -1283,  -1356,  -1428,  -1498,  -1567,  -1634,  -1698,  -1759,  -1817,  -1870,  -1919,  -1962,
    -2001,  -2032,  -2057,  -2075,  -2085,  -2087,  -2080,  -2063,  2037,   2000,   1952,   1893,
    1822,   1739,   1644,   1535,   1414,   1280,   1131,   970,    794,    605,    402,    185,
    -45,    -288,   -545,   -814,   -1095,  -1388,  -1692,  -2006,  -2330,  -2663,  -3004,  -3351,
    -3705,  -4063,  -4425,  -4788,  -5153,  -5517,  -5879,  -6237,  -6589,  -6935,  -7271,  -7597,
    -7910,  -8209,  -8491,  -8755,  -8998,  -9219,  -9416,  -9585,  -9727,  -9838,  -9916,  -9959,
    -9966,  -9935,  -9863,  -9750,  -9592,  -9389,  -9139,  -8840,  -8492,  -8092,  -7640,  -7134,
    6574,   5959,   5288,   4561,   3776,   2935,   2037,   1082,   70,     -998,   -2122,  -3300,
    -4533,  -5818,  -7154,  -8540,  -9975,  -11455, -12980, -14548, -16155, -17799, -19478, -21189,
    -22929, -24694, -26482, -28289, -30112, -31947, -33791, -35640, -37489, -39336, -41176, -43006,
    -44821, -46617, -48390, -50137, -51853, -53534, -55178, -56778, -58333, -59838, -61289, -62684,
    -64019, -65290, -66494, -67629, -68692, -69679, -70590, -71420, -72169, -72835, -73415, -73908,
    -74313, -74630, -74856, -74992, 75038};

struct SynthesisTables {
    float window[512];
    sp::ac::SynthesisMatrices matrix;
    float byAge[16 * 32];

    SynthesisTables() {
        for (int i = 0; i <= 256; ++i) window[i] = float(kWindowHalf[i]) / 65536.0f;
        for (int i = 257; i < 512; ++i)
            window[i] = (i % 64 == 0) ? window[512 - i] : -window[512 - i];
        for (int k = 0; k < 8; ++k)
            for (int i = 0; i < 8; ++i) {
                matrix.quarter[8 * k + i] = float(std::cos(kPi * i * (2 * k + 1) / 16.0));
                matrix.quarterOdd[8 * k + i] =
                    float(std::cos(kPi * (2 * i + 1) * (2 * k + 1) / 32.0));
            }
        for (int k = 0; k < 16; ++k)
            for (int j = 0; j < 16; ++j)
                matrix.odd[16 * k + j] = float(std::cos(kPi * (2 * j + 1) * (2 * k + 1) / 64.0));
        // The 64 matrixed values of one step are V[i] = a(16 + i) with a(32) = 0,
        // a(64 - m) = -a(m) and a(64 + m) = -a(m), so a(0..31) describe them all. The output
        // sample j collects V_t[j] * D[64p + j] for even ages t = 2p and V_t[32 + j] *
        // D[64p + 32 + j] for odd ages t = 2p + 1; sorted by the a(m) each term reads:
        //   even t: A[k] -> out[k] from a(16 + k);  B[k] -> out[32 - k] from a(16 + k), k >= 1
        //   odd t:  C[k] -> out[16 + k] from a(k); E[k] -> out[15 - k] from a(k + 1)
        for (int t = 0; t < 16; ++t) {
            float* w = byAge + 32 * t;
            const int p = t / 2;
            for (int k = 0; k < 16; ++k) {
                if (t % 2 == 0) {
                    w[k] = window[64 * p + k];
                    w[16 + k] = k == 0 ? 0.0f : -window[64 * p + 32 - k];
                } else {
                    w[k] = -window[64 * p + 48 + k];
                    w[16 + k] = -window[64 * p + 47 - k];
                }
            }
        }
    }
};

const SynthesisTables& Synthesis() {
    static const SynthesisTables tables;
    return tables;
}

void Synthesis32Plain(const float* src, float* dst, AcSynthesisState* state, int mode) {
    const SynthesisTables& tables = Synthesis();
    float* line = sp::ac::DelayLine(state);
    state->delay = line;
    const int slot = state->ring & 15;

    // The matrixing through the symmetric split (see SynthesisMatrices); the vector variants
    // perform the same operations in the same order.
    const sp::ac::SynthesisMatrices& mx = tables.matrix;
    float s[16], d[16], ss[8], sd[8];
    for (int k = 0; k < 16; ++k) {
        s[k] = src[k] + src[31 - k];
        d[k] = src[k] - src[31 - k];
    }
    for (int k = 0; k < 8; ++k) {
        ss[k] = s[k] + s[15 - k];
        sd[k] = s[k] - s[15 - k];
    }
    float q0[8] = {}, q1[8] = {}, r0[8] = {}, r1[8] = {}, o0[16] = {}, o1[16] = {};
    for (int k = 0; k < 8; k += 2)
        for (int i = 0; i < 8; ++i) {
            q0[i] += ss[k] * mx.quarter[8 * k + i];
            q1[i] += ss[k + 1] * mx.quarter[8 * k + 8 + i];
            r0[i] += sd[k] * mx.quarterOdd[8 * k + i];
            r1[i] += sd[k + 1] * mx.quarterOdd[8 * k + 8 + i];
        }
    for (int k = 0; k < 16; k += 2)
        for (int j = 0; j < 16; ++j) {
            o0[j] += d[k] * mx.odd[16 * k + j];
            o1[j] += d[k + 1] * mx.odd[16 * k + 16 + j];
        }
    float* newest = line + 32 * slot;
    for (int i = 0; i < 8; ++i) {
        newest[4 * i] = q0[i] + q1[i];
        newest[4 * i + 2] = r0[i] + r1[i];
    }
    for (int j = 0; j < 16; ++j) newest[2 * j + 1] = o0[j] + o1[j];

    float accA[16] = {}, accB[16] = {}, accC[16] = {}, accE[16] = {};
    for (int t = 0; t < 16; ++t) {
        const float* v = line + 32 * ((slot + t) & 15);
        const float* w = tables.byAge + 32 * t;
        if (t % 2 == 0) {
            for (int k = 0; k < 16; ++k) accA[k] += w[k] * v[16 + k];
            for (int k = 0; k < 16; ++k) accB[k] += w[16 + k] * v[16 + k];
        } else {
            for (int k = 0; k < 16; ++k) accC[k] += w[k] * v[k];
            for (int k = 0; k < 16; ++k) accE[k] += w[16 + k] * v[k + 1];
        }
    }
    for (int j = 0; j < 16; ++j) dst[j * mode] = accA[j] + accE[15 - j];
    for (int k = 0; k < 16; ++k) dst[(16 + k) * mode] = accC[k] + accB[(16 - k) & 15];
    state->ring = (slot - 1) & 15;
}

// ---- Inverse MDCT -------------------------------------------------------------------------------

struct MdctLayout {
    int stride = 0;   // direct form
    int fftSize = 0;  // FFT form
    int fftLog2 = 0;
    int dataBytes = 0;  // tables after the header
    int workBytes = 0;
};

bool MdctLayoutFor(int n, MdctLayout* layout) {
    if (n == 12 || n == 36) {
        const int m = n / 2;
        layout->stride = (m + 7) & ~7;
        layout->dataBytes = m * layout->stride * 4;
        layout->workBytes = layout->stride * 4;
        return true;
    }
    if (n < 32 || n > (1 << 20) || (n & (n - 1)) != 0) return false;
    layout->fftSize = n / 4;
    while ((1 << layout->fftLog2) < layout->fftSize) ++layout->fftLog2;
    const int l = layout->fftSize;
    layout->dataBytes = (2 * l + 2 * l + l) * 4 + l * 4 + 2 * l * 4 + 2 * l * 4;
    layout->workBytes = 2 * l * 4;
    return true;
}

constexpr int kMdctHeaderBytes = 32;
constexpr int kAlign = 32;

struct FftTables {
    const float* pre;
    const float* post;
    const float* twiddle;
    const int32_t* bitReverse;
};

FftTables FftTablesOf(const AcMdctSpec* spec) {
    const float* base = sp::ac::DirectMatrix(spec);
    const int l = spec->fftSize;
    FftTables t;
    t.pre = base;
    t.post = base + 2 * l;
    t.twiddle = base + 4 * l;
    t.bitReverse = reinterpret_cast<const int32_t*>(base + 5 * l);
    return t;
}

// Writes y[p] (p < M) of the DCT-IV to its two places in the N = 2M outputs.
inline void Unfold(float* dst, int m, int p, float y) {
    const int h = m / 2;
    if (p >= h) {
        dst[p - h] = y;
        dst[2 * m - 1 - p - h] = -y;
    } else {
        dst[2 * m - 1 - p - h] = -y;
        dst[2 * m + p - h] = -y;
    }
}

void InverseMdctPlain(const float* src, float* dst, const AcMdctSpec* spec, uint8_t* work) {
    const int n = spec->n, m = n / 2;
    if (spec->stride > 0) {
        // y = DCT-IV of the input by the coefficient rows, then unfolded into the N outputs.
        const int stride = spec->stride;
        const float* rows = sp::ac::DirectMatrix(spec);
        // Even and odd k in separate sums, then added (M is even): shorter dependency chains
        // for the vector variants, which reproduce this order exactly.
        float even[sp::ac::kMaxDirectStride] = {}, odd[sp::ac::kMaxDirectStride] = {};
        for (int k = 0; k < m; k += 2) {
            const float x0 = src[k], x1 = src[k + 1];
            const float* row0 = rows + k * stride;
            const float* row1 = row0 + stride;
            for (int j = 0; j < stride; ++j) {
                even[j] += x0 * row0[j];
                odd[j] += x1 * row1[j];
            }
        }
        for (int p = 0; p < m; ++p) Unfold(dst, m, p, even[p] + odd[p]);
        return;
    }
    sp::ac::InverseMdctFft(src, dst, spec, work);
}

// ---- Requantisation helpers ---------------------------------------------------------------------

using sp::ac::Pow43Table;

}  // namespace

const float* sp::ac::Pow43Table() {
    static const std::vector<float> table = [] {
        std::vector<float> t(kPow43TableSize);
        for (int i = 0; i < kPow43TableSize; ++i) t[size_t(i)] = Pow43Direct(i);
        return t;
    }();
    return table.data();
}

float sp::ac::Pow43Direct(int magnitude) {
    return float(std::pow(double(magnitude), 4.0 / 3.0));
}

namespace {

const float* Pow2QuarterTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(1024);
        for (int k = 0; k < 1024; ++k) t[size_t(k)] = float(std::exp2((k - 512) / 4.0));
        return t;
    }();
    return table.data();
}

void Pow43Plain(const int16_t* src, float* dst, int n) {
    const float* table = Pow43Table();
    for (int i = 0; i < n; ++i) {
        // The sign is copied as a bit: random signs would defeat branch prediction.
        const int x = src[i];
        const int ax = x < 0 ? -x : x;
        const float v = ax < sp::ac::kPow43TableSize ? table[ax] : sp::ac::Pow43Direct(ax);
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        bits |= uint32_t(x) & 0x80000000u;
        std::memcpy(dst + i, &bits, 4);
    }
}

void Pow2QuarterStepPlain(const int16_t* src, int offset, float* dst, int n) {
    const float* table = Pow2QuarterTable();
    for (int i = 0; i < n; ++i) dst[i] = table[(int64_t(src[i]) - offset + 512) & 1023];
}

void ScaleBandsPlain(float* lines, const float* factors, const int* bounds, int bands) {
    for (int b = 0; b < bands; ++b) {
        const float f = factors[b];
        for (int i = bounds[b]; i < bounds[b + 1]; ++i) lines[i] *= f;
    }
}

// ---- Huffman decoding ---------------------------------------------------------------------------

constexpr int32_t kHuffmanTag = 0x48554646;
constexpr int kHuffmanRootBits = 9;
constexpr int kHuffmanSubBits = 8;

struct HuffmanEntry {
    int32_t value;    // leaf: the code's value; link: index of the subtable
    uint8_t length;   // leaf: total code length
    uint8_t subBits;  // link: index bits of the subtable; 0 for a leaf
    uint16_t unused;
};

}  // namespace

struct AcHuffmanSpec {
    int32_t tag;
    int32_t rootBits;
    int32_t maxLength;
    int32_t entryCount;
    // entryCount HuffmanEntry records follow, the root table first.
};

namespace {

const HuffmanEntry* Entries(const AcHuffmanSpec* spec) {
    return reinterpret_cast<const HuffmanEntry*>(spec + 1);
}

class HuffmanBuilder {
public:
    // Checks the list and sorts it; returns 0 or the kernel status.
    SpStatus Prepare(const AcHuffmanCode* codes) {
        if (!codes) return spStsNullPtrErr;
        int count = 0;
        while (codes[count].length != 0) {
            const AcHuffmanCode& c = codes[count];
            if (c.length < 0 || c.length > 32) return spStsBadArgErr;
            if (c.length < 32 && (uint64_t(c.code) >> c.length) != 0) return spStsBadArgErr;
            if (c.value < INT16_MIN || c.value > INT16_MAX) return spStsBadArgErr;
            ++count;
            if (count > (1 << 20)) return spStsBadArgErr;
        }
        if (count == 0) return spStsSizeErr;
        try {
            m_keys.resize(size_t(count));
        } catch (const std::bad_alloc&) {
            return spStsMemAllocErr;
        }
        for (int i = 0; i < count; ++i) {
            const AcHuffmanCode& c = codes[i];
            m_keys[size_t(i)] = {uint32_t(uint64_t(c.code) << (32 - c.length)), c.length, c.value};
            m_maxLength = std::max(m_maxLength, int(c.length));
        }
        std::sort(m_keys.begin(), m_keys.end(), [](const Key& a, const Key& b) {
            return a.key != b.key ? a.key < b.key : a.length < b.length;
        });
        for (size_t i = 0; i + 1 < m_keys.size(); ++i) {
            const uint64_t end = uint64_t(m_keys[i].key) + (uint64_t(1) << (32 - m_keys[i].length));
            if (uint64_t(m_keys[i + 1].key) < end) return spStsBadArgErr;  // not a prefix code
        }
        m_rootBits = std::min(m_maxLength, kHuffmanRootBits);
        return spStsNoErr;
    }

    // Lays the tables out (into out when given); returns the number of entries.
    int Build(HuffmanEntry* out) {
        m_out = out;
        m_used = 1 << m_rootBits;
        Fill(0, m_keys.size(), 0, 0, m_rootBits);
        return m_used;
    }

    int RootBits() const { return m_rootBits; }
    int MaxLength() const { return m_maxLength; }

private:
    struct Key {
        uint32_t key;  // the code left-justified in 32 bits
        int32_t length;
        int32_t value;
    };

    static uint32_t Bits(uint32_t key, int from, int count) {
        return uint32_t((uint64_t(key) << from & 0xFFFFFFFFu) >> (32 - count));
    }

    void Fill(size_t lo, size_t hi, int consumed, int base, int bits) {
        if (m_out) {
            // Bits that start no code: value 0 with the longest length, so decoding advances.
            for (int i = 0; i < (1 << bits); ++i) m_out[base + i] = {0, uint8_t(m_maxLength), 0, 0};
        }
        size_t i = lo;
        while (i < hi) {
            const Key& k = m_keys[i];
            const uint32_t index = Bits(k.key, consumed, bits);
            if (k.length - consumed <= bits) {
                if (m_out) {
                    const int span = 1 << (bits - (k.length - consumed));
                    for (int j = 0; j < span; ++j)
                        m_out[base + int(index) + j] = {k.value, uint8_t(k.length), 0, 0};
                }
                ++i;
                continue;
            }
            // Longer codes sharing this index go to a subtable.
            size_t j = i;
            int longest = 0;
            while (j < hi && Bits(m_keys[j].key, consumed, bits) == index) {
                longest = std::max(longest, int(m_keys[j].length));
                ++j;
            }
            const int subBits = std::min(longest - consumed - bits, kHuffmanSubBits);
            const int sub = m_used;
            m_used += 1 << subBits;
            if (m_out) m_out[base + int(index)] = {sub, 0, uint8_t(subBits), 0};
            Fill(i, j, consumed + bits, sub, subBits);
            i = j;
        }
    }

    std::vector<Key> m_keys;
    int m_maxLength = 0;
    int m_rootBits = 0;
    HuffmanEntry* m_out = nullptr;
    int m_used = 0;
};

constexpr int kHuffmanAlign = 16;

// Bit reader over the caller's (pointer, offset) pair.
class BitCursor {
public:
    BitCursor(const uint8_t* p, int offset) : m_p(p), m_offset(offset & 7) {}
    // The next 57 bits, left-justified.
    uint64_t Window() const {
        uint64_t w;
        std::memcpy(&w, m_p, 8);
#if defined(_MSC_VER) && !defined(__clang__)
        w = _byteswap_uint64(w);
#else
        w = __builtin_bswap64(w);
#endif
        return w << m_offset;
    }
    void Skip(int bits) {
        m_offset += bits;
        m_p += m_offset >> 3;
        m_offset &= 7;
    }
    uint32_t Read(int bits) {
        const uint32_t v = uint32_t(Window() >> (64 - bits));
        Skip(bits);
        return v;
    }
    void Store(const uint8_t** p, int* offset) const {
        *p = m_p;
        *offset = m_offset;
    }

private:
    const uint8_t* m_p;
    int m_offset;
};

// Looks the code at the top of window up; returns its entry (a leaf).
inline const HuffmanEntry& Lookup(uint64_t window, const AcHuffmanSpec* spec) {
    const HuffmanEntry* entries = Entries(spec);
    const HuffmanEntry* e = &entries[window >> (64 - spec->rootBits)];
    int consumed = spec->rootBits;
    while (e->subBits != 0) {
        const int bits = e->subBits;
        e = &entries[e->value + int(((window << consumed) >> (64 - bits)))];
        consumed += bits;
    }
    return *e;
}

inline int32_t DecodeOne(BitCursor& bits, const AcHuffmanSpec* spec) {
    const HuffmanEntry& e = Lookup(bits.Window(), spec);
    bits.Skip(e.length);
    return e.value;
}

SpStatus CheckHuffmanArgs(const uint8_t* const* bitStream, const int* bitOffset, const void* dst,
                          const AcHuffmanSpec* spec) {
    if (!bitStream || !*bitStream || !bitOffset || !dst || !spec) return spStsNullPtrErr;
    if (spec->tag != kHuffmanTag) return spStsContextMatchErr;
    return spStsNoErr;
}

void HuffmanDecodePairsPlain(const uint8_t** bitStream, int* bitOffset, int16_t* dst, int pairs,
                             const AcHuffmanSpec* spec) {
    BitCursor bits(*bitStream, *bitOffset);
    for (int i = 0; i < pairs; ++i) dst[i] = int16_t(DecodeOne(bits, spec));
    bits.Store(bitStream, bitOffset);
}

void HuffmanDecodeQuadsPlain(const uint8_t** bitStream, int* bitOffset, int16_t* dst,
                             const AcHuffmanSpec* spec) {
    BitCursor bits(*bitStream, *bitOffset);
    *dst = int16_t(DecodeOne(bits, spec));
    bits.Store(bitStream, bitOffset);
}

inline int EscapedLine(BitCursor& bits, int magnitude, int linbits) {
    if (linbits > 0 && magnitude == 15) magnitude += int(bits.Read(linbits));
    if (magnitude != 0 && bits.Read(1)) magnitude = -magnitude;
    return magnitude;
}

// One line from the window: escape bits, then the sign; `used` counts the bits taken.
inline int EscapedLine(uint64_t window, int& used, int magnitude, int linbits) {
    if (linbits > 0 && magnitude == 15) {
        magnitude += int((window << used) >> (64 - linbits));
        used += linbits;
    }
    // Branch-free sign: signs are random, a branch on them mispredicts half the time.
    const int present = magnitude != 0;
    const int negative = int((window << used) >> 63) & present;
    used += present;
    return (magnitude ^ -negative) + negative;
}

// One pair from the top of `window` (code, escapes and signs within its valid bits); returns the
// bits used. kEscape false for the tables without linbits.
template <bool kEscape>
inline int DecodePairFromWindow(uint64_t window, const AcHuffmanSpec* spec, int linbits, int& x,
                                int& y) {
    const HuffmanEntry& e = Lookup(window, spec);
    int used = e.length;
    x = EscapedLine(window, used, (e.value >> 4) & 15, kEscape ? linbits : 0);
    y = EscapedLine(window, used, e.value & 15, kEscape ? linbits : 0);
    return used;
}

// n lines, each pair from one window load. When two of the longest pairs fit in the 57 bits of
// a window, pairs go two per load: the second one's position then needs no load that waits for
// the first one's length.
template <bool kEscape>
void DecodePairsInWindows(BitCursor& bits, const AcHuffmanSpec* spec, int16_t* dst, int n,
                          int linbits) {
    const int pairs = n / 2;
    const int longestPair = spec->maxLength + (kEscape ? 2 * linbits : 0) + 2;
    int i = 0, x, y;
    if (2 * longestPair <= 57) {
        for (; i + 2 <= pairs; i += 2) {
            const uint64_t window = bits.Window();
            const int first = DecodePairFromWindow<kEscape>(window, spec, linbits, x, y);
            dst[2 * i] = int16_t(x);
            dst[2 * i + 1] = int16_t(y);
            const int second = DecodePairFromWindow<kEscape>(window << first, spec, linbits, x, y);
            dst[2 * i + 2] = int16_t(x);
            dst[2 * i + 3] = int16_t(y);
            bits.Skip(first + second);
        }
    }
    for (; i < pairs; ++i) {
        bits.Skip(DecodePairFromWindow<kEscape>(bits.Window(), spec, linbits, x, y));
        dst[2 * i] = int16_t(x);
        dst[2 * i + 1] = int16_t(y);
    }
    if (n & 1) {
        bits.Skip(DecodePairFromWindow<kEscape>(bits.Window(), spec, linbits, x, y));
        dst[n - 1] = int16_t(x);
    }
}

void HuffmanDecodePairsEscapePlain(const uint8_t** bitStream, int* bitOffset,
                                   const AcHuffmanSpec* spec, int16_t* dst, int n, int linbits) {
    BitCursor bits(*bitStream, *bitOffset);
    // The loops are split by the escape and by whether a whole pair (code, two escapes, two
    // signs) fits in one 57-bit window, so that none tests either per pair.
    if (linbits == 0) {
        DecodePairsInWindows<false>(bits, spec, dst, n, 0);
    } else if (spec->maxLength + 2 * linbits + 2 <= 57) {
        DecodePairsInWindows<true>(bits, spec, dst, n, linbits);
    } else {
        for (int i = 0; i < n; i += 2) {
            const int32_t v = DecodeOne(bits, spec);
            const int x = EscapedLine(bits, (v >> 4) & 15, linbits);
            const int y = EscapedLine(bits, v & 15, linbits);
            dst[i] = int16_t(x);
            if (i + 1 < n) dst[i + 1] = int16_t(y);
        }
    }
    bits.Store(bitStream, bitOffset);
}

}  // namespace

// ---- Shared pieces ------------------------------------------------------------------------------

namespace sp::ac {

const float* SynthesisWindow() {
    return Synthesis().window;
}
const SynthesisMatrices& SynthesisMatrix() {
    return Synthesis().matrix;
}
const float* SynthesisWindowByAge() {
    return Synthesis().byAge;
}

void InverseMdctFft(const float* src, float* dst, const AcMdctSpec* spec, uint8_t* work) {
    // DCT-IV of length M = N/2 through a complex FFT of M/2 points: z[k] = (X[2k] + i X[M-1-2k])
    // times a pre-twiddle, FFT, post-twiddle; y[2n] = Re, y[M-1-2n] = -Im.
    const FftTables t = FftTablesOf(spec);
    const int l = spec->fftSize, m = spec->n / 2;
    float* z = AlignUp<float>(work, kAlign);
    for (int k = 0; k < l; ++k) {
        const float re = src[2 * k], im = src[m - 1 - 2 * k];
        const float wr = t.pre[2 * k], wi = t.pre[2 * k + 1];
        const int r = t.bitReverse[k];
        z[2 * r] = re * wr - im * wi;
        z[2 * r + 1] = re * wi + im * wr;
    }
    for (int size = 2; size <= l; size *= 2) {
        const int half = size / 2, step = l / size;
        for (int start = 0; start < l; start += size) {
            for (int j = 0; j < half; ++j) {
                float* a = z + 2 * (start + j);
                float* b = z + 2 * (start + j + half);
                const float wr = t.twiddle[2 * j * step], wi = t.twiddle[2 * j * step + 1];
                const float br = b[0] * wr - b[1] * wi;
                const float bi = b[0] * wi + b[1] * wr;
                b[0] = a[0] - br;
                b[1] = a[1] - bi;
                a[0] = a[0] + br;
                a[1] = a[1] + bi;
            }
        }
    }
    for (int k = 0; k < l; ++k) {
        const float zr = z[2 * k], zi = z[2 * k + 1];
        const float wr = t.post[2 * k], wi = t.post[2 * k + 1];
        const float vr = zr * wr - zi * wi;
        const float vi = zr * wi + zi * wr;
        Unfold(dst, m, 2 * k, vr);
        Unfold(dst, m, m - 1 - 2 * k, -vi);
    }
}

}  // namespace sp::ac

// ---- Tables and entries -------------------------------------------------------------------------

namespace sp::kernels {
#if SP_HAVE_X86_VARIANTS
constinit const Kernel<AcSynthesis32Fn> acSynthesis32{
    "acSynthesis32",
    Synthesis32Plain,
    {{Isa::SSE2, x86::AcSynthesis32Sse2}, {Isa::AVX2, x86::AcSynthesis32Avx2}}};
constinit const Kernel<AcInverseMdctFn> acInverseMdct{
    "acInverseMdct",
    InverseMdctPlain,
    {{Isa::SSE2, x86::AcInverseMdctSse2}, {Isa::AVX2, x86::AcInverseMdctAvx2}}};
#else
constinit const Kernel<AcSynthesis32Fn> acSynthesis32{"acSynthesis32", Synthesis32Plain};
constinit const Kernel<AcInverseMdctFn> acInverseMdct{"acInverseMdct", InverseMdctPlain};
#endif
#if SP_HAVE_X86_VARIANTS
constinit const Kernel<AcPow43Fn> acPow43{"acPow43", Pow43Plain, {{Isa::AVX2, x86::AcPow43Avx2}}};
#else
constinit const Kernel<AcPow43Fn> acPow43{"acPow43", Pow43Plain};
#endif
constinit const Kernel<AcPow2QuarterStepFn> acPow2QuarterStep{"acPow2QuarterStep",
                                                              Pow2QuarterStepPlain};
constinit const Kernel<AcScaleBandsFn> acScaleBands{"acScaleBands", ScaleBandsPlain};
constinit const Kernel<AcHuffmanDecodePairsFn> acHuffmanDecodePairs{"acHuffmanDecodePairs",
                                                                    HuffmanDecodePairsPlain};
constinit const Kernel<AcHuffmanDecodeQuadsFn> acHuffmanDecodeQuads{"acHuffmanDecodeQuads",
                                                                    HuffmanDecodeQuadsPlain};
constinit const Kernel<AcHuffmanDecodePairsEscapeFn> acHuffmanDecodePairsEscape{
    "acHuffmanDecodePairsEscape", HuffmanDecodePairsEscapePlain};
}  // namespace sp::kernels

namespace {

using sp::CallChecked;

SpStatus CheckVector(const void* src, const void* dst, int n) {
    if (!src || !dst) return spStsNullPtrErr;
    return n < 1 ? spStsSizeErr : spStsNoErr;
}

}  // namespace

SpStatus acSynthesisGetStateSize(int* size) {
    if (!size) return spStsNullPtrErr;
    *size = kAcSynthesisStateSize;
    return spStsNoErr;
}

SpStatus acSynthesisInit(AcSynthesisState** state, uint8_t* memory) {
    if (!state || !memory) return spStsNullPtrErr;
    AcSynthesisState* s = AlignUp<AcSynthesisState>(memory, 16);
    s->tag = kAcSynthesisTag;
    s->ring = 15;
    s->delay = sp::ac::DelayLine(s);
    std::memset(s->delay, 0, 512 * sizeof(float));
    *state = s;
    return spStsNoErr;
}

// The kernels' arguments are checked here; the implementations behind the entries trust them.

SpStatus acSynthesis32(const float* src, float* dst, AcSynthesisState* state, int mode) {
    SpStatus check = spStsNoErr;
    if (!src || !dst || !state)
        check = spStsNullPtrErr;
    else if (state->tag != kAcSynthesisTag)
        check = spStsContextMatchErr;
    else if (mode != 1 && mode != 2)
        check = spStsBadArgErr;
    return CallChecked(sp::kernels::acSynthesis32, check, src, dst, state, mode);
}

SpStatus acMdctGetSizes(int n, int* specSize, int* initBufferSize, int* workSize) {
    if (!specSize || !initBufferSize || !workSize) return spStsNullPtrErr;
    MdctLayout layout;
    if (!MdctLayoutFor(n, &layout)) return spStsSizeErr;
    *specSize = kMdctHeaderBytes + layout.dataBytes + kAlign - 1;
    *initBufferSize = 0;
    *workSize = layout.workBytes + kAlign - 1;
    return spStsNoErr;
}

SpStatus acMdctInit(AcMdctSpec** spec, int n, uint8_t* specMemory, uint8_t* /*initBuffer*/) {
    if (!spec || !specMemory) return spStsNullPtrErr;
    MdctLayout layout;
    if (!MdctLayoutFor(n, &layout)) return spStsSizeErr;
    AcMdctSpec* s = AlignUp<AcMdctSpec>(specMemory, kAlign);
    std::memset(s, 0, size_t(kMdctHeaderBytes + layout.dataBytes));
    s->n = n;
    s->workSize = layout.workBytes + kAlign - 1;
    s->stride = layout.stride;
    s->fftSize = layout.fftSize;
    s->fftLog2 = layout.fftLog2;
    float* data = const_cast<float*>(sp::ac::DirectMatrix(s));
    const int m = n / 2;
    const double scale = 2.0 / n;
    if (layout.stride > 0) {
        for (int k = 0; k < m; ++k)
            for (int j = 0; j < m; ++j)
                data[k * layout.stride + j] =
                    float(scale * std::cos(kPi / (4.0 * m) * (2 * j + 1) * (2 * k + 1)));
    } else {
        const int l = layout.fftSize;
        float* pre = data;
        float* post = data + 2 * l;
        float* twiddle = data + 4 * l;
        int32_t* bitReverse = reinterpret_cast<int32_t*>(data + 5 * l);
        for (int k = 0; k < l; ++k) {
            const double a = -kPi * (4 * k + 1) / (4.0 * m);
            pre[2 * k] = float(scale * std::cos(a));
            pre[2 * k + 1] = float(scale * std::sin(a));
            const double b = -kPi * k / m;
            post[2 * k] = float(std::cos(b));
            post[2 * k + 1] = float(std::sin(b));
            int r = 0;
            for (int bit = 0; bit < layout.fftLog2; ++bit)
                r |= ((k >> bit) & 1) << (layout.fftLog2 - 1 - bit);
            bitReverse[k] = r;
        }
        for (int j = 0; j < l / 2; ++j) {
            const double c = -2.0 * kPi * j / l;
            twiddle[2 * j] = float(std::cos(c));
            twiddle[2 * j + 1] = float(std::sin(c));
        }
        // The same values again in the split layouts of the vector variants.
        const sp::ac::MdctSplitTables split = sp::ac::SplitTablesOf(s);
        for (int half = 1; half < l; half *= 2) {
            float* re = split.stage + 2 * (half - 1);
            for (int j = 0; j < half; ++j) {
                re[j] = twiddle[2 * j * (l / (2 * half))];
                re[half + j] = twiddle[2 * j * (l / (2 * half)) + 1];
            }
        }
        for (int k = 0; k < l; ++k) {
            split.postRe[k] = post[2 * k];
            split.postIm[k] = post[2 * k + 1];
        }
    }
    s->tag = kAcMdctTag;
    *spec = s;
    return spStsNoErr;
}

SpStatus acInverseMdct(const float* src, float* dst, const AcMdctSpec* spec, uint8_t* work) {
    if (!src || !dst || !spec) return spStsNullPtrErr;
    if (spec->tag != kAcMdctTag) return spStsContextMatchErr;
    // The FFT form needs scratch; a caller without any gets it for this call.
    uint8_t* own = nullptr;
    if (!work && spec->stride == 0) {
        own = spAlloc8u(spec->workSize);
        if (!own) return spStsMemAllocErr;
        work = own;
    }
    sp::kernels::acInverseMdct.Current()(src, dst, spec, work);
    if (own) spFree(own);
    return spStsNoErr;
}

SpStatus acPow43(const int16_t* src, float* dst, int n) {
    return CallChecked(sp::kernels::acPow43, CheckVector(src, dst, n), src, dst, n);
}

SpStatus acPow2QuarterStep(const int16_t* src, int offset, float* dst, int n) {
    return CallChecked(sp::kernels::acPow2QuarterStep, CheckVector(src, dst, n), src, offset, dst,
                       n);
}

SpStatus acScaleBands(float* lines, const float* factors, const int* bounds, int bands) {
    SpStatus check = CheckVector(lines, factors, bands);
    if (!bounds) check = spStsNullPtrErr;
    if (check == spStsNoErr && bounds[0] < 0) check = spStsBadArgErr;
    for (int b = 0; check == spStsNoErr && b < bands; ++b)
        if (bounds[b + 1] < bounds[b]) check = spStsBadArgErr;
    return CallChecked(sp::kernels::acScaleBands, check, lines, factors, bounds, bands);
}

SpStatus acHuffmanGetSpecSize(const AcHuffmanCode* codes, int* size) {
    if (!codes || !size) return spStsNullPtrErr;
    HuffmanBuilder builder;
    if (SpStatus s = builder.Prepare(codes)) return s;
    const int entries = builder.Build(nullptr);
    *size = int(sizeof(AcHuffmanSpec)) + entries * int(sizeof(HuffmanEntry)) + kHuffmanAlign - 1;
    return spStsNoErr;
}

SpStatus acHuffmanInitSpec(const AcHuffmanCode* codes, AcHuffmanSpec** spec, uint8_t* memory) {
    if (!codes || !spec || !memory) return spStsNullPtrErr;
    HuffmanBuilder builder;
    if (SpStatus s = builder.Prepare(codes)) return s;
    AcHuffmanSpec* s = AlignUp<AcHuffmanSpec>(memory, kHuffmanAlign);
    HuffmanEntry* entries = reinterpret_cast<HuffmanEntry*>(s + 1);
    s->entryCount = builder.Build(entries);
    s->rootBits = builder.RootBits();
    s->maxLength = builder.MaxLength();
    s->tag = kHuffmanTag;
    *spec = s;
    return spStsNoErr;
}

SpStatus acHuffmanDecodePairs(const uint8_t** bitStream, int* bitOffset, int16_t* dst, int pairs,
                              const AcHuffmanSpec* spec) {
    SpStatus check = CheckHuffmanArgs(bitStream, bitOffset, dst, spec);
    if (check == spStsNoErr && pairs < 1) check = spStsSizeErr;
    return CallChecked(sp::kernels::acHuffmanDecodePairs, check, bitStream, bitOffset, dst, pairs,
                       spec);
}

SpStatus acHuffmanDecodeQuads(const uint8_t** bitStream, int* bitOffset, int16_t* dst,
                              const AcHuffmanSpec* spec) {
    return CallChecked(sp::kernels::acHuffmanDecodeQuads,
                       CheckHuffmanArgs(bitStream, bitOffset, dst, spec), bitStream, bitOffset, dst,
                       spec);
}

SpStatus acHuffmanDecodePairsEscape(const uint8_t** bitStream, int* bitOffset,
                                    const AcHuffmanSpec* spec, int16_t* dst, int n, int linbits) {
    SpStatus check = CheckHuffmanArgs(bitStream, bitOffset, dst, spec);
    if (check == spStsNoErr && n < 1) check = spStsSizeErr;
    if (check == spStsNoErr && (linbits < 0 || linbits > 13)) check = spStsBadArgErr;
    return CallChecked(sp::kernels::acHuffmanDecodePairsEscape, check, bitStream, bitOffset, spec,
                       dst, n, linbits);
}
