#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include "primitives/AudioCoding.h"
#include "primitives/AudioCodingKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;

constexpr double kPi = 3.14159265358979323846;

// ---- Synthesis ----------------------------------------------------------------------------------

// The filter bank exactly as ISO/IEC 11172-3 writes it, in double precision: 1024-value V, the
// 64 x 32 matrixing, the 512-value U and the window, summed per output.
class ReferenceSynthesis {
public:
    ReferenceSynthesis() : m_v(1024, 0.0) {
        const float* d = sp::ac::SynthesisWindow();
        for (int i = 0; i < 512; ++i) m_d[i] = d[i];
    }
    void Step(const float* s, double* out) {
        for (int i = 1023; i >= 64; --i) m_v[size_t(i)] = m_v[size_t(i - 64)];
        for (int i = 0; i < 64; ++i) {
            double sum = 0;
            for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * kPi / 64) * s[k];
            m_v[size_t(i)] = sum;
        }
        double u[512];
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = m_v[size_t(i * 128 + j)];
                u[i * 64 + 32 + j] = m_v[size_t(i * 128 + 96 + j)];
            }
        for (int j = 0; j < 32; ++j) {
            double sum = 0;
            for (int i = 0; i < 16; ++i) sum += u[j + 32 * i] * m_d[j + 32 * i];
            out[j] = sum;
        }
    }

private:
    std::vector<double> m_v;
    double m_d[512];
};

struct SynthesisBuffer {
    std::vector<uint8_t> memory;
    AcSynthesisState* state = nullptr;
    explicit SynthesisBuffer(int offset = 0)
        : memory(size_t(kAcSynthesisStateSize) + size_t(offset)) {
        EXPECT_EQ(acSynthesisInit(&state, memory.data() + offset), 0);
    }
};

TEST(AudioCodingSynthesis, StateSizeInitAndArgumentChecks) {
    int size = 0;
    EXPECT_EQ(acSynthesisGetStateSize(&size), 0);
    EXPECT_EQ(size, 2107);
    EXPECT_EQ(acSynthesisGetStateSize(nullptr), -8);

    // Any start address: the state is aligned inside the 2107 bytes (ASan checks the bounds).
    for (int offset = 0; offset < 16; ++offset) {
        std::vector<uint8_t> raw(2107 + 16);
        uint8_t* memory = raw.data() + offset;
        std::memset(memory, 0xCD, 2107);
        AcSynthesisState* state = nullptr;
        ASSERT_EQ(acSynthesisInit(&state, memory), 0);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(state) % 16, 0u);
        EXPECT_GE(reinterpret_cast<uint8_t*>(state), memory);
        EXPECT_EQ(state->tag, 0x434D4167u);
        EXPECT_EQ(state->ring, 15);
        ASSERT_NE(state->delay, nullptr);
        EXPECT_LE(reinterpret_cast<uint8_t*>(state->delay + 512), memory + 2107);
        for (int i = 0; i < 512; ++i) ASSERT_EQ(state->delay[i], 0.0f);
    }
    EXPECT_EQ(acSynthesisInit(nullptr, nullptr), -8);

    SynthesisBuffer b;
    float in[32] = {}, out[64] = {};
    b.state->tag ^= 1;
    EXPECT_EQ(acSynthesis32(in, out, b.state, 1), -17);
    b.state->tag ^= 1;
    EXPECT_EQ(acSynthesis32(in, out, b.state, 1), 0);
}

