// The MPEG-4 kernels, each implementation by number (0 = plain, then the SIMD variants):
// intra dequantisation (H.263 and matrix methods), averaging, and the coefficient decoders on a
// stream of typical intra blocks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/MPEG4CodingKernels.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

namespace k = sp::kernels;

template <class Fn>
Fn* Implementation(const sp::Kernel<Fn>& kernel, int64_t index, benchmark::State& state) {
    spInitProcessorDispatch();
    const auto variants = kernel.Variants();
    if (index == 0) {
        state.SetLabel("plain");
        return kernel.Reference();
    }
    if (size_t(index) > variants.size() || !sp::HostRuns(variants[size_t(index) - 1].isa)) {
        state.SkipWithError("variant not available");
        return nullptr;
    }
    state.SetLabel(sp::IsaName(variants[size_t(index) - 1].isa));
    return variants[size_t(index) - 1].fn;
}

constexpr int kBlocks = 256;

// range(0) = implementation, range(1) = 1 for the matrix method.
void BM_DequantIntraMpeg4(benchmark::State& state) {
    auto* fn = Implementation(k::dequantIntraMpeg4, state.range(0), state);
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
        for (int b = 0; b < kBlocks; ++b) fn(&work[size_t(b) * 64], 63, spec, 7 + b % 8, b & 1);
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}
BENCHMARK(BM_DequantIntraMpeg4)->ArgsProduct({{0, 1, 2}, {0, 1}});

void BM_AverageInto16x16(benchmark::State& state) {
    auto* fn = Implementation(k::averageInto16x16, state.range(0), state);
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
    auto* fn = Implementation(k::averageInto8x8, state.range(0), state);
    if (!fn) return;
    std::vector<uint8_t> src(720 * 16, 90), dst(720 * 16, 30);
    for (auto _ : state) {
        for (int x = 0; x + 8 <= 720; x += 8) fn(&src[size_t(x) + 3], 720, &dst[size_t(x)], 720);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 90);
}
BENCHMARK(BM_AverageInto8x8)->DenseRange(0, 1);

// Intra blocks of a few (last 0, run 0, level 1) events ended by (last 1, run 0, level 1):
// "10 0" x 5 then "0111 0", 20 bits a block.
void BM_DecodeIntraCoefsMpeg4(benchmark::State& state) {
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
        for (int e = 0; e < 5; ++e) put(0b100, 3);
        put(0b01110, 5);
    }
    bits.resize(bits.size() + kMpeg4InputPadding + 8, 0);
    alignas(16) int16_t block[64];
    for (auto _ : state) {
        const uint8_t* p = bits.data();
        int off = 0, last = 0;
        for (int b = 0; b < kBlocks; ++b) vcDecodeIntraCoefsMpeg4(&p, &off, block, &last, 0, 1, 0);
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}
BENCHMARK(BM_DecodeIntraCoefsMpeg4);

}  // namespace

// Quarter-sample prediction of 45 macroblocks, each of the 16 positions in turn.
// range(0) = implementation.
void BM_PredictQuarterPel16x16(benchmark::State& state) {
    auto* fn = Implementation(k::predictQuarterPel16x16, state.range(0), state);
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
    auto* fn = Implementation(k::predictQuarterPelWidth8, state.range(0), state);
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

// range(1) = 1 for quarter-sample vectors.
void BM_ObmcBlock8x8(benchmark::State& state) {
    auto* fn = Implementation(state.range(1) ? k::obmcBlock8x8QuarterPel : k::obmcBlock8x8,
                              state.range(0), state);
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
    auto* fn = Implementation(k::deringBlock8x8, state.range(0), state);
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
