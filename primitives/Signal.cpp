#include "primitives/Signal.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "primitives/SignalKernels.h"
#include "primitives/dispatch/Entry.h"

namespace {

void Zero8uPlain(uint8_t* dst, int n) {
    std::memset(dst, 0, size_t(n));
}

void Zero16sPlain(int16_t* dst, int n) {
    std::memset(dst, 0, size_t(n) * 2);
}

void Zero32fPlain(float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = 0.0f;
}

void Copy32fPlain(const float* src, float* dst, int n) {
    std::memmove(dst, src, size_t(n) * sizeof(float));
}

void MulC32fInPlacePlain(float c, float* srcDst, int n) {
    if (c == 1.0f) return;
    if (c == 0.0f) return Zero32fPlain(srcDst, n);
    for (int i = 0; i < n; ++i) srcDst[i] *= c;
}

void MulC32fPlain(const float* src, float c, float* dst, int n) {
    if (c == 1.0f) return Copy32fPlain(src, dst, n);
    if (c == 0.0f) return Zero32fPlain(dst, n);
    for (int i = 0; i < n; ++i) dst[i] = src[i] * c;
}

void AddProductC32fPlain(const float* src, float c, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] += src[i] * c;
}

void Mul32fPlain(const float* a, const float* b, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = a[i] * b[i];
}

void Mul32fInPlacePlain(const float* a, float* srcDst, int n) {
    for (int i = 0; i < n; ++i) srcDst[i] *= a[i];
}

void Add32fPlain(const float* a, const float* b, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] = a[i] + b[i];
}

void Add32fInPlacePlain(const float* a, float* srcDst, int n) {
    for (int i = 0; i < n; ++i) srcDst[i] += a[i];
}

void Sub32fInPlacePlain(const float* a, float* srcDst, int n) {
    for (int i = 0; i < n; ++i) srcDst[i] -= a[i];
}

void AddProduct32fPlain(const float* a, const float* b, float* dst, int n) {
    for (int i = 0; i < n; ++i) dst[i] += a[i] * b[i];
}

void DotProduct32fPlain(const float* a, const float* b, int n, float* result) {
    // Eight partial sums by i modulo 8, combined pairwise: the order the vector variants use.
    float s[8] = {};
    for (int i = 0; i < n; ++i) s[i & 7] += a[i] * b[i];
    const float q0 = s[0] + s[4], q1 = s[1] + s[5], q2 = s[2] + s[6], q3 = s[3] + s[7];
    *result = (q0 + q2) + (q1 + q3);
}

void Flip32Plain(const float* src, float* dst, int n) {
    if (src == dst) {
        for (int i = 0, j = n - 1; i < j; ++i, --j) {
            const float t = dst[i];
            dst[i] = dst[j];
            dst[j] = t;
        }
        return;
    }
    for (int i = 0; i < n; ++i) dst[i] = src[n - 1 - i];
}

// v / 2^shift rounded to nearest, ties to even, saturated to int16; a negative shift scales up.
int16_t ScaleRoundSaturate(int64_t v, int shift) {
    if (shift > 0) {
        const int64_t q = v >> shift;  // floor
        const int64_t r = v - (q << shift);
        const int64_t half = int64_t(1) << (shift - 1);
        v = (r > half || (r == half && (q & 1))) ? q + 1 : q;
    } else if (shift < 0) {
        v = -shift >= 32 ? (v > 0 ? INT32_MAX : v < 0 ? INT32_MIN : 0) : v * (int64_t(1) << -shift);
    }
    return int16_t(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
}

void MulC16sScaledPlain(const int16_t* src, int16_t c, int16_t* dst, int n, int shift) {
    if (shift > 30) {
        std::memset(dst, 0, size_t(n) * 2);
        return;
    }
    if (c == 1 && shift == 0) {
        if (src != dst) std::memmove(dst, src, size_t(n) * 2);
        return;
    }
    for (int i = 0; i < n; ++i) dst[i] = ScaleRoundSaturate(int64_t(src[i]) * c, shift);
}

void MulC16sScaledInPlacePlain(int16_t c, int16_t* srcDst, int n, int shift) {
    return MulC16sScaledPlain(srcDst, c, srcDst, n, shift);
}

void Add16sScaledPlain(const int16_t* a, const int16_t* b, int16_t* dst, int n, int shift) {
    if (shift > 16) {
        std::memset(dst, 0, size_t(n) * 2);
        return;
    }
    for (int i = 0; i < n; ++i) dst[i] = ScaleRoundSaturate(int64_t(a[i]) + b[i], shift);
}

void Deinterleave32Plain(const float* src, int channels, int n, float* const* dst) {
    for (int c = 0; c < channels; ++c) {
        float* d = dst[c];
        for (int i = 0; i < n; ++i) d[i] = src[size_t(i) * size_t(channels) + size_t(c)];
    }
}

inline int16_t FloatToInt16(float v) {
    if (v != v) return 0;
    v = v < -32768.0f ? -32768.0f : v;
    v = v > 32767.0f ? 32767.0f : v;
    return int16_t(std::nearbyint(v));
}

void FloatToInt16InterleavePlain(const float* const* src, int channels, int n, int16_t* dst) {
    for (int c = 0; c < channels; ++c) {
        const float* s = src[c];
        for (int i = 0; i < n; ++i)
            dst[size_t(i) * size_t(channels) + size_t(c)] = FloatToInt16(s[i]);
    }
}

void SwapBytes16Plain(const uint16_t* src, uint16_t* dst, int n) {
    for (int i = 0; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, src + i, 2);
        v = uint16_t((v >> 8) | (v << 8));
        std::memcpy(dst + i, &v, 2);
    }
}

}  // namespace

