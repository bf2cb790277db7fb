// Resize kernels: separable filters with per-axis tap tables (14-bit weights that sum to one
// exactly), a horizontal pass into a ring of rows kept at 6 extra bits, then the vertical pass.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "primitives/ImageKernels.h"
#include "primitives/dispatch/Entry.h"

namespace {

constexpr int kWeightBits = 14;
constexpr int kOne = 1 << kWeightBits;

// Taps per output sample for an axis of n source and m destination samples.
int TapCount(int method, int n, int m) {
    switch (method) {
        case imNearest:
            return 1;
        case imLinear:
            return 2;
        case imCubic:
            return 4;
        case imArea:
            return (n + m - 1) / m + 1;
        default:
            return 0;
    }
}

size_t AlignUp(size_t v) {
    return (v + 31) & ~size_t(31);
}

struct AxisTable {
    int32_t* start;   // first source index (before clamping)
    int16_t* weight;  // taps per output
    int taps;
};

struct Layout {
    size_t xStart, xWeight, yStart, yWeight, ring, tags, total;
    int tapsX, tapsY;
};

Layout MakeLayout(SpSize src, SpSize dst, int method, int channels) {
    Layout l{};
    l.tapsX = TapCount(method, src.width, dst.width);
    l.tapsY = TapCount(method, src.height, dst.height);
    size_t at = 0;
    l.xStart = at, at = AlignUp(at + sizeof(int32_t) * size_t(dst.width));
    l.xWeight = at, at = AlignUp(at + sizeof(int16_t) * size_t(dst.width) * size_t(l.tapsX));
    l.yStart = at, at = AlignUp(at + sizeof(int32_t) * size_t(dst.height));
    l.yWeight = at, at = AlignUp(at + sizeof(int16_t) * size_t(dst.height) * size_t(l.tapsY));
    l.ring = at,
    at = AlignUp(at + sizeof(int32_t) * size_t(l.tapsY) * size_t(dst.width) * size_t(channels));
    l.tags = at, at = AlignUp(at + sizeof(int32_t) * size_t(l.tapsY));
    l.total = at + 32;  // room to align the caller's buffer
    return l;
}

double Cubic(double t) {  // Catmull-Rom
    t = std::fabs(t);
    if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
    if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
    return 0;
}

void BuildAxis(int method, int n, int m, int taps, int32_t* start, int16_t* weight) {
    const double scale = double(n) / m;
    for (int i = 0; i < m; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int base = int(std::floor(centre));
        const double f = centre - base;
        const double lo = i * scale, hi = (i + 1) * scale;
        int first;
        switch (method) {
            case imNearest:
                first = std::min(int((i + 0.5) * scale), n - 1);
                break;
            case imArea:
                first = int(std::floor(lo));
                break;
            case imLinear:
                first = base;
                break;
            default:
                first = base - 1;
                break;
        }
        auto tapWeight = [&](int k) {
            switch (method) {
                case imNearest:
                    return 1.0;
                case imArea: {
                    const double a = std::max(lo, double(first + k));
                    const double b = std::min(hi, double(first + k + 1));
                    return b > a ? (b - a) / scale : 0.0;
                }
                case imLinear:
                    return k == 0 ? 1 - f : f;
                default:
                    return Cubic(f - (k - 1));
            }
        };
        // Quantise; the rounding remainder goes to the largest tap so the weights sum to one.
        int16_t* w = weight + size_t(i) * taps;
        int sum = 0, largest = 0;
        for (int k = 0; k < taps; ++k) {
            w[k] = int16_t(std::lround(tapWeight(k) * kOne));
            sum += w[k];
            if (w[k] > w[largest]) largest = k;
        }
        w[largest] = int16_t(w[largest] + kOne - sum);
        start[i] = first;
    }
}

// One resize of `channels` interleaved samples per pixel, pixels `stride` samples apart, the
// first sample `offset` samples into each row.
template <class T>
void Resize(const uint8_t* src, ptrdiff_t srcStep, SpSize srcSize, uint8_t* dst, ptrdiff_t dstStep,
            SpSize dstSize, int method, uint8_t* work, int channels, int stride, int offset,
            int maxValue) {
    const Layout l = MakeLayout(srcSize, dstSize, method, channels);
    uint8_t* base =
        reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(work) + 31) & ~uintptr_t(31));
    auto* xStart = reinterpret_cast<int32_t*>(base + l.xStart);
    auto* xWeight = reinterpret_cast<int16_t*>(base + l.xWeight);
    auto* yStart = reinterpret_cast<int32_t*>(base + l.yStart);
    auto* yWeight = reinterpret_cast<int16_t*>(base + l.yWeight);
    auto* ring = reinterpret_cast<int32_t*>(base + l.ring);
    auto* tags = reinterpret_cast<int32_t*>(base + l.tags);
    BuildAxis(method, srcSize.width, dstSize.width, l.tapsX, xStart, xWeight);
    BuildAxis(method, srcSize.height, dstSize.height, l.tapsY, yStart, yWeight);
    std::fill(tags, tags + l.tapsY, -1);
    const size_t rowLen = size_t(dstSize.width) * channels;
    auto clampX = [&](int i) { return std::clamp(i, 0, srcSize.width - 1); };
    auto clampY = [&](int i) { return std::clamp(i, 0, srcSize.height - 1); };

    for (int j = 0; j < dstSize.height; ++j) {
        // Horizontal pass of the source rows this output row needs, unless already in the ring.
        for (int k = 0; k < l.tapsY; ++k) {
            const int r = clampY(yStart[j] + k);
            const int slot = r % l.tapsY;
            if (tags[slot] == r) continue;
            tags[slot] = r;
            const T* s = reinterpret_cast<const T*>(src + r * srcStep) + offset;
            int32_t* out = ring + size_t(slot) * rowLen;
            for (int x = 0; x < dstSize.width; ++x) {
                const int16_t* w = xWeight + size_t(x) * l.tapsX;
                for (int c = 0; c < channels; ++c) {
                    int64_t acc = 0;
                    for (int t = 0; t < l.tapsX; ++t)
                        acc += int64_t(w[t]) * s[ptrdiff_t(clampX(xStart[x] + t)) * stride + c];
                    out[size_t(x) * channels + c] = int32_t((acc + 128) >> 8);
                }
            }
        }
        T* d = reinterpret_cast<T*>(dst + j * dstStep) + offset;
        const int16_t* w = yWeight + size_t(j) * l.tapsY;
        for (int x = 0; x < dstSize.width; ++x)
            for (int c = 0; c < channels; ++c) {
                int64_t acc = 0;
                for (int k = 0; k < l.tapsY; ++k) {
                    const int slot = clampY(yStart[j] + k) % l.tapsY;
                    acc += int64_t(w[k]) * ring[size_t(slot) * rowLen + size_t(x) * channels + c];
                }
                const int64_t v = (acc + (int64_t(1) << 19)) >> 20;
                d[ptrdiff_t(x) * stride + c] = T(std::clamp<int64_t>(v, 0, maxValue));
            }
    }
}

