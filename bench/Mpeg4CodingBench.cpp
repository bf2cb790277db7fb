// The MPEG-4 kernels, each dispatched kernel's implementations by number (0 = plain, then the
// SIMD variants), the others through their entry points: intra dequantisation (H.263 and matrix
// methods), averaging, the coefficient decoders (intra, intra DC, inter with both methods, short
// header) on streams of typical blocks, the inverse transform entry points, prediction plus
// residual, quarter-sample prediction in every form (four 8x8 blocks of one vector too), OBMC, GMC
// warping of luma and chroma, sprite brightness, deblocking and deringing.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bench/VariantPick.h"
#include "primitives/MPEG4CodingKernels.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

using qm::bench::Pick;

namespace k = sp::kernels;

constexpr int kBlocks = 256;

// range(0) = implementation, range(1) = 1 for the matrix method.
void BM_DequantIntraMpeg4(benchmark::State& state) {
    auto* fn = Pick(k::dequantIntraMpeg4, state.range(0), state);
    if (!fn) return;
    alignas(16) uint8_t spec[kVcQuantMatrixSpecSize];
    uint8_t matrix[64];
    for (int i = 0; i < 64; ++i) matrix[i] = uint8_t(8 + i / 2);
    vcQuantMatrixInitIntra(state.range(1) ? matrix : nullptr, spec, 8);
    std::mt19937 rng(3);
    std::vector<int16_t> source(size_t(kBlocks) * 64, 0);
    for (int16_t& c : source)
        if (rng() % 4 == 0) c = int16_t(int(rng() % 61) - 30);
    std::vector<int16_t> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), source.size() * sizeof(int16_t));
        for (int b = 0; b < kBlocks; ++b)
            fn(&work[size_t(b) * 64], 63, sp::mpeg4::AlignedSpec(spec), 7 + b % 8, b & 1);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}
BENCHMARK(BM_DequantIntraMpeg4)->ArgsProduct({{0, 1, 2}, {0, 1}});

void BM_AverageInto16x16(benchmark::State& state) {
    auto* fn = Pick(k::averageInto16x16, state.range(0), state);
    if (!fn) return;
    std::vector<uint8_t> src(720 * 48, 90), dst(720 * 48, 30);
    for (auto _ : state) {
        for (int x = 0; x + 16 <= 720; x += 16) fn(&src[size_t(x) + 1], 720, &dst[size_t(x)], 720);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 45);
}
BENCHMARK(BM_AverageInto16x16)->DenseRange(0, 2);

void BM_AverageInto8x8(benchmark::State& state) {
    auto* fn = Pick(k::averageInto8x8, state.range(0), state);
    if (!fn) return;
    std::vector<uint8_t> src(720 * 16, 90), dst(720 * 16, 30);
    for (auto _ : state) {
        for (int x = 0; x + 8 <= 720; x += 8) fn(&src[size_t(x) + 3], 720, &dst[size_t(x)], 720);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 90);
}
BENCHMARK(BM_AverageInto8x8)->DenseRange(0, 1);

// Blocks of a few (last 0, run 0, level 1) events ended by (last 1, run 0, level 1), the same
// codes in the intra and inter tables: "10 0" x 5 then "0111 0", 20 bits a block; with
// `intraDc`, each block starts with the luma dct_dc_size 2 and its two bits ("10 11").
std::vector<uint8_t> EventBlocks(bool intraDc) {
    std::vector<uint8_t> bits;
    uint32_t acc = 0;
    int n = 0;
    auto put = [&](uint32_t v, int len) {
        for (int i = len - 1; i >= 0; --i) {
            acc = (acc << 1) | ((v >> i) & 1);
            if (++n == 8) {
                bits.push_back(uint8_t(acc));
                acc = 0;
                n = 0;
            }
        }
    };
    for (int b = 0; b < kBlocks; ++b) {
        if (intraDc) put(0b1011, 4);
        for (int e = 0; e < 5; ++e) put(0b100, 3);
        put(0b01110, 5);
    }
    bits.resize(bits.size() + kMpeg4InputPadding + 8, 0);
    return bits;
}