TEST(AudioCodingSynthesis, WindowIsTheStandardPrototype) {
    const float* d = sp::ac::SynthesisWindow();
    // Spot values of Table 3-B.3.
    EXPECT_EQ(d[0], 0.0f);
    const std::pair<int, double> spots[] = {
        {1, -0.000015259},  {64, 0.003250122},   {128, 0.031082153},
        {192, 0.100311279}, {255, -1.144287109}, {256, 1.144989014},
        {320, 0.100311279}, {448, 0.003250122},  {511, 0.000015259}};
    for (auto [i, value] : spots) EXPECT_NEAR(d[i], value, 5e-10) << i;
    // The unsigned prototype h[i] = D[i] * (-1)^(i / 64) is a 64-band pseudo-QMF filter: its
    // autocorrelation at multiples of 64 is 64 at lag 0 and nearly 0 elsewhere. A mistyped
    // coefficient breaks this.
    double h[512];
    for (int i = 0; i < 512; ++i) h[i] = d[i] * (((i / 64) % 2) ? -1.0 : 1.0);
    for (int lag = 0; lag < 8; ++lag) {
        double sum = 0;
        for (int i = 0; i + 64 * lag < 512; ++i) sum += h[i] * h[i + 64 * lag];
        EXPECT_NEAR(sum, lag == 0 ? 64.0 : 0.0, 3e-3) << "lag " << lag;
    }
    // And it is smooth: third differences stay within the rounding of the 2^-16 grid.
    for (int i = 0; i + 3 < 512; ++i) {
        const double t = (h[i + 3] - 3 * h[i + 2] + 3 * h[i + 1] - h[i]) * 65536.0;
        EXPECT_LE(std::fabs(t), 8.0) << "at " << i;
    }
}

TEST(AudioCodingSynthesis, MatchesTheStandardFilterBankInDouble) {
    // Full-scale subband samples (as the decoders feed them) over enough steps to fill the
    // delay line many times; the error stated is relative to full scale 32768.
    Rng rng(11);
    ReferenceSynthesis ref;
    SynthesisBuffer b(3);
    double maxError = 0, maxOut = 0;
    for (int step = 0; step < 400; ++step) {
        float in[32];
        // Mixed content: some steps silent, some sparse, some dense.
        const int kind = step % 4;
        for (int k = 0; k < 32; ++k)
            in[k] = kind == 3 ? 0.0f : (kind == 2 && k > 4) ? 0.0f : float(rng.Real(-32768, 32768));
        double expect[32];
        float out[32];
        ref.Step(in, expect);
        ASSERT_EQ(acSynthesis32(in, out, b.state, 1), 0);
        for (int j = 0; j < 32; ++j) {
            maxError = std::max(maxError, std::fabs(out[j] - expect[j]));
            maxOut = std::max(maxOut, std::fabs(expect[j]));
        }
    }
    std::printf(
        "[ INFO     ] synthesis: max abs error %.3g for outputs up to %.4g "
        "(relative %.2g)\n",
        maxError, maxOut, maxError / maxOut);
    // A few float ULP of the largest output; at full scale 32768 that is about 0.01 LSB, far
    // below the rounding to 16 bits.
    EXPECT_LT(maxError / maxOut, 1e-6);
}

TEST(AudioCodingSynthesis, StrideTwoAndMovedStateGiveTheSameSamples) {
    Rng rng(12);
    SynthesisBuffer a, b;
    std::vector<uint8_t> moved(size_t(kAcSynthesisStateSize) + 64);
    for (int step = 0; step < 40; ++step) {
        float in[32], out1[32], out2[64];
        rng.Fill(in, 32, -1.0f, 1.0f);
        for (float& v : out2) v = 7.0f;
        ASSERT_EQ(acSynthesis32(in, out1, a.state, 1), 0);
        ASSERT_EQ(acSynthesis32(in, out2, b.state, 2), 0);
        for (int j = 0; j < 32; ++j) {
            ASSERT_EQ(out2[2 * j], out1[j]);
            ASSERT_EQ(out2[2 * j + 1], 7.0f);
        }
        if (step == 20) {
            // The owner moves its memory block: copy, rebase the state pointer, carry on.
            const ptrdiff_t offset = reinterpret_cast<uint8_t*>(b.state) - b.memory.data();
            uint8_t* dst = moved.data() + 32 - (reinterpret_cast<uintptr_t>(moved.data()) & 15);
            std::memcpy(dst, b.memory.data(), b.memory.size());
            std::memset(b.memory.data(), 0xEE, b.memory.size());
            b.state = reinterpret_cast<AcSynthesisState*>(dst + offset);
        }
    }
}

