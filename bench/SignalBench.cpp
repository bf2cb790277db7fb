// The vector utilities that the audio decoders run per block: the plain reference next to each
// SIMD variant. The first argument picks the implementation: 0 plain, 1.. the variants in table
// order; the second is the length.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/VariantPick.h"
#include "primitives/SignalKernels.h"

namespace {

using qm::bench::Pick;

std::vector<float> Samples(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = float(int(i * 7919 % 2001) - 1000) / 256.0f;
    return v;
}

void BM_AddProductC32f(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::addProductC32f, int(state.range(0)), state);
    if (!fn) return;
    const int n = int(state.range(1));
    const std::vector<float> src = Samples(size_t(n));
    std::vector<float> dst = Samples(size_t(n));
    for (auto _ : state) {
        fn(src.data(), 0.5f, dst.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}
BENCHMARK(BM_AddProductC32f)->ArgsProduct({{0, 1, 2}, {256}});

void BM_Mul32f(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::mul32f, int(state.range(0)), state);
    if (!fn) return;
    const int n = int(state.range(1));
    const std::vector<float> a = Samples(size_t(n)), b = Samples(size_t(n));
    std::vector<float> dst(static_cast<size_t>(n));
    for (auto _ : state) {
        fn(a.data(), b.data(), dst.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}
BENCHMARK(BM_Mul32f)->ArgsProduct({{0, 1, 2}, {256}});

void BM_DotProduct32f(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::dotProduct32f, int(state.range(0)), state);
    if (!fn) return;
    const int n = int(state.range(1));
    const std::vector<float> a = Samples(size_t(n)), b = Samples(size_t(n));
    float result = 0;
    for (auto _ : state) {
        fn(a.data(), b.data(), n, &result);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}
BENCHMARK(BM_DotProduct32f)->ArgsProduct({{0, 1, 2}, {256}});

// A DVD LPCM packet's worth of 16-bit samples.
void BM_SwapBytes16(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::swapBytes16, int(state.range(0)), state);
    if (!fn) return;
    const int n = int(state.range(1));
    std::vector<uint16_t> src(static_cast<size_t>(n)), dst(src.size());
    for (int i = 0; i < n; ++i) src[size_t(i)] = uint16_t(i * 40503u);
    for (auto _ : state) {
        fn(src.data(), dst.data(), n);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * n);
}
BENCHMARK(BM_SwapBytes16)->ArgsProduct({{0, 1}, {1000}});

}  // namespace
