// Spectral arithmetic of the convolution engine.
//
// A block of stereo input is transformed as one complex sequence x = l + i*r
// (left in the real parts, right in the imaginary parts). Its spectrum
// X = L + i*R mixes the two channels; splitStereoSpectrum separates them
// into the half spectra L and R (conjugate symmetry of real signals), in the
// packed layout of PartitionSet.h. The engine then accumulates Y_L += L*H1
// and Y_R += R*H2 over 8193 bins per channel, and joinStereoSpectrum turns
// the accumulated pair back into the packed spectrum Y = Y_L + i*Y_R, whose
// inverse transform carries the left output in the real and the right
// output in the imaginary parts.
//
// This is exactly the mid/side product A = X*S + conj(X~)*D (S, D the mid
// and side spectra of the response, X~ the mirrored bin): A = L*H1 + i*R*H2.
// multiplyPartition keeps that literal form as the reference the tests
// compare with; the engine runs the split form, which moves half the bytes
// and does half the arithmetic.
//
// All functions are allocation-free and run on the audio thread.
#pragma once

#include "engine/TransformLayout.h"

namespace tam {

/// X (full packed stereo spectrum, 32768 floats) -> [L half | R half].
/// `out` must not overlap X.
void splitStereoSpectrum(const float* x, float* out);

/// [Y_L half | Y_R half] -> Y (full packed stereo spectrum). `out` must not
/// overlap the input.
void joinStereoSpectrum(const float* halves, float* out);

/// acc = (store ? 0 : acc) + slot * partition, channel by channel, on the
/// [L | R] x [H1 | H2] half-spectrum layout, on the active instruction set
/// (fft/InstructionSet.h). The buffers need 16-byte alignment only.
void multiplyAccumulate(const float* slot, const float* partition, float* acc, bool store);

/// Portable version of multiplyAccumulate, the reference for the vector one.
void multiplyAccumulateScalar(const float* slot, const float* partition, float* acc, bool store);

/// The literal mid/side kernel on full spectra: A[k] (=|+=) X[k]*S[k] +
/// conj(X[16384-k])*D[k], with extended-precision intermediates. Stores and
/// clears accumulatorEmpty when it is set, accumulates otherwise.
void multiplyPartition(const float* x, const float* s, const float* d, float* a, bool& accumulatorEmpty);

} // namespace tam