TEST(AudioCodingSynthesis, VariantsMatchTheReferenceBitForBit) {
    ForEachVariant(sp::kernels::acSynthesis32, [&](auto* fn, auto* ref) {
        Rng rng(13);
        SynthesisBuffer a, b(5);
        for (int step = 0; step < 200; ++step) {
            float in[32], outRef[64] = {}, outVar[64] = {};
            rng.Fill(in, 32, -40000.0f, 40000.0f);
            if (step % 7 == 0) std::fill(in + 8, in + 32, 0.0f);
            const int mode = 1 + step % 2;
            ref(in, outRef, a.state, mode);
            fn(in, outVar, b.state, mode);
            ASSERT_TRUE(SameBytes(outRef, outVar, sizeof(outRef))) << "step " << step;
            ASSERT_EQ(a.state->ring, b.state->ring);
        }
    });
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

std::vector<double> ReferenceImdct(const float* x, int n) {
    std::vector<double> y(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int k = 0; k < n / 2; ++k)
            sum += x[k] * std::cos(kPi / (2.0 * n) * (2 * i + 1 + n / 2.0) * (2 * k + 1));
        y[size_t(i)] = sum * 2.0 / n;
    }
    return y;
}

TEST(AudioCodingMdct, SizesAndArgumentChecks) {
    int a = 0, b = 0, c = 0;
    for (int n : {12, 36, 32, 64, 256, 512, 1024}) EXPECT_EQ(acMdctGetSizes(n, &a, &b, &c), 0) << n;
    for (int n : {0, -36, 6, 18, 24, 16, 48, 37, 500, 513})
        EXPECT_EQ(acMdctGetSizes(n, &a, &b, &c), -6) << n;
    EXPECT_EQ(acMdctGetSizes(36, nullptr, &b, &c), -8);
    EXPECT_EQ(acMdctGetSizes(36, &a, &b, nullptr), -8);
    AcMdctSpec* spec = nullptr;
    std::vector<uint8_t> memory(65536);
    EXPECT_EQ(acMdctInit(&spec, 24, memory.data(), nullptr), -6);
    EXPECT_EQ(acMdctInit(nullptr, 36, memory.data(), nullptr), -8);
    EXPECT_EQ(acMdctInit(&spec, 36, nullptr, nullptr), -8);
}

TEST(AudioCodingMdct, MatchesTheDefiningFormulaAlsoInPlace) {
    Rng rng(21);
    for (int n : {12, 36, 32, 64, 128, 256, 512}) {
        MdctSetup s(n);
        double maxError = 0, maxOut = 0;
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<float> in(n / 2), out(n);
            rng.Fill(in.data(), in.size(), -32768.0f, 32768.0f);
            if (trial == 0) std::fill(in.begin(), in.end(), 0.0f), in[size_t(trial + 1)] = 1000.0f;
            ASSERT_EQ(acInverseMdct(in.data(), out.data(), s.spec, s.work.data()), 0);
            // In place and without a work buffer: the same bytes.
            std::vector<float> inPlace(in);
            inPlace.resize(size_t(n));
            ASSERT_EQ(acInverseMdct(inPlace.data(), inPlace.data(), s.spec, nullptr), 0);
            ASSERT_TRUE(SameBytes(out.data(), inPlace.data(), out.size() * 4)) << "N=" << n;
            const std::vector<double> ref = ReferenceImdct(in.data(), n);
            for (int i = 0; i < n; ++i) {
                maxError = std::max(maxError, std::fabs(out[size_t(i)] - ref[size_t(i)]));
                maxOut = std::max(maxOut, std::fabs(ref[size_t(i)]));
            }
        }
        std::printf(
            "[ INFO     ] IMDCT N=%d: max abs error %.3g for outputs up to %.4g "
            "(relative %.2g)\n",
            n, maxError, maxOut, maxError / maxOut);
        EXPECT_LT(maxError / maxOut, 2e-6) << "N=" << n;
    }
}

TEST(AudioCodingMdct, VariantsMatchTheReferenceBitForBit) {
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
}

// ---- Requantisation helpers ---------------------------------------------------------------------

