// The AVX2/FMA build of the transform's butterflies and its permutation
// (Fft.cpp). Its translation unit is the only one of the transform compiled
// for AVX2; cdft calls it only when that instruction set is active.
#pragma once

namespace tam {

/// The transform of `points` complex values at a, natural order out. w1,
/// w3 and tablePoints describe the built table as Fft.cpp lays it out.
void transformAvx2(float* a, int points, bool backward, const float* w1, const float* w3, int tablePoints);

} // namespace tam