namespace sp::kernels {
constinit const Kernel<Zero8uFn> zero8u{"spZero8u", Zero8uPlain};
constinit const Kernel<Zero16sFn> zero16s{"spZero16s", Zero16sPlain};
constinit const Kernel<Zero32fFn> zero32f{"spZero32f", Zero32fPlain};
constinit const Kernel<Copy32fFn> copy32f{"spCopy32f", Copy32fPlain};
constinit const Kernel<MulC16sScaledInPlaceFn> mulC16sScaledInPlace{"spMulC16sScaledInPlace",
                                                                    MulC16sScaledInPlacePlain};
constinit const Kernel<MulC16sScaledFn> mulC16sScaled{"spMulC16sScaled", MulC16sScaledPlain};
constinit const Kernel<Add16sScaledFn> add16sScaled{"spAdd16sScaled", Add16sScaledPlain};
constinit const Kernel<Deinterleave32Fn> deinterleave32{"spDeinterleave32", Deinterleave32Plain};
#if SP_HAVE_X86_VARIANTS
#define SP_FLOAT_KERNEL(var, name, Fn, Op) \
    constinit const Kernel<Fn> var {       \
        name, Op##Plain, {                 \
            {Isa::SSE2, x86::Op##Sse2}, {  \
                Isa::AVX2, x86::Op##Avx2   \
            }                              \
        }                                  \
    }
// The compiler's own vectorisation of the plain loop is as fast as SSE2 or SSSE3 code.
constinit const Kernel<SwapBytes16Fn> swapBytes16{
    "spSwapBytes16", SwapBytes16Plain, {{Isa::AVX2, x86::SwapBytes16Avx2}}};
#else
#define SP_FLOAT_KERNEL(var, name, Fn, Op) \
    constinit const Kernel<Fn> var {       \
        name, Op##Plain                    \
    }
constinit const Kernel<SwapBytes16Fn> swapBytes16{"spSwapBytes16", SwapBytes16Plain};
#endif
SP_FLOAT_KERNEL(mulC32fInPlace, "spMulC32fInPlace", MulC32fInPlaceFn, MulC32fInPlace);
SP_FLOAT_KERNEL(mulC32f, "spMulC32f", MulC32fFn, MulC32f);
SP_FLOAT_KERNEL(addProductC32f, "spAddProductC32f", AddProductC32fFn, AddProductC32f);
SP_FLOAT_KERNEL(mul32f, "spMul32f", Binary32fFn, Mul32f);
SP_FLOAT_KERNEL(mul32fInPlace, "spMul32fInPlace", InPlace32fFn, Mul32fInPlace);
SP_FLOAT_KERNEL(add32f, "spAdd32f", Binary32fFn, Add32f);
SP_FLOAT_KERNEL(add32fInPlace, "spAdd32fInPlace", InPlace32fFn, Add32fInPlace);
SP_FLOAT_KERNEL(sub32fInPlace, "spSub32fInPlace", InPlace32fFn, Sub32fInPlace);
SP_FLOAT_KERNEL(addProduct32f, "spAddProduct32f", Binary32fFn, AddProduct32f);
SP_FLOAT_KERNEL(dotProduct32f, "spDotProduct32f", DotProduct32fFn, DotProduct32f);
SP_FLOAT_KERNEL(flip32, "spFlip32", Flip32Fn, Flip32);
SP_FLOAT_KERNEL(floatToInt16Interleave, "spFloatToInt16Interleave", FloatToInt16InterleaveFn,
                FloatToInt16Interleave);
#undef SP_FLOAT_KERNEL
}  // namespace sp::kernels