TEST(AudioCodingRequantisation, Pow43) {
    std::vector<int16_t> in;
    for (int v = -8300; v <= 8300; ++v) in.push_back(int16_t(v));
    for (int v : {-32768, -20000, 9000, 20000, 32767}) in.push_back(int16_t(v));
    std::vector<float> out(in.size());
    ASSERT_EQ(acPow43(in.data(), out.data(), int(in.size())), 0);
    for (size_t i = 0; i < in.size(); ++i) {
        const double x = in[i];
        const double expect = (x < 0 ? -1 : 1) * std::pow(std::fabs(x), 4.0 / 3.0);
        ASSERT_EQ(out[i], float(expect)) << "x=" << x;  // correctly rounded from double
    }
    ForEachVariant(sp::kernels::acPow43, [&](auto* fn, auto* ref) {
        // Lengths that end inside a vector, and a value beyond the table in every position.
        std::vector<int16_t> mixed(64, -3);
        for (size_t pos = 0; pos < mixed.size(); pos += 9) mixed[pos] = pos % 2 ? 9000 : -9000;
        for (auto [src, n] : {std::pair{in.data() + in.size() - 1, 1},
                              {in.data() + in.size() - 7, 7},
                              {in.data() + in.size() - 8, 8},
                              {in.data() + in.size() - 9, 9},
                              {in.data() + in.size() - 100, 100},
                              {in.data(), int(in.size())},
                              {mixed.data(), 64}}) {
            std::vector<float> a(n), b(n);
            fn(src, a.data(), n);
            ref(src, b.data(), n);
            EXPECT_TRUE(SameBytes(a.data(), b.data(), a.size() * 4)) << n;
        }
    });
}

TEST(AudioCodingRequantisation, Pow2QuarterStepWrapsModulo1024) {
    const int16_t in[] = {210, 211, 214, 0, -300, 1000, 721, 722, 32767, -32768};
    float out[10];
    ASSERT_EQ(acPow2QuarterStep(in, 210, out, 10), 0);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], float(std::exp2(0.25)));
    EXPECT_EQ(out[2], 2.0f);
    EXPECT_EQ(out[3], float(std::exp2(-210 / 4.0)));
    EXPECT_EQ(out[4], float(std::exp2(-510 / 4.0)));  // smallest: k = 2
    // 1000 - 210 = 790 wraps: k = (790 + 512) mod 1024 = 278, 2^((278 - 512) / 4).
    EXPECT_EQ(out[5], float(std::exp2((278 - 512) / 4.0)));
    EXPECT_EQ(out[6], float(std::exp2(511 / 4.0)));   // k = 1023, the largest
    EXPECT_EQ(out[7], float(std::exp2(-512 / 4.0)));  // k wraps to 0
    for (int i = 8; i < 10; ++i) {
        const int k = int((int64_t(in[i]) - 210 + 512) & 1023);
        EXPECT_EQ(out[i], float(std::exp2((k - 512) / 4.0)));
    }
}

TEST(AudioCodingRequantisation, ScaleBands) {
    float lines[12];
    for (int i = 0; i < 12; ++i) lines[i] = float(i + 1);
    const float factors[] = {2.0f, 0.5f, -1.0f, 10.0f};
    const int bounds[] = {1, 4, 4, 9, 10};
    ASSERT_EQ(acScaleBands(lines, factors, bounds, 4), 0);
    const float expect[] = {1, 4, 6, 8, -5, -6, -7, -8, -9, 100, 11, 12};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(lines[i], expect[i]) << i;
}

// ---- Huffman decoding ---------------------------------------------------------------------------

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_bit == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= uint8_t(0x80 >> m_bit);
            m_bit = (m_bit + 1) & 7;
            ++m_count;
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
    int m_bit = 0;
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
        const int length = ++lengths[pick];
        lengths.push_back(length);
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

