// One 1920x1080 4:2:0 picture into the layouts the decoders hand out, per picture, next to a
// memcpy of the same source bytes (and of the destination's bytes) as the physical floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "primitives/Colour.h"
#include "primitives/ColourKernels.h"
#include "primitives/Memory.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

constexpr int kW = 1920, kH = 1080;

struct Picture {
    uint8_t* plane[3];
    int step[3] = {kW, kW / 2, kW / 2};
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

void Memcpy(benchmark::State& state) {
    const int bytes = int(state.range(0));
    Buffer src(bytes), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.p, src.p, size_t(bytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}
// The 4:2:0 picture's bytes; then the YUY2 and RGB32 destinations' bytes.
BENCHMARK(Memcpy)->Name("Memcpy/420_bytes")->Arg(kW* kH * 3 / 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->Name("Memcpy/yuy2_bytes")->Arg(kW* kH * 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(Memcpy)->Name("Memcpy/rgb32_bytes")->Arg(kW* kH * 4)->Unit(benchmark::kMicrosecond);

void Yuv420ToYv12(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer y(kW * kH), u(kW * kH / 4), v(kW * kH / 4);
    for (auto _ : state) {
        // Three plane copies; YV12's V-before-U order only exchanges the plane pointers.
        spCopyRegion8u(pic.plane[0], kW, y.p, kW, {kW, kH});
        spCopyRegion8u(pic.plane[1], kW / 2, u.p, kW / 2, {kW / 2, kH / 2});
        spCopyRegion8u(pic.plane[2], kW / 2, v.p, kW / 2, {kW / 2, kH / 2});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3 / 2);
}
BENCHMARK(Yuv420ToYv12)->Unit(benchmark::kMicrosecond);

void Yuv420ToYuy2(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer dst(kW * kH * 2);
    for (auto _ : state) {
        ccYuv420ToYuy2(pic.Src(), pic.step, dst.p, kW * 2, {kW, kH});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3 / 2);
}
BENCHMARK(Yuv420ToYuy2)->Unit(benchmark::kMicrosecond);

void Yuv420ToUyvy(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer dst(kW * kH * 2);
    for (auto _ : state) {
        ccYuv420ToUyvy(pic.Src(), pic.step, dst.p, kW * 2, {kW, kH});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3 / 2);
}
BENCHMARK(Yuv420ToUyvy)->Unit(benchmark::kMicrosecond);

void Yuv420ToNv12(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer y(kW * kH), uv(kW * kH / 2);
    for (auto _ : state) {
        ccYuv420ToNv12(pic.Src(), pic.step, y.p, kW, uv.p, kW, {kW, kH});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3 / 2);
}
BENCHMARK(Yuv420ToNv12)->Unit(benchmark::kMicrosecond);

void Yuv420ToRgb32(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer dst(kW * kH * 4);
    for (auto _ : state) {
        ccYuv420ToArgb32(pic.Src(), pic.step, dst.p, kW * 4, {kW, kH}, 255);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3 / 2);
}
BENCHMARK(Yuv420ToRgb32)->Unit(benchmark::kMicrosecond);

void Yuv420ToRgb24(benchmark::State& state) {
    spInitProcessorDispatch();
    Picture pic;
    Buffer dst(kW * kH * 3);
    for (auto _ : state) {
        ccYuv420ToRgb24(pic.Src(), pic.step, dst.p, kW * 3, {kW, kH});
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kW * kH * 3 / 2);
}
BENCHMARK(Yuv420ToRgb24)->Unit(benchmark::kMicrosecond);

// The plain versions, for the SIMD gain.
void PlainYuv420ToYuy2(benchmark::State& state) {
    Picture pic;
    Buffer dst(kW * kH * 2);
    auto* fn = sp::kernels::yuv420ToYuy2.Reference();
    for (auto _ : state) {
        fn(pic.Src(), pic.step, dst.p, kW * 2, {kW, kH});
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PlainYuv420ToYuy2)->Unit(benchmark::kMicrosecond);

void PlainYuv420ToRgb32(benchmark::State& state) {
    Picture pic;
    Buffer dst(kW * kH * 4);
    auto* fn = sp::kernels::yuv420ToArgb32.Reference();
    for (auto _ : state) {
        fn(pic.Src(), pic.step, dst.p, kW * 4, {kW, kH}, 255);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PlainYuv420ToRgb32)->Unit(benchmark::kMicrosecond);

}  // namespace
