#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "primitives/AudioCoding.h"
#include "primitives/AudioCodingKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;

constexpr double kPi = 3.14159265358979323846;

// The largest error against a double-precision reference, relative to its largest value.
struct ErrorMeter {
    double error = 0, peak = 0;
    void Add(const float* got, const double* want, int n) {
        for (int i = 0; i < n; ++i) {
            error = std::max(error, std::fabs(got[i] - want[i]));
            peak = std::max(peak, std::fabs(want[i]));
        }
    }
    double Relative() const { return error / peak; }
};

// ---- Synthesis ----------------------------------------------------------------------------------

// The filter bank as the audio standard writes it, in double precision: 1024-value V, the
// 64 x 32 matrixing, the 512-value U and the window, summed per output.
class ReferenceSynthesis {
public:
    void Step(const float* s, double* out) {
        const float* d = sp::ac::SynthesisWindow();
        for (int i = 1023; i >= 64; --i) m_v[i] = m_v[i - 64];
        for (int i = 0; i < 64; ++i) {
            m_v[i] = 0;
            for (int k = 0; k < 32; ++k)
                m_v[i] += std::cos((16 + i) * (2 * k + 1) * kPi / 64) * s[k];
        }
        for (int j = 0; j < 32; ++j) {
            out[j] = 0;
            for (int i = 0; i < 16; ++i)
                out[j] += m_v[(i / 2) * 128 + (i & 1) * 96 + j] * d[j + 32 * i];
        }
    }

private:
    double m_v[1024] = {};
};

// The state in memory of exactly its documented size, from any start address.
struct SynthesisBuffer {
    std::vector<uint8_t> memory;
    AcSynthesisState* state = nullptr;
    explicit SynthesisBuffer(int offset = 0)
        : memory(size_t(kAcSynthesisStateSize + offset), 0xCD) {
        EXPECT_EQ(acSynthesisInit(&state, memory.data() + offset), 0);
    }
};

TEST(AudioCodingSynthesis, WindowIsTheStandardPrototype) {
    const float* d = sp::ac::SynthesisWindow();
    const std::pair<int, double> spots[] = {
        {0, 0.0},           {1, -0.000015259},   {64, 0.003250122},
        {128, 0.031082153}, {255, -1.144287109}, {256, 1.144989014},
        {448, 0.003250122}, {511, 0.000015259}};
    for (auto [i, value] : spots) EXPECT_NEAR(d[i], value, 5e-10) << i;
    // The unsigned prototype h[i] = D[i] * (-1)^(i / 64) is a 64-band pseudo-QMF filter: its
    // autocorrelation at multiples of 64 is 64 at lag 0 and nearly 0 elsewhere, and it is smooth
    // (third differences within the rounding of the 2^-16 grid). A mistyped value breaks either.
    double h[512];
    for (int i = 0; i < 512; ++i) h[i] = d[i] * (((i / 64) % 2) ? -1.0 : 1.0);
    for (int lag = 0; lag < 8; ++lag) {
        double sum = 0;
        for (int i = 0; i + 64 * lag < 512; ++i) sum += h[i] * h[i + 64 * lag];
        EXPECT_NEAR(sum, lag == 0 ? 64.0 : 0.0, 3e-3) << "lag " << lag;
    }
    for (int i = 0; i + 3 < 512; ++i)
        EXPECT_LE(std::fabs(h[i + 3] - 3 * h[i + 2] + 3 * h[i + 1] - h[i]) * 65536.0, 8.0) << i;
}

// Full-scale subband samples (silent, sparse and dense steps) over enough steps to fill the delay
// line many times, through a state at an odd address: a few float ULP of the largest output.
TEST(AudioCodingSynthesis, MatchesTheStandardFilterBankInDouble) {
    Rng rng(11);
    ReferenceSynthesis ref;
    SynthesisBuffer b(3);
    ErrorMeter meter;
    for (int step = 0; step < 400; ++step) {
        float in[32], out[32];
        double expect[32];
        for (int k = 0; k < 32; ++k)
            in[k] =
                step % 4 == 3 || (step % 4 == 2 && k > 4) ? 0.0f : float(rng.Real(-32768, 32768));
        ref.Step(in, expect);
        ASSERT_EQ(acSynthesis32(in, out, b.state, 1), 0);
        meter.Add(out, expect, 32);
    }
    EXPECT_LT(meter.Relative(), 1e-6);
}

