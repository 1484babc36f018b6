#include "BenchSupport.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace tam::bench {

namespace {

void put16(std::FILE* f, std::uint32_t v)
{
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

void put32(std::FILE* f, std::uint32_t v)
{
    put16(f, v & 0xFFFFu);
    put16(f, v >> 16);
}

} // namespace

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

void writeFloatWave(const std::string& path, int sampleRate, int channels, const std::vector<float>& interleaved)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        throw std::runtime_error("cannot write " + path);
    const auto dataBytes = static_cast<std::uint32_t>(interleaved.size() * sizeof(float));
    const auto blockAlign = static_cast<std::uint32_t>(channels * 4);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 3); // IEEE float
    put16(f, static_cast<std::uint32_t>(channels));
    put32(f, static_cast<std::uint32_t>(sampleRate));
    put32(f, static_cast<std::uint32_t>(sampleRate) * blockAlign);
    put16(f, blockAlign);
    put16(f, 32);
    std::fwrite("data", 1, 4, f);
    put32(f, dataBytes);
    const bool written = std::fwrite(interleaved.data(), 1, dataBytes, f) == dataBytes;
    if (std::fclose(f) != 0 || !written)
        throw std::runtime_error("cannot write " + path);
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
