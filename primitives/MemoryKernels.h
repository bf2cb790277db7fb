// The entry tables of the memory utilities (for the variant tests and benchmarks).
#pragma once

#include <cstddef>

#include "primitives/Memory.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

// The implementations trust the entries' checks (valid pointers, lengths and sizes of at least 1,
// positive steps) and return nothing.
using Copy8uFn = void(const uint8_t*, uint8_t*, int);
using Set8uFn = void(uint8_t, uint8_t*, int);
using Set16sFn = void(int16_t, int16_t*, int);
using CopyRegion8uFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize);
// The last argument asks for stores that bypass the cache (an implementation without them
// ignores it: the bytes written are the same).
using CopyRegionStores8uFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, bool);

extern const Kernel<Copy8uFn> copy8u;
extern const Kernel<Set8uFn> set8u;
extern const Kernel<Set16sFn> set16s;
extern const Kernel<CopyRegion8uFn> copyRegion8u;
extern const Kernel<CopyRegionStores8uFn> copyRegionStores8u;

// spCopyRegion8u copies runs above this many bytes with stores that bypass the cache.
inline constexpr int64_t kStreamingCopyThreshold = 0x100000;

}  // namespace sp::kernels

// SIMD variants: SSE2 only. The copies are bound by memory; wider stores gain nothing.
namespace sp::x86 {
kernels::Copy8uFn Copy8uSse2;
kernels::Set16sFn Set16sSse2;
kernels::CopyRegion8uFn CopyRegion8uSse2;
kernels::CopyRegionStores8uFn CopyRegionStores8uSse2;
}  // namespace sp::x86
