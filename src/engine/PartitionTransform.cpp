#include "engine/PartitionTransform.h"

#include "engine/Kernel.h"

#include <algorithm>

namespace tam {

void packPartition(const float* channel1, const float* channel2, std::ptrdiff_t first, std::ptrdiff_t end,
                   float* block)
{
    for (std::ptrdiff_t j = 0; j < partitionLength; ++j)
    {
        const std::ptrdiff_t i = first + j;
        const bool inside = i >= 0 && i < end;
        block[2 * j] = inside ? channel1[i] : 0.0f;
        block[2 * j + 1] = inside ? channel2[i] : 0.0f;
    }
    std::fill(block + 2 * partitionLength, block + spectrumFloats, 0.0f);
}

void partitionSpectrum(float* block, float* partition, FftTables& fft)
{
    cdft(spectrumFloats, -1, block, fft);
    splitStereoSpectrum(block, partition);
}

} // namespace tam
