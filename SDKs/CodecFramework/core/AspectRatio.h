// Sample aspect ratio from a display aspect ratio and a display size.
#pragma once

#include <cstdint>

namespace UMC {

// (height * displayA) : (width * displayB), reduced by halving and by the primes up to 59.
void CalculateSampleAspectRatio(int32_t width, int32_t height, int32_t displayA, int32_t displayB,
                                int32_t* sampleWidth, int32_t* sampleHeight);

// Reduces a fraction the same way.
void ReduceAspectRatio(int64_t* a, int64_t* b);

}  // namespace UMC
