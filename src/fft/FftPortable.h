// The transform of Fft.h computed without SIMD instructions.
//
// Same conventions, same context and the same results as cdft, value for
// value: cdft takes its SIMD path wherever the target has one, so this entry
// lets the tests hold the portable code to the SIMD results on such machines.
// Nothing in the plug-in calls it.
#pragma once

#include <cstdint>

namespace tam {

void cdftPortable(int n, int isgn, float* a, std::int32_t* ip, float* w);

} // namespace tam
