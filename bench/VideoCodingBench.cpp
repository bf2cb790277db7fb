// The video coding kernels, plain reference next to the variant this processor selects:
// inverse DCTs (full, reduced, to pixels), prediction/averaging by interpolation type and the
// start-code search.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "primitives/VideoCodingKernels.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

constexpr int kBlocks = 256;

// Coefficient blocks like a decoder's: a few low-frequency terms, some dense ones.
// withLast sets coefficient 63 to 1, as the parity change leaves it in most sparse blocks.
std::vector<int16_t> MakeBlocks(bool cornerOnly, bool withLast = false) {
    std::mt19937 rng(42);
    std::vector<int16_t> c(size_t(kBlocks) * 64, 0);
    for (int b = 0; b < kBlocks; ++b) {
        int16_t* blk = &c[size_t(b) * 64];
        const int n = cornerOnly ? 6 : (b % 4 == 0 ? 64 : 12);
        for (int i = 0; i < n; ++i) {
            const int pos = cornerOnly ? (int(rng() % 4) * 8 + int(rng() % 4)) : int(rng() % 64);
            blk[pos] = int16_t(int(rng() % 801) - 400);
        }
        if (withLast) blk[63] = 1;
    }
    return c;
}

void Idct(benchmark::State& state, sp::kernels::IdctFn* fn, bool cornerOnly,
          bool withLast = false) {
    const std::vector<int16_t> in = MakeBlocks(cornerOnly, withLast);
    std::vector<int16_t> out(in.size());
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b) fn(&in[size_t(b) * 64], &out[size_t(b) * 64]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}

void IdctPixels(benchmark::State& state, sp::kernels::IdctStoreFn* fn) {
    const std::vector<int16_t> in = MakeBlocks(false);
    std::vector<uint8_t> picture(size_t(kBlocks) * 64);
    const int step = 8 * 16;  // blocks side by side, 16 per row
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b)
            fn(&in[size_t(b) * 64], &picture[size_t(b / 16) * 8 * step + size_t(b % 16) * 8], step);
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}

// Predicts 64 blocks at scattered unaligned positions of a 720-wide reference.
void Predict(benchmark::State& state, sp::kernels::PredictFn* fn, int width, int height, int type) {
    constexpr int kStep = 720, kRows = 96;
    std::mt19937 rng(7);
    std::vector<uint8_t> ref(size_t(kStep) * kRows), dst(size_t(kStep) * kRows);
    for (uint8_t& v : ref) v = uint8_t(rng());
    std::vector<int> offsets(64);
    for (int& o : offsets)
        o = int(rng() % (kRows - height - 1)) * kStep + int(rng() % (kStep - width - 1));
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i)
            fn(&ref[size_t(offsets[i])], kStep, &dst[size_t(offsets[63 - i])], kStep, type, 0);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 64);
}

void AddResidual(benchmark::State& state, sp::kernels::AddResidualFn* fn) {
    std::mt19937 rng(3);
    std::vector<int16_t> res(size_t(kBlocks) * 64);
    for (int16_t& v : res) v = int16_t(int(rng() % 101) - 50);
    std::vector<uint8_t> picture(size_t(kBlocks) * 64, 128);
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b) fn(&res[size_t(b) * 64], 16, &picture[size_t(b) * 64], 8);
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks);
}