TEST(AudioCodingHuffman, PairsAndQuadsDecodeRandomCodes) {
    Rng rng(31);
    for (int maxLen : {4, 9, 12, 19, 32}) {
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
        const size_t endBit = w.BitCount();
        const std::vector<uint8_t> bytes = w.Bytes();
        const uint8_t* p = bytes.data();
        int offset = 3;
        std::vector<int16_t> got(expect.size());
        // In chunks of pairs, with single quads in between.
        size_t i = 0;
        while (i < expect.size()) {
            const int chunk = std::min<int>(int(expect.size() - i), rng.Int(1, 40));
            if (chunk == 1)
                ASSERT_EQ(acHuffmanDecodeQuads(&p, &offset, &got[i], s.spec), 0);
            else
                ASSERT_EQ(acHuffmanDecodePairs(&p, &offset, &got[i], chunk, s.spec), 0);
            i += size_t(chunk);
        }
        EXPECT_EQ(got, expect) << "maxLen " << maxLen;
        EXPECT_EQ(size_t(p - bytes.data()) * 8 + size_t(offset), endBit);
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
            const std::vector<AcHuffmanCode> codes = RandomCode(rng, values, maxLen, maxLen == 32);
            int longest = 0;
            for (const AcHuffmanCode& c : codes) longest = std::max(longest, int(c.length));
            if (maxLen == 32) {
                ASSERT_EQ(longest, 32);  // pairs that need two windows
            }
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
                    if (v != 0) {
                        const bool negative = rng.Bool();
                        w.Put(negative ? 1 : 0, 1);
                        if (negative) v = -v;
                    }
                    if (i + half < lines) expect.push_back(int16_t(v));
                }
            }
            const std::vector<uint8_t> bytes = w.Bytes();
            const uint8_t* p = bytes.data();
            int offset = 0;
            std::vector<int16_t> got(expect.size() + 1, 12345);
            ASSERT_EQ(acHuffmanDecodePairsEscape(&p, &offset, s.spec, got.data(), lines, linbits),
                      0);
            EXPECT_EQ(got.back(), 12345);  // nothing written past n lines
            got.pop_back();
            EXPECT_EQ(got, expect)
                << "linbits " << linbits << ", codes up to " << maxLen << " bits";
            EXPECT_EQ(size_t(p - bytes.data()) * 8 + size_t(offset), w.BitCount());
        }
}

TEST(AudioCodingHuffman, BadListsAndIncompleteCodes) {
    int size = 0;
    const AcHuffmanCode empty[] = {{0, 0, 0}};
    EXPECT_EQ(acHuffmanGetSpecSize(empty, &size), -6);
    const AcHuffmanCode notPrefix[] = {{0b1, 1, 1}, {0b10, 2, 2}, {0, 0, 0}};
    // Not a prefix code, a duplicate, longer than 32 bits, a code wider than its length, a value
    // beyond 16 bits.
    for (const auto& bad : {std::vector<AcHuffmanCode>(std::begin(notPrefix), std::end(notPrefix)),
                            {{0b01, 2, 1}, {0b01, 2, 2}, {0, 0, 0}},
                            {{1, 33, 1}, {0, 0, 0}},
                            {{4, 2, 1}, {0, 0, 0}},
                            {{1, 1, 40000}, {0, 0, 0}}})
        EXPECT_EQ(acHuffmanGetSpecSize(bad.data(), &size), -5) << bad[0].code;
    EXPECT_EQ(acHuffmanGetSpecSize(nullptr, &size), -8);
    EXPECT_EQ(acHuffmanGetSpecSize(empty, nullptr), -8);
    AcHuffmanSpec* spec = nullptr;
    uint8_t memory[256];
    EXPECT_EQ(acHuffmanInitSpec(notPrefix, &spec, memory), -5);
    EXPECT_EQ(acHuffmanInitSpec(empty, &spec, nullptr), -8);

    // Codes 1 -> 7, 01 -> 8, 0001xxxxxxxxxxx (15 bits) -> 9; "001" and "0000" start nothing and
    // decode as 0 with the longest length, 15 bits.
    const AcHuffmanCode partial[] = {{1, 1, 7}, {1, 2, 8}, {1 << 11 | 0x5A5, 15, 9}, {0, 0, 0}};
    HuffmanSetup s(std::vector<AcHuffmanCode>(std::begin(partial), std::end(partial)));
    BitWriter w;
    w.Put(1, 1);
    w.Put(0b001, 3);
    w.Put(0, 12);  // the rest of the 15 bits of the unknown code
    w.Put(1, 2);
    w.Put(1 << 11 | 0x5A5, 15);
    const std::vector<uint8_t> bytes = w.Bytes();
    const uint8_t* p = bytes.data();
    int offset = 0;
    int16_t out[4];
    ASSERT_EQ(acHuffmanDecodePairs(&p, &offset, out, 4, s.spec), 0);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 8);
    EXPECT_EQ(out[3], 9);
    EXPECT_EQ(size_t(p - bytes.data()) * 8 + size_t(offset), w.BitCount());

    // A refused call leaves the bit position where it was.
    const uint8_t* before = p;
    *reinterpret_cast<int32_t*>(s.spec) ^= 1;  // the layout is private; the tag is its first word
    EXPECT_EQ(acHuffmanDecodeQuads(&p, &offset, out, s.spec), -17);
    EXPECT_EQ(p, before);
}

}  // namespace