// range(0): 0 intra coefficients, 1 intra DC then coefficients, 2 inter coefficients with the
// H.263 method, 3 with a matrix, 4 short-header inter blocks.
void BM_DecodeCoefficients(benchmark::State& state) {
    const int mode = int(state.range(0));
    static const char* const kLabels[] = {"intra", "intra dc+ac", "inter h263 quant",
                                          "inter matrix", "short header inter"};
    state.SetLabel(kLabels[mode]);
    const std::vector<uint8_t> bits = EventBlocks(mode == 1);
    alignas(16) uint8_t spec[kVcQuantMatrixSpecSize];
    uint8_t matrix[64];
    for (int i = 0; i < 64; ++i) matrix[i] = uint8_t(16 + i / 4);
    vcQuantMatrixInitInter(mode == 3 ? matrix : nullptr, spec, 8);
    alignas(16) int16_t block[64];
    for (auto _ : state) {
        const uint8_t* p = bits.data();
        int off = 0, count = 0;
        for (int b = 0; b < kBlocks; ++b) {
            switch (mode) {
                case 0:
                    vcDecodeIntraCoefsMpeg4(&p, &off, block, &count, 0, 1, 0);
                    break;
                case 1:
                    vcDecodeIntraDcMpeg4(&p, &off, block, 0);
                    vcDecodeIntraCoefsMpeg4(&p, &off, block, &count, 0, 1, 0);
                    break;
                case 2:
                case 3:
                    vcDecodeInterCoefsMpeg4(&p, &off, block, &count, 0, 0, spec, 9);
                    break;
                default:
                    vcDecodeInterBlockH263(&p, &off, block, &count, 9);
            }
        }
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}
BENCHMARK(BM_DecodeCoefficients)->DenseRange(0, 4);

// The inverse transform entry points on blocks with range(0) = 0 a 2x2, 1 a 4x4, 2 a full corner
// of coefficients.
void BM_InverseDct(benchmark::State& state) {
    static const char* const kLabels[] = {"top 2x2", "top 4x4", "full"};
    const int form = int(state.range(0));
    state.SetLabel(kLabels[form]);
    const int corner = form == 0 ? 2 : form == 1 ? 4 : 8;
    alignas(16) int16_t source[64] = {}, block[64];
    for (int r = 0; r < corner; ++r)
        for (int c = 0; c < corner; ++c) source[r * 8 + c] = int16_t(40 - 3 * (r + c));
    SpStatus (*const fn)(int16_t*) = form == 0   ? vcInverseDct8x8Top2x2
                                     : form == 1 ? vcInverseDct8x8Top4x4
                                                 : vcInverseDct8x8Full;
    for (auto _ : state) {
        std::memcpy(block, source, sizeof block);
        fn(block);
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_InverseDct)->DenseRange(0, 2);

// Half-sample prediction plus residual of 90 blocks, each interpolation type in turn.
void BM_PredictAddResidual(benchmark::State& state) {
    std::mt19937 rng(4);
    std::vector<uint8_t> ref(752 * 24), dst(720 * 8);
    for (uint8_t& v : ref) v = uint8_t(rng());
    alignas(16) int16_t residual[64];
    for (int16_t& r : residual) r = int16_t(int(rng() % 41) - 20);
    for (auto _ : state) {
        for (int b = 0; b < 90; ++b)
            vcPredictAddResidual(residual, 16, &ref[752 * 3 + size_t(b) * 8 + 3], 752,
                                 &dst[size_t(b) * 8], 720, b & 3, b & 4 ? 1 : 0);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 90);
}
BENCHMARK(BM_PredictAddResidual);

}  // namespace

// Quarter-sample prediction of 45 macroblocks, each of the 16 positions in turn.
// range(0) = implementation.
void BM_PredictQuarterPel16x16(benchmark::State& state) {
    auto* fn = Pick(k::predictQuarterPel16x16, state.range(0), state);
    if (!fn) return;
    std::mt19937 rng(5);
    std::vector<uint8_t> ref(752 * 40), dst(720 * 16);
    for (uint8_t& v : ref) v = uint8_t(rng());
    for (auto _ : state) {
        for (int m = 0; m < 45; ++m)
            fn(&ref[752 * 3 + size_t(m) * 16 + 3], 752, &dst[size_t(m) * 16], 720, m & 15, m & 1);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 45);
}
BENCHMARK(BM_PredictQuarterPel16x16)->DenseRange(0, 3);

void BM_PredictQuarterPelWidth8(benchmark::State& state) {
    auto* fn = Pick(k::predictQuarterPelWidth8, state.range(0), state);
    if (!fn) return;
    std::mt19937 rng(6);
    std::vector<uint8_t> ref(752 * 24), dst(720 * 8);
    for (uint8_t& v : ref) v = uint8_t(rng());
    for (auto _ : state) {
        for (int b = 0; b < 90; ++b)
            fn(&ref[752 * 3 + size_t(b) * 8 + 3], 752, &dst[size_t(b) * 8], 720, b & 15, 0, 8);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 90);
}
BENCHMARK(BM_PredictQuarterPelWidth8)->DenseRange(0, 3);

// Direct-mode macroblocks whose four vectors agree: 45 macroblocks as four 8x8 blocks, through the
// one-call kernel (range(1) 0) or four calls of the 8-wide one (range(1) 1), replacing or
// averaging (range(2)). range(0) = implementation.
void BM_PredictQuarterPelFour8x8(benchmark::State& state) {
    const bool average = state.range(2) != 0;
    std::mt19937 rng(11);
    std::vector<uint8_t> ref(752 * 40), dst(720 * 16, 100);
    for (uint8_t& v : ref) v = uint8_t(rng());
    if (state.range(1) == 0) {
        auto* fn = Pick(average ? k::predictQuarterPelAverageFour8x8 : k::predictQuarterPelFour8x8,
                        state.range(0), state);
        if (!fn) return;
        for (auto _ : state) {
            for (int m = 0; m < 45; ++m)
                fn(&ref[752 * 3 + size_t(m) * 16 + 3], 752, &dst[size_t(m) * 16], 720, m & 15, 0);
            benchmark::DoNotOptimize(dst.data());
        }
    } else {
        auto* fn = Pick(average ? k::predictQuarterPelAverageWidth8 : k::predictQuarterPelWidth8,
                        state.range(0), state);
        if (!fn) return;
        for (auto _ : state) {
            for (int m = 0; m < 45; ++m)
                for (int b = 0; b < 4; ++b) {
                    const size_t x = size_t(m) * 16 + (b & 1) * 8, y = (b >> 1) * 8;
                    fn(&ref[752 * (3 + y) + x + 3], 752, &dst[720 * y + x], 720, m & 15, 0, 8);
                }
            benchmark::DoNotOptimize(dst.data());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 45);
}
BENCHMARK(BM_PredictQuarterPelFour8x8)->ArgsProduct({{0, 1, 2, 3}, {0, 1}, {0, 1}});

// The averaging forms (B-VOPs) and the 16-wide one of field prediction (16x8, rows two apart).
// range(0) = implementation, range(1): 0 averaging 16x16, 1 averaging 8x8, 2 16x8 fields.
void BM_PredictQuarterPelOtherForms(benchmark::State& state) {
    const int form = int(state.range(1));
    std::mt19937 rng(10);
    std::vector<uint8_t> ref(752 * 40), dst(720 * 32, 100);
    for (uint8_t& v : ref) v = uint8_t(rng());
    if (form == 0) {
        auto* fn = Pick(k::predictQuarterPelAverage16x16, state.range(0), state);
        if (!fn) return;
        for (auto _ : state) {
            for (int m = 0; m < 45; ++m)
                fn(&ref[752 * 3 + size_t(m) * 16 + 3], 752, &dst[size_t(m) * 16], 720, m & 15, 0);
            benchmark::DoNotOptimize(dst.data());
        }
        state.SetItemsProcessed(int64_t(state.iterations()) * 45);
        return;
    }
    auto* fn = Pick(form == 1 ? k::predictQuarterPelAverageWidth8 : k::predictQuarterPelWidth16,
                    state.range(0), state);
    if (!fn) return;
    const int width = form == 1 ? 8 : 16, step = form == 1 ? 1 : 2;
    const int blocks = 720 / width;
    for (auto _ : state) {
        for (int b = 0; b < blocks; ++b)
            fn(&ref[752 * 3 + size_t(b) * width + 3], 752 * step, &dst[size_t(b) * width],
               720 * step, b & 15, b & 1, 8);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * blocks);
}
BENCHMARK(BM_PredictQuarterPelOtherForms)->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}});

