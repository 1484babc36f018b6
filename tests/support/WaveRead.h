// What the plug-in's WAV reader makes of a file, for suites that link the
// impulse-response library.
#pragma once

#include "impulse/WaveReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tam::test {

struct WaveRead
{
    std::vector<float> samples; ///< interleaved
    std::int32_t rate = 0;
    std::int32_t channels = 0;
    std::int32_t count = 0; ///< channels x frames
    std::size_t frames() const { return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0; }
    float at(std::size_t frame, int channel) const
    {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
};

/// Reads a file with the plug-in's WAV reader (throws its WaveError).
inline WaveRead readWave(const std::string& path)
{
    WaveRead read;
    read.samples = ReadWaveFile(path, read.rate, read.channels, read.count);
    return read;
}

} // namespace tam::test
