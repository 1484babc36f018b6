// From samples to the spectra the engine multiplies with: the one way the
// store, the tests and the benchmarks build partition spectra.
#pragma once

#include "engine/TransformLayout.h"
#include "fft/Fft.h"

#include <cstddef>

namespace tam {

/// Packs samples first .. first + partitionLength - 1 of two channels into
/// `block` (spectrumFloats): sample j becomes complex point j (channel 1 real,
/// channel 2 imaginary); indices outside 0 .. end - 1 and the padding points
/// are 0.
void packPartition(const float* channel1, const float* channel2, std::ptrdiff_t first, std::ptrdiff_t end,
                   float* block);

/// The spectrum of a packed block in the engine's partition layout
/// (PartitionSet.h). `block` is transformed in place and is scratch
/// afterwards; `partition` must not overlap it.
void partitionSpectrum(float* block, float* partition, FftTables& fft);

} // namespace tam
