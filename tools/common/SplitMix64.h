// The seeded generator of the tools, the benchmarks' material and the demo:
// splitmix64, which gives the same numbers for a seed on every platform and
// run, unlike the standard distributions. Never used by the plug-in.
#pragma once

#include <cstdint>

namespace tam::tools {

class SplitMix64
{
public:
    explicit SplitMix64(std::uint64_t seed) : state(seed) {}

    std::uint64_t nextBits()
    {
        state += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [0, 1) from the top 53 bits.
    double uniform() { return static_cast<double>(nextBits() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state;
};

} // namespace tam::tools
