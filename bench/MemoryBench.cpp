// spCopyRegion8u (by size and with explicit stores) and spSet8u next to memcpy and memset on
// the same buffers.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "primitives/Memory.h"
#include "primitives/MemoryKernels.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

// A 1920x1080 picture plane: one contiguous run (streaming path above 1 MiB) or padded rows.
constexpr int kWidth = 1920, kHeight = 1080;

void BM_CopyRegionContiguous(benchmark::State& state) {
    spInitProcessorDispatch();
    std::vector<uint8_t> src(size_t(kWidth) * kHeight, 1), dst(src.size());
    for (auto _ : state) {
        spCopyRegion8u(src.data(), kWidth, dst.data(), kWidth, {kWidth, kHeight});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_CopyRegionContiguous);

// Every implementation of the contiguous (streaming) copy: range(0) 0 = plain, else the variant.
void BM_CopyRegionVariant(benchmark::State& state) {
    const auto variants = sp::kernels::copyRegion8u.Variants();
    const int which = int(state.range(0));
    if (which > int(variants.size()) || (which > 0 && !sp::HostRuns(variants[which - 1].isa))) {
        state.SkipWithError("no such variant on this processor");
        return;
    }
    auto* fn = which == 0 ? sp::kernels::copyRegion8u.Reference() : variants[which - 1].fn;
    state.SetLabel(which == 0 ? "plain" : sp::IsaName(variants[which - 1].isa));
    std::vector<uint8_t> src(size_t(kWidth) * kHeight, 1), dst(src.size());
    for (auto _ : state) {
        fn(src.data(), kWidth, dst.data(), kWidth, {kWidth, kHeight});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_CopyRegionVariant)->DenseRange(0, 1);

// The explicit stores of one 1920x1080 plane: range(0) is the SpCopyStores value.
void BM_CopyRegionStores(benchmark::State& state) {
    spInitProcessorDispatch();
    const auto stores = SpCopyStores(state.range(0));
    state.SetLabel(stores == spCopyStoresCached ? "cached" : "streamed");
    std::vector<uint8_t> src(size_t(kWidth) * kHeight, 1), dst(src.size());
    for (auto _ : state) {
        spCopyRegionStores8u(src.data(), kWidth, dst.data(), kWidth, {kWidth, kHeight}, stores);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_CopyRegionStores)->Arg(spCopyStoresCached)->Arg(spCopyStoresStreamed);

void BM_CopyRegionPadded(benchmark::State& state) {
    spInitProcessorDispatch();
    const int step = 2048;
    std::vector<uint8_t> src(size_t(step) * kHeight, 1), dst(src.size());
    for (auto _ : state) {
        spCopyRegion8u(src.data(), step, dst.data(), step, {kWidth, kHeight});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_CopyRegionPadded);

void BM_Memcpy(benchmark::State& state) {
    std::vector<uint8_t> src(size_t(kWidth) * kHeight, 1), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(src.size()));
}
BENCHMARK(BM_Memcpy);

void BM_Set8u(benchmark::State& state) {
    spInitProcessorDispatch();
    std::vector<uint8_t> dst(size_t(state.range(0)));
    for (auto _ : state) {
        spSet8u(0x80, dst.data(), int(dst.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Set8u)->Arg(4096)->Arg(kWidth* kHeight);

void BM_Memset(benchmark::State& state) {
    std::vector<uint8_t> dst(size_t(state.range(0)));
    for (auto _ : state) {
        std::memset(dst.data(), 0x80, dst.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memset)->Arg(4096)->Arg(kWidth* kHeight);

}  // namespace