TEST(AudioCodingSynthesis, AnyStartAddressStrideTwoAndMovedState) {
    for (int offset = 0; offset < 16; ++offset) {
        SynthesisBuffer s(offset);  // ASan checks the state stays inside the bytes given
        EXPECT_EQ(reinterpret_cast<uintptr_t>(s.state) % 16, 0u);
        for (int i = 0; i < 512; ++i) ASSERT_EQ(s.state->delay[i], 0.0f);
    }
    Rng rng(12);
    SynthesisBuffer a, b;
    std::vector<uint8_t> moved(size_t(kAcSynthesisStateSize) + 64);
    for (int step = 0; step < 40; ++step) {
        float in[32], out1[32], out2[64];
        rng.Fill(in, 32, -1.0f, 1.0f);
        std::fill(out2, out2 + 64, 7.0f);
        ASSERT_EQ(acSynthesis32(in, out1, a.state, 1), 0);
        ASSERT_EQ(acSynthesis32(in, out2, b.state, 2), 0);
        for (int j = 0; j < 32; ++j) {
            ASSERT_EQ(out2[2 * j], out1[j]);
            ASSERT_EQ(out2[2 * j + 1], 7.0f);
        }
        if (step == 20) {  // the owner moves its memory block: copy, rebase the state, carry on
            const ptrdiff_t offset = reinterpret_cast<uint8_t*>(b.state) - b.memory.data();
            uint8_t* dst = moved.data() + 32 - (reinterpret_cast<uintptr_t>(moved.data()) & 15);
            std::memcpy(dst, b.memory.data(), b.memory.size());
            std::memset(b.memory.data(), 0xEE, b.memory.size());
            b.state = reinterpret_cast<AcSynthesisState*>(dst + offset);
        }
    }
}

// ---- Inverse MDCT -------------------------------------------------------------------------------

struct MdctSetup {
    std::vector<uint8_t> specMemory, work;
    AcMdctSpec* spec = nullptr;
    explicit MdctSetup(int n) {
        int specSize = 0, initSize = -1, workSize = 0;
        EXPECT_EQ(acMdctGetSizes(n, &specSize, &initSize, &workSize), 0);
        EXPECT_EQ(initSize, 0);
        specMemory.resize(size_t(specSize));
        work.resize(size_t(workSize));
        EXPECT_EQ(acMdctInit(&spec, n, specMemory.data(), nullptr), 0);
    }
};

TEST(AudioCodingMdct, OnlyTheDecodersSizesAreSetUp) {
    int a = 0, b = 0, c = 0;
    for (int n : {0, -36, 6, 18, 24, 16, 48, 37, 500, 513})
        EXPECT_EQ(acMdctGetSizes(n, &a, &b, &c), -6) << n;
    AcMdctSpec* spec = nullptr;
    std::vector<uint8_t> memory(65536);
    EXPECT_EQ(acMdctInit(&spec, 24, memory.data(), nullptr), -6);
}

TEST(AudioCodingMdct, MatchesTheDefiningFormulaAlsoInPlace) {
    Rng rng(21);
    for (int n : {12, 36, 32, 64, 128, 256, 512, 1024}) {
        SCOPED_TRACE(n);
        MdctSetup s(n);
        ErrorMeter meter;
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<float> in(n / 2), out(n);
            rng.Fill(in.data(), in.size(), -32768.0f, 32768.0f);
            if (trial == 0) std::fill(in.begin(), in.end(), 0.0f), in[1] = 1000.0f;
            ASSERT_EQ(acInverseMdct(in.data(), out.data(), s.spec, s.work.data()), 0);
            std::vector<float> inPlace(in);  // without a work buffer: the same bytes
            inPlace.resize(size_t(n));
            ASSERT_EQ(acInverseMdct(inPlace.data(), inPlace.data(), s.spec, nullptr), 0);
            ASSERT_TRUE(SameBytes(out.data(), inPlace.data(), out.size() * 4));
            std::vector<double> ref(size_t(n), 0.0);
            for (int i = 0; i < n; ++i) {
                for (int k = 0; k < n / 2; ++k)
                    ref[i] +=
                        in[k] * std::cos(kPi / (2.0 * n) * (2 * i + 1 + n / 2.0) * (2 * k + 1));
                ref[i] *= 2.0 / n;
            }
            meter.Add(out.data(), ref.data(), n);
        }
        EXPECT_LT(meter.Relative(), 2e-6);
    }
}

