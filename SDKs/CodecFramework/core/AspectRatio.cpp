#include "SDKs/CodecFramework/core/AspectRatio.h"

namespace UMC {

void ReduceAspectRatio(int64_t* a, int64_t* b) {
    if (!a || !b || *a <= 0 || *b <= 0) return;
    while ((*a & 1) == 0 && (*b & 1) == 0) {
        *a >>= 1;
        *b >>= 1;
    }
    static const int64_t kPrimes[] = {2,  3,  5,  7,  11, 13, 17, 19, 23,
                                      29, 31, 37, 41, 43, 47, 53, 59};
    // A term equal to the prime can still be divided by it (5:5 becomes 1:1); only a term below
    // the prime ends the walk.
    for (int64_t p : kPrimes) {
        if (*a < p || *b < p) break;
        while (*a % p == 0 && *b % p == 0) {
            *a /= p;
            *b /= p;
        }
    }
}

void CalculateSampleAspectRatio(int32_t width, int32_t height, int32_t displayA, int32_t displayB,
                                int32_t* sampleWidth, int32_t* sampleHeight) {
    int64_t a = int64_t(height) * displayA;
    int64_t b = int64_t(width) * displayB;
    ReduceAspectRatio(&a, &b);
    if (sampleWidth) *sampleWidth = int32_t(a);
    if (sampleHeight) *sampleHeight = int32_t(b);
}

}  // namespace UMC