// range(1) = 1 for quarter-sample vectors.
void BM_ObmcBlock8x8(benchmark::State& state) {
    auto* fn =
        Pick(state.range(1) ? k::obmcBlock8x8QuarterPel : k::obmcBlock8x8, state.range(0), state);
    if (!fn) return;
    std::mt19937 rng(7);
    std::vector<uint8_t> ref(752 * 64), dst(720 * 8);
    for (uint8_t& v : ref) v = uint8_t(rng());
    const VcMotionVector own{3, -5}, above{1, 2}, below{-6, 7}, left{5, 5}, right{-2, -1};
    for (auto _ : state) {
        for (int b = 0; b < 80; ++b)
            fn(&ref[752 * 24 + size_t(b) * 8 + 24], 752, &dst[size_t(b) * 8], 720, &own, &above,
               &below, &left, &right, b & 1);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 80);
}
BENCHMARK(BM_ObmcBlock8x8)->ArgsProduct({{0}, {0, 1}});

// GMC macroblocks with range(0) warping points.
void BM_WarpLuma(benchmark::State& state) {
    std::mt19937 rng(8);
    std::vector<uint8_t> ref(720 * 576);
    for (uint8_t& v : ref) v = uint8_t(rng());
    alignas(16) uint8_t spec[kVcWarpSpecSize];
    const int du[3] = {5, -9, 4}, dv[3] = {-3, 6, 11};
    const VcRect vop{0, 0, 720, 576};
    vcWarpInit(spec, du, dv, int(state.range(0)), 2, vcSpriteGmc, 2, 0, 0, &vop, &vop);
    uint8_t dst[256];
    for (auto _ : state) {
        for (int m = 0; m < 45; ++m) {
            const VcRect mb{m * 16, 256, 16, 16};
            vcWarpLuma(ref.data(), 720, dst, 16, &mb, spec);
        }
        benchmark::DoNotOptimize(dst);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 45);
}
BENCHMARK(BM_WarpLuma)->DenseRange(1, 3);

