// Fixed-point constants of the 8x8 inverse DCT, shared by the plain and the SIMD versions.
//
// The 1-D transform y[x] = sum_u C(u)/2 * cos((2x+1)u*pi/16) * X[u] (C(0) = 1/sqrt(2), else 1) is
// split into an even half E (X0, X2, X4, X6) and an odd half O (X1, X3, X5, X7): y[x] = E + O and
// y[7-x] = E - O for x = 0..3. Weights are scaled by 2^14 and rounded. Each pass sums its eight
// products exactly in 32 bits (16-bit pairs, as pmaddwd does), rounds half up and saturates to
// 16 bits. The first (vertical) pass keeps 4 fraction bits; the second (horizontal) pass removes
// them with the weights' scale.
#pragma once

#include <cstdint>

namespace sp::vc {

inline constexpr int kIdctWeightBits = 14;
inline constexpr int kIdctFractionBits = 4;
inline constexpr int kIdctShift1 = kIdctWeightBits - kIdctFractionBits;
inline constexpr int kIdctShift2 = kIdctWeightBits + kIdctFractionBits;

// kIdctEven[x] weighs X0, X2, X4, X6 for output x (and 7 - x); kIdctOdd[x] weighs X1, X3, X5, X7.
inline constexpr int16_t kIdctEven[4][4] = {{5793, 7568, 5793, 3135},
                                            {5793, 3135, -5793, -7568},
                                            {5793, -3135, -5793, 7568},
                                            {5793, -7568, 5793, -3135}};
inline constexpr int16_t kIdctOdd[4][4] = {{8035, 6811, 4551, 1598},
                                           {6811, -1598, -8035, -4551},
                                           {4551, -8035, 1598, 6811},
                                           {1598, -4551, 6811, -8035}};

}  // namespace sp::vc
