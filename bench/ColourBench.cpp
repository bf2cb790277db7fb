// One 1920x1080 4:2:0 picture into each layout the decoders hand out, next to a memcpy of the
// same number of output bytes (the physical floor of that conversion). Each conversion runs as
// the dispatched entry ("best", labelled with the variant it selects) and as every
// implementation by number: 0 plain, 1.. the SIMD variants in table order.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/VariantPick.h"
#include "primitives/Colour.h"
#include "primitives/ColourKernels.h"
#include "primitives/Memory.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

constexpr int kW = 1920, kH = 1080;
namespace k = sp::kernels;

struct Picture {
    uint8_t* plane[3];
    ptrdiff_t step[3] = {kW, kW / 2, kW / 2};
    Picture() {
        const int sizes[3] = {kW * kH, kW * kH / 4, kW * kH / 4};
        for (int i = 0; i < 3; ++i) {
            plane[i] = spAlloc8u(sizes[i]);
            for (int j = 0; j < sizes[i]; ++j) plane[i][j] = uint8_t(16 + (j * 7 + i * 13) % 220);
        }
    }
    ~Picture() {
        for (uint8_t* p : plane) spFree(p);
    }
    const uint8_t* const* Src() const { return plane; }
};

struct Buffer {
    uint8_t* p;
    explicit Buffer(int n) : p(spAlloc8u(n)) { std::memset(p, 0, size_t(n)); }
    ~Buffer() { spFree(p); }
};

// The output bytes of each conversion.
constexpr int kPlanarBytes = kW * kH * 3 / 2, kPackedBytes = kW * kH * 2;
constexpr int kRgb24Bytes = kW * kH * 3, kRgb32Bytes = kW * kH * 4;

void Memcpy(benchmark::State& state) {
    const int bytes = int(state.range(0));
    Buffer src(bytes), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.p, src.p, size_t(bytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}
BENCHMARK(Memcpy)->Name("Memcpy/planar_bytes")->Arg(kPlanarBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->Name("Memcpy/nv12_bytes")->Arg(kPlanarBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->Name("Memcpy/yuy2_bytes")->Arg(kPackedBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->Name("Memcpy/rgb24_bytes")->Arg(kRgb24Bytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->Name("Memcpy/rgb32_bytes")->Arg(kRgb32Bytes)->Unit(benchmark::kMicrosecond);

// range(0) picks the implementation: -1 the dispatched one, 0 plain, 1.. the variants.
using qm::bench::Pick;

template <class Call>
void Run(benchmark::State& state, int outputBytes, Call call) {
    for (auto _ : state) {
        call();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * outputBytes);
}

void Yuv420ToYv12(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer y(kW * kH), u(kW * kH / 4), v(kW * kH / 4);
    // Three plane copies as the conversion stage makes them; YV12's V-before-U order only
    // exchanges the plane pointers.
    Run(state, kPlanarBytes, [&] {
        spCopyRegionStores8u(pic.plane[0], kW, y.p, kW, {kW, kH}, spCopyStoresCached);
        spCopyRegionStores8u(pic.plane[1], kW / 2, u.p, kW / 2, {kW / 2, kH / 2},
                             spCopyStoresCached);
        spCopyRegionStores8u(pic.plane[2], kW / 2, v.p, kW / 2, {kW / 2, kH / 2},
                             spCopyStoresCached);
    });
}
BENCHMARK(Yuv420ToYv12)->Unit(benchmark::kMicrosecond);

void Yuv420ToNv12(benchmark::State& state) {
    auto* fn = Pick(k::yuv420ToNv12, state.range(0), state);
    if (!fn) return;
    Picture pic;
    Buffer y(kW * kH), uv(kW * kH / 2);
    Run(state, kPlanarBytes, [&] { fn(pic.Src(), pic.step, y.p, kW, uv.p, kW, {kW, kH}); });
}
BENCHMARK(Yuv420ToNv12)->DenseRange(-1, 0)->Unit(benchmark::kMicrosecond);

void Packed(benchmark::State& state, const sp::Kernel<k::Planar3ToPackedFn>& kernel, int bpp) {
    auto* fn = Pick(kernel, state.range(0), state);
    if (!fn) return;
    Picture pic;
    Buffer dst(kW * kH * bpp);
    Run(state, kW * kH * bpp, [&] { fn(pic.Src(), pic.step, dst.p, kW * bpp, {kW, kH}); });
}
void Yuv420ToYuy2(benchmark::State& state) {
    Packed(state, k::yuv420ToYuy2, 2);
}
void Yuv420ToUyvy(benchmark::State& state) {
    Packed(state, k::yuv420ToUyvy, 2);
}
void Yuv420ToRgb24(benchmark::State& state) {
    Packed(state, k::yuv420ToRgb24, 3);
}
BENCHMARK(Yuv420ToYuy2)->DenseRange(-1, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(Yuv420ToUyvy)->DenseRange(-1, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(Yuv420ToRgb24)->DenseRange(-1, 3)->Unit(benchmark::kMicrosecond);

void Yuv420ToRgb32(benchmark::State& state) {
    auto* fn = Pick(k::yuv420ToArgb32, state.range(0), state);
    if (!fn) return;
    Picture pic;
    Buffer dst(kRgb32Bytes);
    Run(state, kRgb32Bytes, [&] { fn(pic.Src(), pic.step, dst.p, kW * 4, {kW, kH}, 255); });
}
BENCHMARK(Yuv420ToRgb32)->DenseRange(-1, 2)->Unit(benchmark::kMicrosecond);

}  // namespace