// A megabyte of compressed-looking bytes with a start code every `spacing` bytes (range(0); a
// slice of a 1080p picture at 15 Mbit/s is about 600 bytes), searched from code to code as the
// decoder's slice scan does.
void StartCodes(benchmark::State& state, sp::kernels::FindStartCodeFn* fn) {
    const size_t spacing = size_t(state.range(0)), size = size_t(1) << 20;
    std::mt19937 rng(11);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = uint8_t(rng());
    for (size_t at = spacing; at + 4 <= size; at += spacing) {
        bytes[at] = bytes[at + 1] = 0;
        bytes[at + 2] = 1;
    }
    for (auto _ : state) {
        size_t found = 0;
        for (size_t i = 0; (i += fn(&bytes[i], size - i)) < size; i += 4) ++found;
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

// Each case runs as "plain" (the reference) and "best" (what this processor's class selects, named
// in the label), and as every SIMD variant by name.
enum Impl { kPlain, kBest, kSse2, kSsse3, kAvx2 };

template <class Fn>
Fn* Pick(benchmark::State& state, const sp::Kernel<Fn>& kernel, Impl impl) {
    spInitProcessorDispatch();
    if (impl == kPlain) {
        state.SetLabel("plain");
        return kernel.Reference();
    }
    if (impl != kBest) {
        const sp::Isa want = impl == kSse2    ? sp::Isa::SSE2
                             : impl == kSsse3 ? sp::Isa::SSSE3
                                              : sp::Isa::AVX2;
        for (const auto& v : kernel.Variants())
            if (v.isa == want && sp::HostRuns(v.isa)) {
                state.SetLabel(sp::IsaName(v.isa));
                return v.fn;
            }
        state.SkipWithError("no such variant on this processor");
        return kernel.Reference();
    }
    Fn* fn = kernel.Current();
    const char* isa = "plain";
    for (const auto& v : kernel.Variants())
        if (v.fn == fn) isa = sp::IsaName(v.isa);
    state.SetLabel(isa);
    return fn;
}

namespace k = sp::kernels;

void BM_InverseDct8x8(benchmark::State& s, Impl impl) {
    Idct(s, Pick(s, k::inverseDct8x8, impl), false);
}
void BM_InverseDct8x8Reduced(benchmark::State& s, Impl impl) {
    Idct(s, Pick(s, k::inverseDct8x8Reduced, impl), true);
}
// The same sparse blocks with coefficient 63 set: the full transform against the sparse one.
void BM_InverseDct8x8CornerAndLast(benchmark::State& s, Impl impl) {
    Idct(s, Pick(s, k::inverseDct8x8, impl), true, true);
}
void BM_InverseDct8x8Sparse(benchmark::State& s, Impl impl) {
    Idct(s, Pick(s, k::inverseDct8x8Sparse, impl), true, true);
}
void BM_InverseDct8x8Store(benchmark::State& s, Impl impl) {
    IdctPixels(s, Pick(s, k::inverseDct8x8Store, impl));
}
// The transform added to the picture in one call, against BM_InverseDct8x8 + BM_AddResidual8x8.
void BM_InverseDct8x8Add(benchmark::State& s, Impl impl) {
    IdctPixels(s, Pick(s, k::inverseDct8x8Add, impl));
}
void BM_AddResidual8x8(benchmark::State& s, Impl impl) {
    AddResidual(s, Pick(s, k::addResidual8x8, impl));
}
// range(0) = interpolation type.
void BM_Predict16x16(benchmark::State& s, Impl impl) {
    Predict(s, Pick(s, k::predict16x16, impl), 16, 16, int(s.range(0)));
}
void BM_PredictAverage16x16(benchmark::State& s, Impl impl) {
    Predict(s, Pick(s, k::predictAverage16x16, impl), 16, 16, int(s.range(0)));
}
void BM_Predict8x8(benchmark::State& s, Impl impl) {
    Predict(s, Pick(s, k::predict8x8, impl), 8, 8, int(s.range(0)));
}
void BM_PredictAverage8x8(benchmark::State& s, Impl impl) {
    Predict(s, Pick(s, k::predictAverage8x8, impl), 8, 8, int(s.range(0)));
}
void BM_FindStartCode(benchmark::State& s, Impl impl) {
    StartCodes(s, Pick(s, k::findStartCode, impl));
}

#define QM_BENCH_BOTH(fn)                 \
    BENCHMARK_CAPTURE(fn, plain, kPlain); \
    BENCHMARK_CAPTURE(fn, best, kBest)
#define QM_BENCH_BOTH_TYPES(fn)                             \
    BENCHMARK_CAPTURE(fn, plain, kPlain)->DenseRange(0, 3); \
    BENCHMARK_CAPTURE(fn, best, kBest)->DenseRange(0, 3)

#define QM_BENCH_EVERY(fn)                \
    QM_BENCH_BOTH(fn);                    \
    BENCHMARK_CAPTURE(fn, sse2, kSse2);   \
    BENCHMARK_CAPTURE(fn, ssse3, kSsse3); \
    BENCHMARK_CAPTURE(fn, avx2, kAvx2)

#define QM_BENCH_EVERY_TYPE(fn)                             \
    QM_BENCH_BOTH_TYPES(fn);                                \
    BENCHMARK_CAPTURE(fn, sse2, kSse2)->DenseRange(0, 3);   \
    BENCHMARK_CAPTURE(fn, ssse3, kSsse3)->DenseRange(0, 3); \
    BENCHMARK_CAPTURE(fn, avx2, kAvx2)->DenseRange(0, 3)

QM_BENCH_EVERY(BM_InverseDct8x8);
QM_BENCH_EVERY(BM_InverseDct8x8Reduced);
QM_BENCH_EVERY(BM_InverseDct8x8CornerAndLast);
QM_BENCH_EVERY(BM_InverseDct8x8Sparse);
QM_BENCH_EVERY(BM_InverseDct8x8Store);
QM_BENCH_EVERY(BM_InverseDct8x8Add);
QM_BENCH_EVERY(BM_AddResidual8x8);
QM_BENCH_EVERY_TYPE(BM_Predict16x16);
QM_BENCH_EVERY_TYPE(BM_PredictAverage16x16);
QM_BENCH_EVERY_TYPE(BM_Predict8x8);
QM_BENCH_EVERY_TYPE(BM_PredictAverage8x8);
BENCHMARK_CAPTURE(BM_FindStartCode, plain, kPlain)->Arg(600)->Arg(1 << 20);
BENCHMARK_CAPTURE(BM_FindStartCode, sse2, kSse2)->Arg(600)->Arg(1 << 20);
BENCHMARK_CAPTURE(BM_FindStartCode, avx2, kAvx2)->Arg(600)->Arg(1 << 20);

}  // namespace
