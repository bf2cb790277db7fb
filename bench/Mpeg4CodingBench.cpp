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
