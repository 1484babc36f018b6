#include "BenchSupport.h"

#include <cmath>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace tam::bench {

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
