// The entry tables of the deinterlacing and resize kernels (for the tests and benchmarks).
#pragma once

#include <cstddef>

#include "primitives/Image.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

// The implementations trust the entries' checks (valid pointers, sizes of at least 1, steps that
// hold a row, parameters in range, a work buffer of the size imResizeGetBufferSize gives) and
// return nothing.
using DeinterlaceMethod2Fn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, int, int);
using DeinterlaceThresholdFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, int);
using DeinterlaceOtherAFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize,
                                 ImDeinterlaceState*);
using DeinterlaceOtherBFn = void(const uint8_t*, ptrdiff_t, uint8_t*, ptrdiff_t, SpSize, uint16_t);
using Resize8uFn = void(const uint8_t*, ptrdiff_t, SpSize, uint8_t*, ptrdiff_t, SpSize, int,
                        uint8_t*);
using Resize16uFn = void(const uint16_t*, ptrdiff_t, SpSize, uint16_t*, ptrdiff_t, SpSize, int,
                         uint8_t*);

extern const Kernel<DeinterlaceMethod2Fn> deinterlaceMethod2;
extern const Kernel<DeinterlaceThresholdFn> deinterlaceMethod4;
extern const Kernel<DeinterlaceThresholdFn> deinterlaceMethod5;
extern const Kernel<DeinterlaceOtherAFn> deinterlaceOtherA;
extern const Kernel<DeinterlaceOtherBFn> deinterlaceOtherB;
extern const Kernel<Resize8uFn> resize8uC1;
extern const Kernel<Resize8uFn> resize8uC2;
extern const Kernel<Resize8uFn> resize8uC3;
extern const Kernel<Resize8uFn> resize8uC4;
extern const Kernel<Resize16uFn> resize16uC1;
extern const Kernel<Resize16uFn> resize16uC3;
extern const Kernel<Resize16uFn> resize16uC4;
extern const Kernel<Resize8uFn> resizeYuy2;

}  // namespace sp::kernels