// Every argument is checked here; the implementations behind the entries trust them.
namespace {

SpStatus Check(std::initializer_list<const void*> pointers, int n) {
    for (const void* p : pointers)
        if (!p) return spStsNullPtrErr;
    return n < 1 ? spStsSizeErr : spStsNoErr;
}

using sp::CallChecked;

// The channel-array kernels: the other array, the channel count, the length, then every channel.
template <class P>
SpStatus CheckChannels(const void* other, P const* channels, int count, int n) {
    if (!other || !channels) return spStsNullPtrErr;
    if (count < 1) return spStsNumChannelsErr;
    if (n < 1) return spStsSizeErr;
    for (int c = 0; c < count; ++c)
        if (!channels[c]) return spStsNullPtrErr;
    return spStsNoErr;
}

}  // namespace

using namespace sp::kernels;

SpStatus spZero8u(uint8_t* dst, int n) {
    return CallChecked(zero8u, Check({dst}, n), dst, n);
}
SpStatus spZero16s(int16_t* dst, int n) {
    return CallChecked(zero16s, Check({dst}, n), dst, n);
}
SpStatus spZero32f(float* dst, int n) {
    return CallChecked(zero32f, Check({dst}, n), dst, n);
}
SpStatus spCopy32f(const float* src, float* dst, int n) {
    return CallChecked(copy32f, Check({src, dst}, n), src, dst, n);
}
SpStatus spMulC32fInPlace(float c, float* srcDst, int n) {
    return CallChecked(mulC32fInPlace, Check({srcDst}, n), c, srcDst, n);
}
SpStatus spMulC32f(const float* src, float c, float* dst, int n) {
    return CallChecked(mulC32f, Check({src, dst}, n), src, c, dst, n);
}
SpStatus spAddProductC32f(const float* src, float c, float* dst, int n) {
    return CallChecked(addProductC32f, Check({src, dst}, n), src, c, dst, n);
}
SpStatus spMul32f(const float* a, const float* b, float* dst, int n) {
    return CallChecked(mul32f, Check({a, b, dst}, n), a, b, dst, n);
}
SpStatus spMul32fInPlace(const float* a, float* srcDst, int n) {
    return CallChecked(mul32fInPlace, Check({a, srcDst}, n), a, srcDst, n);
}
SpStatus spAdd32f(const float* a, const float* b, float* dst, int n) {
    return CallChecked(add32f, Check({a, b, dst}, n), a, b, dst, n);
}
SpStatus spAdd32fInPlace(const float* a, float* srcDst, int n) {
    return CallChecked(add32fInPlace, Check({a, srcDst}, n), a, srcDst, n);
}
SpStatus spSub32fInPlace(const float* a, float* srcDst, int n) {
    return CallChecked(sub32fInPlace, Check({a, srcDst}, n), a, srcDst, n);
}
SpStatus spAddProduct32f(const float* a, const float* b, float* dst, int n) {
    return CallChecked(addProduct32f, Check({a, b, dst}, n), a, b, dst, n);
}
SpStatus spDotProduct32f(const float* a, const float* b, int n, float* result) {
    return CallChecked(dotProduct32f, Check({a, b, result}, n), a, b, n, result);
}
SpStatus spFlip32(const float* src, float* dst, int n) {
    return CallChecked(flip32, Check({src, dst}, n), src, dst, n);
}
SpStatus spMulC16sScaledInPlace(int16_t c, int16_t* srcDst, int n, int shift) {
    return CallChecked(mulC16sScaledInPlace, Check({srcDst}, n), c, srcDst, n, shift);
}
SpStatus spMulC16sScaled(const int16_t* src, int16_t c, int16_t* dst, int n, int shift) {
    return CallChecked(mulC16sScaled, Check({src, dst}, n), src, c, dst, n, shift);
}
SpStatus spAdd16sScaled(const int16_t* a, const int16_t* b, int16_t* dst, int n, int shift) {
    return CallChecked(add16sScaled, Check({a, b, dst}, n), a, b, dst, n, shift);
}
SpStatus spDeinterleave32(const float* src, int channels, int n, float* const* dst) {
    return CallChecked(deinterleave32, CheckChannels(src, dst, channels, n), src, channels, n, dst);
}
SpStatus spFloatToInt16Interleave(const float* const* src, int channels, int n, int16_t* dst) {
    return CallChecked(floatToInt16Interleave, CheckChannels(dst, src, channels, n), src, channels,
                       n, dst);
}
SpStatus spSwapBytes16(const uint16_t* src, uint16_t* dst, int n) {
    return CallChecked(swapBytes16, Check({src, dst}, n), src, dst, n);
}
