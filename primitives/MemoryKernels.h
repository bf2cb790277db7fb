// The entry tables of the memory utilities (for the variant tests and benchmarks).
#pragma once

#include "primitives/Memory.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

using Copy8uFn = SpStatus(const uint8_t*, uint8_t*, int);
using Set8uFn = SpStatus(uint8_t, uint8_t*, int);
using Set16sFn = SpStatus(int16_t, int16_t*, int);
using CopyRegion8uFn = SpStatus(const uint8_t*, int, uint8_t*, int, SpSize);

extern const Kernel<Copy8uFn> copy8u;
extern const Kernel<Set8uFn> set8u;
extern const Kernel<Set16sFn> set16s;
extern const Kernel<CopyRegion8uFn> copyRegion8u;

// Runs above this many bytes are copied with stores that bypass the cache.
inline constexpr int64_t kStreamingCopyThreshold = 0x100000;

}  // namespace sp::kernels

// SIMD variants: SSE2 only. The copies are bound by memory; wider stores gain nothing.
namespace sp::x86 {
SpStatus Copy8uSse2(const uint8_t*, uint8_t*, int);
SpStatus Set16sSse2(int16_t, int16_t*, int);
SpStatus CopyRegion8uSse2(const uint8_t*, int, uint8_t*, int, SpSize);
}  // namespace sp::x86
