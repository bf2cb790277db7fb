// Synthesis filter bank, inverse MDCT and the PCM conversion: the plain reference next to each
// SIMD variant. The argument picks the implementation: 0 plain, 1.. the variants in table order.
#include <benchmark/benchmark.h>

#include <vector>

#include "primitives/AudioCoding.h"
#include "primitives/AudioCodingKernels.h"
#include "primitives/SignalKernels.h"

namespace {

// The implementation numbered `index` (0 = plain); null when the machine cannot run it.
template <class Fn>
Fn* Pick(const sp::Kernel<Fn>& kernel, int index, benchmark::State& state) {
    if (index == 0) {
        state.SetLabel("plain");
        return kernel.Reference();
    }
    const auto variants = kernel.Variants();
    if (size_t(index) > variants.size() || !sp::HostRuns(variants[size_t(index) - 1].isa)) {
        state.SkipWithError("variant not available");
        return nullptr;
    }
    state.SetLabel(sp::IsaName(variants[size_t(index) - 1].isa));
    return variants[size_t(index) - 1].fn;
}

std::vector<float> Signal(size_t n) {
    std::vector<float> v(n);
    uint32_t seed = 12345;
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = float(int32_t(seed) >> 16);
    }
    return v;
}

// One layer III granule of one channel: 18 steps of 32 subband samples.
void BM_Synthesis32(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::acSynthesis32, int(state.range(0)), state);
    if (!fn) return;
    std::vector<uint8_t> memory(kAcSynthesisStateSize);
    AcSynthesisState* synth = nullptr;
    acSynthesisInit(&synth, memory.data());
    const std::vector<float> in = Signal(576);
    std::vector<float> out(576);
    for (auto _ : state) {
        for (int slot = 0; slot < 18; ++slot)
            fn(&in[size_t(slot) * 32], &out[size_t(slot) * 32], synth, 1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 576);  // PCM samples
}
BENCHMARK(BM_Synthesis32)->DenseRange(0, 2);

// A layer III granule of long blocks (32 transforms of 36) or short blocks (96 of 12), and one
// AC-3 block (512).
void BM_InverseMdct(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::acInverseMdct, int(state.range(0)), state);
    if (!fn) return;
    const int n = int(state.range(1));
    int specSize = 0, initSize = 0, workSize = 0;
    acMdctGetSizes(n, &specSize, &initSize, &workSize);
    std::vector<uint8_t> specMemory(static_cast<size_t>(specSize)),
        work(static_cast<size_t>(workSize));
    AcMdctSpec* spec = nullptr;
    acMdctInit(&spec, n, specMemory.data(), nullptr);
    const int transforms = n == 36 ? 32 : n == 12 ? 96 : 1;
    const std::vector<float> in = Signal(size_t(transforms) * size_t(n / 2));
    std::vector<float> out(size_t(transforms) * size_t(n));
    for (auto _ : state) {
        for (int t = 0; t < transforms; ++t)
            fn(&in[size_t(t) * size_t(n / 2)], &out[size_t(t) * size_t(n)], spec, work.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * transforms);  // transforms
}
BENCHMARK(BM_InverseMdct)->ArgsProduct({{0, 1, 2}, {36, 12, 512}});

// A stereo MPEG-1 frame: 1152 samples per channel to interleaved 16-bit PCM.
void BM_FloatToInt16Interleave(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::floatToInt16Interleave, int(state.range(0)), state);
    if (!fn) return;
    const std::vector<float> left = Signal(1152), right = Signal(1152);
    const float* src[2] = {left.data(), right.data()};
    std::vector<int16_t> out(2304);
    for (auto _ : state) {
        fn(src, 2, 1152, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2304);
}
BENCHMARK(BM_FloatToInt16Interleave)->DenseRange(0, 2);

}  // namespace