// ---- Requantisation helpers ---------------------------------------------------------------------

TEST(AudioCodingRequantisation, Pow43IsCorrectlyRounded) {
    std::vector<int16_t> in;
    for (int v = -8300; v <= 8300; ++v) in.push_back(int16_t(v));
    for (int v : {-32768, -20000, 9000, 20000, 32767}) in.push_back(int16_t(v));
    std::vector<float> out(in.size());
    ASSERT_EQ(acPow43(in.data(), out.data(), int(in.size())), 0);
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_EQ(out[i], float((in[i] < 0 ? -1 : 1) * std::pow(std::fabs(double(in[i])), 4.0 / 3)))
            << in[i];
}

TEST(AudioCodingRequantisation, Pow2QuarterStepWrapsModulo1024) {
    // k = (x - 210 + 512) mod 1024 gives 2^((k - 512) / 4): 211 is 2^0.25, 722 wraps to k = 0.
    const int16_t in[] = {210, 211, 214, 0, -300, 1000, 721, 722, 32767, -32768};
    float out[10];
    ASSERT_EQ(acPow2QuarterStep(in, 210, out, 10), 0);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[i], float(std::exp2((((in[i] - 210 + 512) & 1023) - 512) / 4.0))) << in[i];
}

// ---- Huffman decoding ---------------------------------------------------------------------------

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i, ++m_count) {
            if (m_count % 8 == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= uint8_t(0x80 >> (m_count % 8));
        }
    }
    // The decoders may read 8 bytes past the last bit they use.
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b = m_bytes;
        b.resize(b.size() + 8, 0xA5);
        return b;
    }
    size_t BitCount() const { return m_count; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_count = 0;
};

// A complete canonical prefix code for `values`, no code longer than maxLen: from the empty
// code, a random leaf below maxLen (the first deepest one when skewed, so that codes reach
// maxLen) is split until there is one leaf per value; the lengths are shuffled over the values.
std::vector<AcHuffmanCode> RandomCode(Rng& rng, const std::vector<int32_t>& values, int maxLen,
                                      bool skewed = false) {
    std::vector<int> lengths{0};
    while (lengths.size() < values.size()) {
        std::vector<size_t> open;
        for (size_t i = 0; i < lengths.size(); ++i)
            if (lengths[i] < maxLen) open.push_back(i);
        size_t pick = open[size_t(rng.Int(0, int(open.size()) - 1))];
        if (skewed)
            pick = *std::max_element(open.begin(), open.end(),
                                     [&](size_t a, size_t b) { return lengths[a] < lengths[b]; });
        lengths.push_back(++lengths[pick]);
    }
    std::shuffle(lengths.begin(), lengths.end(), rng.Engine());
    std::vector<size_t> order(values.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return lengths[a] < lengths[b]; });
    std::vector<AcHuffmanCode> codes;
    uint64_t code = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0) code = (code + 1) << (lengths[order[i]] - lengths[order[i - 1]]);
        codes.push_back({uint32_t(code), lengths[order[i]], values[order[i]]});
    }
    codes.push_back({0, 0, 0});
    return codes;
}

struct HuffmanSetup {
    std::vector<uint8_t> memory;
    AcHuffmanSpec* spec = nullptr;
    explicit HuffmanSetup(const std::vector<AcHuffmanCode>& codes) {
        int size = 0;
        EXPECT_EQ(acHuffmanGetSpecSize(codes.data(), &size), 0);
        memory.resize(size_t(size));
        EXPECT_EQ(acHuffmanInitSpec(codes.data(), &spec, memory.data()), 0);
    }
};

