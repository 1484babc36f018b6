// The AVX2/FMA build of the engine's spectral arithmetic (Kernel.h). Its
// translation unit is the only one compiled for AVX2; Kernel.cpp calls it
// only when that instruction set is active.
#pragma once

namespace tam {

void multiplyAccumulateAvx2(const float* slot, const float* partition, float* acc, bool store);
void splitStereoSpectrumAvx2(const float* x, float* out);
void joinStereoSpectrumAvx2(const float* halves, float* out);

// The scalar split and join (Kernel.cpp) of bins first..end-1 and of the two
// bins that pair with themselves; the AVX2 build hands them its lowest bins,
// whose mirrored groups overlap them.
void splitStereoBins(const float* x, float* out, int first, int end);
void joinStereoBins(const float* halves, float* out, int first, int end);

} // namespace tam
