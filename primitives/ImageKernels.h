// The entry tables of the deinterlacing and resize kernels (for the tests and benchmarks).
#pragma once

#include "primitives/Image.h"
#include "primitives/dispatch/Kernel.h"

namespace sp::kernels {

using DeinterlaceMethod2Fn = SpStatus(const uint8_t*, int, uint8_t*, int, SpSize, int, int);
using DeinterlaceThresholdFn = SpStatus(const uint8_t*, int, uint8_t*, int, SpSize, int);
using DeinterlaceOtherAFn = SpStatus(const uint8_t*, int, uint8_t*, int, SpSize,
                                     ImDeinterlaceState*);
using DeinterlaceOtherBFn = SpStatus(const uint8_t*, int, uint8_t*, int, SpSize, uint16_t);
using Resize8uFn = SpStatus(const uint8_t*, int, SpSize, uint8_t*, int, SpSize, int, uint8_t*);
using Resize16uFn = SpStatus(const uint16_t*, int, SpSize, uint16_t*, int, SpSize, int, uint8_t*);

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