// Decodes `expect.size()` values with `decode(p, offset, out)` and checks them and the bits used.
template <class Decode>
void ExpectDecoded(const BitWriter& w, int startBit, const std::vector<int16_t>& expect,
                   Decode decode) {
    const std::vector<uint8_t> bytes = w.Bytes();
    const uint8_t* p = bytes.data();
    int offset = startBit;
    std::vector<int16_t> got(expect.size() + 1, 12345);
    decode(p, offset, got.data());
    EXPECT_EQ(got.back(), 12345);  // nothing written past the values asked for
    got.pop_back();
    EXPECT_EQ(got, expect);
    EXPECT_EQ(size_t(p - bytes.data()) * 8 + size_t(offset), w.BitCount());
}

TEST(AudioCodingHuffman, PairsAndQuadsDecodeRandomCodes) {
    Rng rng(31);
    for (int maxLen : {4, 9, 12, 19, 32}) {
        SCOPED_TRACE(maxLen);
        std::vector<int32_t> values;
        const int count = maxLen == 4 ? 16 : maxLen == 9 ? 36 : 256;
        for (int i = 0; i < count; ++i) values.push_back(int32_t(i * 37 - 3000));
        const std::vector<AcHuffmanCode> codes = RandomCode(rng, values, maxLen);
        HuffmanSetup s(codes);
        BitWriter w;
        w.Put(5, 3);  // start at a bit offset
        std::vector<int16_t> expect;
        for (int i = 0; i < 500; ++i) {
            const AcHuffmanCode& c = codes[size_t(rng.Int(0, count - 1))];
            w.Put(c.code, c.length);
            expect.push_back(int16_t(c.value));
        }
        ExpectDecoded(w, 3, expect, [&](const uint8_t*& p, int& offset, int16_t* got) {
            // In chunks of pairs, with single quads in between.
            for (size_t i = 0; i < expect.size();) {
                const int chunk = std::min<int>(int(expect.size() - i), rng.Int(1, 40));
                ASSERT_EQ(chunk == 1 ? acHuffmanDecodeQuads(&p, &offset, got + i, s.spec)
                                     : acHuffmanDecodePairs(&p, &offset, got + i, chunk, s.spec),
                          0);
                i += size_t(chunk);
            }
        });
    }
}

TEST(AudioCodingHuffman, EscapeTableWithLinbitsAndSigns) {
    Rng rng(32);
    std::vector<int32_t> values;
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y) values.push_back(x << 4 | y);
    // 19 bits as in the standard's tables; 32 bits makes long pairs need more than one window.
    for (int maxLen : {19, 32})
        for (int linbits : {0, 1, 6, 13}) {
            SCOPED_TRACE(testing::Message() << "linbits " << linbits << ", codes to " << maxLen);
            const std::vector<AcHuffmanCode> codes = RandomCode(rng, values, maxLen, maxLen == 32);
            HuffmanSetup s(codes);
            BitWriter w;
            std::vector<int16_t> expect;
            const int lines = 2 * 200 + 1;  // an odd count drops its last line after reading it
            for (int i = 0; i < lines; i += 2) {
                const AcHuffmanCode& c = codes[size_t(rng.Int(0, 255))];
                w.Put(c.code, c.length);
                for (int half = 0; half < 2; ++half) {
                    int v = half == 0 ? c.value >> 4 : c.value & 15;
                    if (linbits > 0 && v == 15) {
                        const int ext = rng.Int(0, (1 << linbits) - 1);
                        w.Put(uint32_t(ext), linbits);
                        v += ext;
                    }
                    if (v != 0 && rng.Bool()) v = -v;
                    if (v != 0) w.Put(v < 0, 1);
                    if (i + half < lines) expect.push_back(int16_t(v));
                }
            }
            ExpectDecoded(w, 0, expect, [&](const uint8_t*& p, int& offset, int16_t* got) {
                ASSERT_EQ(acHuffmanDecodePairsEscape(&p, &offset, s.spec, got, lines, linbits), 0);
            });
        }
}

