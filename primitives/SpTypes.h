// Types and status codes shared by every kernel.
#pragma once

#include <cstdint>

// A kernel's result: 0 success, negative error, positive warning.
typedef int32_t SpStatus;

enum : SpStatus {
    spStsNoErr = 0,
    spStsSizeErr = -6,        // a length or size below 1
    spStsNullPtrErr = -8,     // a required pointer is null
    spStsStepErr = -14,       // a row step below 1
    spStsCpuDetectErr = -53,  // the processor could not be identified
    spStsNonIntelCpu = 20,    // warning: vendor is not "GenuineIntel"
    spStsNoSse3 = 36,       // warning: no SSE3, the generic class was chosen (also: no cache data)
    spStsNoCacheInfo = 37,  // warning: the processor describes no data cache
};

// Codes of the audio coding and signal kernels.
enum : SpStatus {
    spStsBadArgErr = -5,         // an argument outside the values the kernel accepts
    spStsMemAllocErr = -9,       // the kernel could not allocate its scratch memory
    spStsContextMatchErr = -17,  // a state or set-up whose tag does not match
    spStsNumChannelsErr = -53,   // a channel count below 1
};

struct SpSize {
    int width;
    int height;
};