void BM_DeringBlock8x8(benchmark::State& state) {
    auto* fn = Pick(k::deringBlock8x8, state.range(0), state);
    if (!fn) return;
    std::mt19937 rng(9);
    std::vector<uint8_t> src(720 * 10), dst(720 * 8);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = uint8_t((i % 720) < 360 ? 40 : 200) + rng() % 5;
    for (auto _ : state) {
        for (int b = 0; b < 88; ++b)
            fn(&src[720 + size_t(b) * 8 + 1], 720, &dst[size_t(b) * 8], 720, 12, 120);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 88);
}
BENCHMARK(BM_DeringBlock8x8)->DenseRange(0, 0);

// GMC chroma (8x8 per macroblock) with range(0) warping points.
void BM_WarpChroma(benchmark::State& state) {
    std::mt19937 rng(11);
    std::vector<uint8_t> u(360 * 288), v(360 * 288);
    for (size_t i = 0; i < u.size(); ++i) u[i] = uint8_t(rng()), v[i] = uint8_t(rng());
    alignas(16) uint8_t spec[kVcWarpSpecSize];
    const int du[3] = {5, -9, 4}, dv[3] = {-3, 6, 11};
    const VcRect vop{0, 0, 720, 576};
    vcWarpInit(spec, du, dv, int(state.range(0)), 2, vcSpriteGmc, 2, 0, 0, &vop, &vop);
    uint8_t dstU[64], dstV[64];
    for (auto _ : state) {
        for (int m = 0; m < 45; ++m) {
            const VcRect mb{m * 8, 128, 8, 8};
            vcWarpChroma(u.data(), v.data(), 360, dstU, dstV, 8, &mb, spec);
        }
        benchmark::DoNotOptimize(dstU);
        benchmark::DoNotOptimize(dstV);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 45);
}
BENCHMARK(BM_WarpChroma)->DenseRange(1, 3);

// Brightness change of a 720x576 sprite plane.
void BM_SpriteBrightness(benchmark::State& state) {
    std::vector<uint8_t> plane(720 * 576, 120);
    int factor = 30;
    for (auto _ : state) {
        vcSpriteBrightness(plane.data(), 720, 720, 576, factor);
        factor = -factor;  // keeps the plane from saturating
        benchmark::DoNotOptimize(plane.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_SpriteBrightness);

// Deblocking of the 90 vertical (range(0) = 0) or horizontal (1) block edges along one row of
// 720 samples: a step between gently sloped blocks, so both filter modes occur.
void BM_DeblockEdge(benchmark::State& state) {
    const bool horizontal = state.range(0) == 1;
    state.SetLabel(horizontal ? "horizontal edges" : "vertical edges");
    std::vector<uint8_t> source(736 * 24);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 736; ++x)
            source[size_t(y) * 736 + size_t(x)] =
                uint8_t(horizontal ? 60 + (y >= 8) * 6 + x % 3 : 60 + ((x / 8) & 1) * 6 + y % 3);
    std::vector<uint8_t> work(source.size());
    for (auto _ : state) {
        std::memcpy(work.data(), source.data(), source.size());
        for (int b = 1; b < 90; ++b) {
            uint8_t* first = &work[736 * 8 + size_t(b) * 8];
            if (horizontal)
                vcDeblockHorizontalEdge(first, 736, 8, 2, 6);
            else
                vcDeblockVerticalEdge(first, 736, 8, 2, 6);
        }
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 89);
}
BENCHMARK(BM_DeblockEdge)->DenseRange(0, 1);

// Deringing thresholds of the 45 macroblocks of a 720-wide row.
void BM_DeringThreshold(benchmark::State& state) {
    std::mt19937 rng(12);
    std::vector<uint8_t> src(720 * 16);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = uint8_t((i % 720) < 360 ? 40 : 200) + rng() % 9;
    int thresholds[4];
    uint8_t minMax[8];
    for (auto _ : state) {
        for (int m = 0; m < 45; ++m)
            vcDeringThreshold(&src[size_t(m) * 16], 720, nullptr, 0, minMax, 4, thresholds);
        benchmark::DoNotOptimize(thresholds);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 45);
}
BENCHMARK(BM_DeringThreshold);