TEST(AudioCodingHuffman, BadListsAndIncompleteCodes) {
    int size = 0;
    const AcHuffmanCode empty[] = {{0, 0, 0}};
    EXPECT_EQ(acHuffmanGetSpecSize(empty, &size), -6);
    // Not a prefix code, a duplicate, longer than 32 bits, a code wider than its length, a value
    // beyond 16 bits.
    const AcHuffmanCode notPrefix[] = {{0b1, 1, 1}, {0b10, 2, 2}, {0, 0, 0}};
    for (const auto& bad : {std::vector<AcHuffmanCode>(std::begin(notPrefix), std::end(notPrefix)),
                            {{0b01, 2, 1}, {0b01, 2, 2}, {0, 0, 0}},
                            {{1, 33, 1}, {0, 0, 0}},
                            {{4, 2, 1}, {0, 0, 0}},
                            {{1, 1, 40000}, {0, 0, 0}}})
        EXPECT_EQ(acHuffmanGetSpecSize(bad.data(), &size), -5) << bad[0].code;
    AcHuffmanSpec* spec = nullptr;
    uint8_t memory[256];
    EXPECT_EQ(acHuffmanInitSpec(notPrefix, &spec, memory), -5);
    // Codes 1 -> 7, 01 -> 8, 0001xxxxxxxxxxx (15 bits) -> 9; "001" and "0000" start nothing and
    // decode as 0 with the longest length, 15 bits.
    HuffmanSetup s({{1, 1, 7}, {1, 2, 8}, {1 << 11 | 0x5A5, 15, 9}, {0, 0, 0}});
    BitWriter w;
    w.Put(1, 1);
    w.Put(0b001, 3);
    w.Put(0, 12);  // the rest of the 15 bits of the unknown code
    w.Put(1, 2);
    w.Put(1 << 11 | 0x5A5, 15);
    ExpectDecoded(w, 0, {7, 0, 8, 9}, [&](const uint8_t*& p, int& offset, int16_t* got) {
        ASSERT_EQ(acHuffmanDecodePairs(&p, &offset, got, 4, s.spec), 0);
    });
}

// ---- Every variant against the plain version ----------------------------------------------------

TEST(AudioCodingVariants, MatchThePlainVersionBitForBit) {
    ForEachVariant(sp::kernels::acSynthesis32, [&](auto* fn, auto* ref) {
        Rng rng(13);
        SynthesisBuffer a, b(5);
        for (int step = 0; step < 200; ++step) {
            float in[32], outRef[64] = {}, outVar[64] = {};
            rng.Fill(in, 32, -40000.0f, 40000.0f);
            if (step % 7 == 0) std::fill(in + 8, in + 32, 0.0f);
            ref(in, outRef, a.state, 1 + step % 2);
            fn(in, outVar, b.state, 1 + step % 2);
            ASSERT_TRUE(SameBytes(outRef, outVar, sizeof(outRef))) << "step " << step;
            ASSERT_EQ(a.state->ring, b.state->ring);
        }
    });
    ForEachVariant(sp::kernels::acInverseMdct, [&](auto* fn, auto* ref) {
        Rng rng(23);
        // The transposed tiles start at N = 64 with four lanes and at N = 256 with eight.
        for (int n : {12, 36, 32, 64, 128, 256, 512, 1024}) {
            MdctSetup s(n);
            for (int trial = 0; trial < 30; ++trial) {
                std::vector<float> in(n / 2), a(n), b(n);
                rng.Fill(in.data(), in.size(), -50000.0f, 50000.0f);
                std::vector<uint8_t> work(s.work.size(), 0xCD);
                ref(in.data(), a.data(), s.spec, s.work.data());
                fn(in.data(), b.data(), s.spec, work.data());
                ASSERT_TRUE(SameBytes(a.data(), b.data(), a.size() * 4)) << "N=" << n;
            }
        }
    });
    // Lengths that end inside a vector, and a value beyond the table in every position.
    std::vector<int16_t> mixed(1000);
    Rng rng(24);
    for (int16_t& v : mixed)
        v = int16_t(rng.Int(0, 9) ? rng.Int(-8206, 8206) : rng.Int(-32768, 32767));
    for (int n : {1, 7, 8, 9, 100, 1000})
        qm::test::ExpectVariantsMatch(sp::kernels::acPow43, std::vector<float>(size_t(n)),
                                      [&](auto* f, float* d) { return f(mixed.data(), d, n); });
}

}  // namespace