template <class T, int kChannels>
void ResizePlain(const T* src, ptrdiff_t srcStep, SpSize srcSize, T* dst, ptrdiff_t dstStep,
                 SpSize dstSize, int method, uint8_t* work) {
    Resize<T>(reinterpret_cast<const uint8_t*>(src), srcStep, srcSize,
              reinterpret_cast<uint8_t*>(dst), dstStep, dstSize, method, work, kChannels, kChannels,
              0, sizeof(T) == 1 ? 255 : 65535);
}

SpSize Chroma(SpSize yuy2) {
    return {(yuy2.width + 1) / 2, yuy2.height};
}

void ResizeYuy2Plain(const uint8_t* src, ptrdiff_t srcStep, SpSize srcSize, uint8_t* dst,
                     ptrdiff_t dstStep, SpSize dstSize, int method, uint8_t* work) {
    const SpSize srcChroma = Chroma(srcSize), dstChroma = Chroma(dstSize);
    Resize<uint8_t>(src, srcStep, srcSize, dst, dstStep, dstSize, method, work, 1, 2, 0, 255);
    Resize<uint8_t>(src, srcStep, srcChroma, dst, dstStep, dstChroma, method, work, 1, 4, 1, 255);
    Resize<uint8_t>(src, srcStep, srcChroma, dst, dstStep, dstChroma, method, work, 1, 4, 3, 255);
}

}  // namespace

namespace sp::kernels {
constinit const Kernel<Resize8uFn> resize8uC1{"imResizePlane8uC1", ResizePlain<uint8_t, 1>};
constinit const Kernel<Resize8uFn> resize8uC2{"imResizePlane8uC2", ResizePlain<uint8_t, 2>};
constinit const Kernel<Resize8uFn> resize8uC3{"imResizePlane8uC3", ResizePlain<uint8_t, 3>};
constinit const Kernel<Resize8uFn> resize8uC4{"imResizePlane8uC4", ResizePlain<uint8_t, 4>};
constinit const Kernel<Resize16uFn> resize16uC1{"imResizePlane16uC1", ResizePlain<uint16_t, 1>};
constinit const Kernel<Resize16uFn> resize16uC3{"imResizePlane16uC3", ResizePlain<uint16_t, 3>};
constinit const Kernel<Resize16uFn> resize16uC4{"imResizePlane16uC4", ResizePlain<uint16_t, 4>};
constinit const Kernel<Resize8uFn> resizeYuy2{"imResizeYuy2", ResizeYuy2Plain};
}  // namespace sp::kernels

