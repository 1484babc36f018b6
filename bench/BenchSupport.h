// Material the benchmarks share: seeded noise and decaying stereo responses,
// so every run measures the same data (files are written with the tools'
// writer, wav/WaveFileWriter.h). Benchmark code only.
#pragma once

#include "common/SplitMix64.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tam::bench {

/// Seeded noise, the same on every platform and run.
class BenchNoise
{
public:
    explicit BenchNoise(std::uint64_t seed) : random(seed) {}
    /// Uniform in [-1, 1).
    float next() { return static_cast<float>(static_cast<double>(random.nextBits() >> 40) * 0x1.0p-23 - 1.0); }

private:
    tools::SplitMix64 random;
};

/// Interleaved stereo decaying noise of `frames` frames, different in each
/// channel, decaying by 60 dB over `decayFrames`; the last `silentFrames`
/// frames are zero.
std::vector<float> decayingStereoNoise(std::size_t frames, double decayFrames, std::size_t silentFrames,
                                       std::uint64_t seed, float peak);

/// A fresh folder under the system's temporary folder.
std::string makeTemporaryFolder(const std::string& prefix);

} // namespace tam::bench
