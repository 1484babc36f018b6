#include "BenchSupport.h"

#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace tam::bench {

float BenchNoise::next()
{
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<float>(static_cast<double>(z >> 40) * 0x1.0p-23 - 1.0);
}

std::vector<float> decayingStereoNoise(std::size_t frames, double decayFrames, std::size_t silentFrames,
                                       std::uint64_t seed, float peak)
{
    BenchNoise noise(seed);
    std::vector<float> out(2 * frames, 0.0f);
    const double rate = std::log(1000.0) / decayFrames;
    for (std::size_t i = 0; i + silentFrames < frames; ++i)
    {
        const auto gain = static_cast<float>(std::exp(-rate * static_cast<double>(i))) * peak;
        out[2 * i] = noise.next() * gain;
        out[2 * i + 1] = noise.next() * gain;
    }
    return out;
}

std::string makeTemporaryFolder(const std::string& prefix)
{
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        const auto candidate = std::filesystem::temp_directory_path() / (prefix + std::to_string(device()));
        if (std::filesystem::create_directory(candidate))
            return candidate.string();
    }
    throw std::runtime_error("cannot create a temporary folder");
}

} // namespace tam::bench
