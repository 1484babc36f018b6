// The sizes every spectrum and partition of the system shares.
//
// A partition (and an input block) is 8192 samples; it is transformed
// zero-padded to 16384 complex points, so the second half of every block
// holds its overlap tail. A full spectrum is 32768 interleaved floats (float
// 2k real part, float 2k + 1 imaginary part of point k); a channel's packed
// half spectrum (PartitionSet.h) takes half of that.
#pragma once

namespace tam {

inline constexpr int partitionLength = 8192;               ///< samples of a partition and an input block
inline constexpr int spectrumPoints = 2 * partitionLength; ///< complex points of a block spectrum
inline constexpr int spectrumFloats = 2 * spectrumPoints;  ///< floats of a full packed spectrum
inline constexpr int halfSpectrumFloats = spectrumPoints;  ///< floats of one channel's packed half spectrum
/// The transforms are unscaled: a forward and an inverse one multiply by this much.
inline constexpr float inverseTransformScale = 1.0f / static_cast<float>(spectrumPoints);

} // namespace tam
