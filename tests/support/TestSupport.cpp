#include "support/TestSupport.h"

#include "wav/WaveFileWriter.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <random>
#include <stdexcept>

namespace tam::test {

TempDir::TempDir()
{
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        auto candidate = base / ("tam-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate))
        {
            root = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

ScopedEnv::ScopedEnv(const char* variable, const std::string& value) : name(variable)
{
    const char* old = std::getenv(variable);
    hadPrevious = old != nullptr;
    if (hadPrevious)
        previous = old;
#if defined(_WIN32)
    _putenv_s(variable, value.c_str());
#else
    setenv(variable, value.c_str(), 1);
#endif
}

ScopedEnv::~ScopedEnv()
{
#if defined(_WIN32)
    _putenv_s(name.c_str(), hadPrevious ? previous.c_str() : "");
#else
    if (hadPrevious)
        setenv(name.c_str(), previous.c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
}

void WavImage::u16(std::uint16_t v)
{
    bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
}

void WavImage::u32(std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
}

void WavImage::tag(const char (&fourCc)[5])
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(fourCc[i]));
}

void WavImage::patch32(std::size_t offset, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void WavImage::save(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void writePcm16Wav(const std::string& path, int sampleRate, int channels, const std::vector<std::int16_t>& interleaved)
{
    constexpr int bits = 16;
    const auto blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    std::vector<std::uint8_t> data(interleaved.size() * sizeof(std::int16_t));
    std::memcpy(data.data(), interleaved.data(), data.size());
    WavImage w;
    w.tag("RIFF");
    w.u32(static_cast<std::uint32_t>(4 + 8 + 16 + 8 + data.size()));
    w.tag("WAVE");
    w.tag("fmt ");
    w.u32(16);
    w.u16(1); // PCM
    w.u16(static_cast<std::uint16_t>(channels));
    w.u32(static_cast<std::uint32_t>(sampleRate));
    w.u32(static_cast<std::uint32_t>(sampleRate) * blockAlign);
    w.u16(blockAlign);
    w.u16(static_cast<std::uint16_t>(bits));
    w.tag("data");
    w.u32(static_cast<std::uint32_t>(data.size()));
    w.append(data);
    w.save(path);
}

void writeFloatWav(const std::string& path, int sampleRate, int channels, const std::vector<float>& interleaved)
{
    tools::writeWaveFile(path, sampleRate, channels, interleaved);
}

std::vector<float> noise(std::size_t n, unsigned seed, float amplitude)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-amplitude, amplitude);
    std::vector<float> v(n);
    for (auto& x : v)
        x = distribution(generator);
    return v;
}

namespace {
thread_local int countingDepth = 0;
thread_local long allocationCount = 0;
thread_local long failingIndex = -1; ///< allocation to refuse, -1 for none
thread_local long allocationsSeen = 0;
thread_local bool failureTriggered = false;
} // namespace

FailingAllocation::FailingAllocation(long n)
{
    failingIndex = n;
    allocationsSeen = 0;
    failureTriggered = false;
}

FailingAllocation::~FailingAllocation()
{
    failingIndex = -1;
}

bool FailingAllocation::triggered() const
{
    return failureTriggered;
}

bool refuseAllocation()
{
    if (failingIndex < 0 || allocationsSeen++ != failingIndex)
        return false;
    failureTriggered = true;
    return true;
}

AllocationCounter::AllocationCounter()
{
    if (countingDepth++ == 0)
        allocationCount = 0;
}

AllocationCounter::~AllocationCounter()
{
    --countingDepth;
}

long AllocationCounter::count() const
{
    return allocationCount;
}

bool refuseAllocation();

void noteAllocation()
{
    if (countingDepth > 0)
        ++allocationCount;
}

} // namespace tam::test

// Replacement of the global allocation functions so the counter sees every
// allocation and release made on a counting thread, including those made
// inside the plug-in module loaded by the host-level tests.
void* operator new(std::size_t size)
{
    tam::test::noteAllocation();
    if (tam::test::refuseAllocation())
        throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    tam::test::noteAllocation();
    if (tam::test::refuseAllocation())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* p) noexcept
{
    if (p != nullptr)
        tam::test::noteAllocation();
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    operator delete(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    operator delete(p);
}