SpStatus imResizeGetBufferSize(SpSize srcSize, SpSize dstSize, int method, int channels,
                               int* bytes) {
    if (!bytes) return spStsNullPtrErr;
    if (srcSize.width < 1 || srcSize.height < 1 || dstSize.width < 1 || dstSize.height < 1)
        return spStsSizeErr;
    if (method < imNearest || method > imArea) return imStsRangeErr;
    if (channels < 1 || channels > 4) return imStsRangeErr;
    size_t total;
    if (channels == 2) {  // two-sample pixels, or YUY2: one luma and two half-width passes
        const SpSize sc{(srcSize.width + 1) / 2, srcSize.height};
        const SpSize dc{(dstSize.width + 1) / 2, dstSize.height};
        total = std::max({MakeLayout(srcSize, dstSize, method, 2).total,
                          MakeLayout(srcSize, dstSize, method, 1).total,
                          MakeLayout(sc, dc, method, 1).total});
    } else {
        total = MakeLayout(srcSize, dstSize, method, channels).total;
    }
    if (total > size_t(INT32_MAX)) return spStsSizeErr;
    *bytes = int(total);
    return spStsNoErr;
}

// Every argument is checked here; the implementations behind the entries trust them.
namespace {

// -8 a null pointer, -6 a size below 1, -14 a step below 1, -11 an unknown method, -14 a step
// shorter than a row of rowBytes per pixel (a YUY2 row: whole pixel pairs).
SpStatus Check(const void* src, int srcStep, SpSize srcSize, const void* dst, int dstStep,
               SpSize dstSize, int method, const void* work, int rowBytes, bool yuy2) {
    if (!src || !dst || !work) return spStsNullPtrErr;
    if (srcSize.width < 1 || srcSize.height < 1 || dstSize.width < 1 || dstSize.height < 1)
        return spStsSizeErr;
    if (srcStep < 1 || dstStep < 1) return spStsStepErr;
    if (method < imNearest || method > imArea) return imStsRangeErr;
    auto rowFits = [&](int step, SpSize size) {
        const int64_t pixels = yuy2 ? 2 * int64_t(Chroma(size).width) : size.width;
        return step >= pixels * rowBytes;
    };
    return rowFits(srcStep, srcSize) && rowFits(dstStep, dstSize) ? spStsNoErr : spStsStepErr;
}

template <class T, class Fn>
SpStatus CallResize(const sp::Kernel<Fn>& kernel, int channels, bool yuy2, const T* src,
                    int srcStep, SpSize srcSize, T* dst, int dstStep, SpSize dstSize, int method,
                    uint8_t* work) {
    const SpStatus check = Check(src, srcStep, srcSize, dst, dstStep, dstSize, method, work,
                                 int(sizeof(T)) * channels, yuy2);
    return sp::CallChecked(kernel, check, src, ptrdiff_t(srcStep), srcSize, dst, ptrdiff_t(dstStep),
                           dstSize, method, work);
}

}  // namespace

using namespace sp::kernels;

SpStatus imResizePlane8uC1(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize8uC1, 1, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizePlane8uC2(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize8uC2, 2, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizePlane8uC3(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize8uC3, 3, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizePlane8uC4(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst,
                           int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize8uC4, 4, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizePlane16uC1(const uint16_t* src, int srcStep, SpSize srcSize, uint16_t* dst,
                            int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize16uC1, 1, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizePlane16uC3(const uint16_t* src, int srcStep, SpSize srcSize, uint16_t* dst,
                            int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize16uC3, 3, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizePlane16uC4(const uint16_t* src, int srcStep, SpSize srcSize, uint16_t* dst,
                            int dstStep, SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resize16uC4, 4, false, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
SpStatus imResizeYuy2(const uint8_t* src, int srcStep, SpSize srcSize, uint8_t* dst, int dstStep,
                      SpSize dstSize, int method, uint8_t* work) {
    return CallResize(resizeYuy2, 2, true, src, srcStep, srcSize, dst, dstStep, dstSize, method,
                      work);
}
