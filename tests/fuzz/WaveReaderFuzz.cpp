// libFuzzer target: every input is written to a file and read as an impulse
// response. Reading must either succeed with a consistent result or throw
// WaveError; sanitizers catch everything else.
#include "impulse/WaveReader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const std::string& inputPath()
{
    static const std::string path = []
    {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/tam-wave-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0)
            std::abort();
        close(fd);
        return pattern;
    }();
    return path;
}

void removeInput()
{
    std::remove(inputPath().c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    inputPath();
    std::atexit(removeInput);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = inputPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);

    try
    {
        std::int32_t rate = 0;
        std::int32_t channels = 0;
        std::int32_t count = 0;
        const std::vector<float> samples = tam::ReadWaveFile(path, rate, channels, count);
        // What the store relies on.
        if (rate <= 0 || (channels != 1 && channels != 2) || count <= 0 || count % channels != 0 ||
            samples.size() != static_cast<std::size_t>(count))
            std::abort();
    }
    catch (const tam::WaveError& e)
    {
        if (e.code() <= 0 || std::strncmp(e.what(), "Error ", 6) != 0)
            std::abort();
    }
    return 0;
}
