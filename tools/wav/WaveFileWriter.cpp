#include "wav/WaveFileWriter.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <vector>

namespace tam::tools {

namespace {

constexpr std::uint16_t formatTagPcm = 1;
constexpr std::uint16_t formatTagFloat = 3;
constexpr std::uint32_t riffLimit = std::numeric_limits<std::uint32_t>::max();
constexpr int temporaryNameAttempts = 100;
constexpr std::size_t chunkFrames = 4096; ///< frames converted per fwrite

void putU16(std::vector<unsigned char>& out, std::uint32_t v)
{
    out.push_back(static_cast<unsigned char>(v & 0xFFu));
    out.push_back(static_cast<unsigned char>((v >> 8) & 0xFFu));
}

void putU32(std::vector<unsigned char>& out, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<unsigned char>((v >> shift) & 0xFFu));
}

void putTag(std::vector<unsigned char>& out, const char* tag)
{
    // One byte at a time: GCC 12 at -O2 sees a range insert of four bytes
    // into a fresh vector as an overflow (a false -Wstringop-overflow).
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(tag[i]));
}

std::string describeErrno()
{
    return std::strerror(errno);
}

} // namespace

int bitsPerSample(SampleFormat format)
{
    switch (format)
    {
    case SampleFormat::float32:
        return 32;
    case SampleFormat::pcm24:
        return 24;
    case SampleFormat::pcm16:
        return 16;
    }
    return 32;
}

const char* formatName(SampleFormat format)
{
    switch (format)
    {
    case SampleFormat::float32:
        return "32-bit float";
    case SampleFormat::pcm24:
        return "24-bit PCM";
    case SampleFormat::pcm16:
        return "16-bit PCM";
    }
    return "?";
}

std::int32_t quantise(float sample, int bits, double dither, bool& clipped)
{
    const double fullScale = std::ldexp(1.0, bits - 1);
    const double scaled = std::isnan(sample) ? 0.0 : static_cast<double>(sample) * fullScale;
    // Only the signal itself going past full scale counts as clipping; the
    // dither nudging a full-scale sample by one step does not.
    clipped = scaled < -fullScale || scaled > fullScale - 1.0;
    const double rounded = std::floor(scaled + dither + 0.5);
    if (rounded < -fullScale)
        return static_cast<std::int32_t>(-fullScale);
    if (rounded > fullScale - 1.0)
        return static_cast<std::int32_t>(fullScale - 1.0);
    return static_cast<std::int32_t>(rounded);
}

WaveFileWriter::WaveFileWriter(const std::string& path, int sampleRate, int channels, SampleFormat format,
                               std::uint64_t ditherSeed)
    : targetPath(path), rate(sampleRate), channelCount(channels), sampleFormat(format), dither(ditherSeed)
{
    if (sampleRate <= 0 || channels <= 0 || channels > 8)
        throw WaveWriteError("invalid output format");
    const std::filesystem::path target(path);
    std::error_code error;
    if (std::filesystem::is_directory(target, error))
        throw WaveWriteError("cannot write " + path + ": it is a folder");
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    if (!std::filesystem::is_directory(folder, error))
        throw WaveWriteError("cannot write " + path + ": the folder " + folder.string() + " does not exist");

    std::random_device device;
    for (int attempt = 0; attempt < temporaryNameAttempts && file == nullptr; ++attempt)
    {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".partial-%08x", static_cast<unsigned>(device()));
        std::string leaf = target.filename().string(); // hidden sibling: .NAME.partial-XXXXXXXX
        leaf.insert(leaf.begin(), '.');
        leaf.append(suffix);
        const auto candidate = folder / leaf;
        errno = 0;
        file = std::fopen(candidate.string().c_str(), "wbx"); // never reuse an existing file
        if (file != nullptr)
            tempPath = candidate.string();
        else if (errno != EEXIST)
            break;
    }
    if (file == nullptr)
        throw WaveWriteError("cannot write " + path + ": " + describeErrno());
    try
    {
        writeHeader(0);
    }
    catch (...)
    {
        discard();
        throw;
    }
}

WaveFileWriter::~WaveFileWriter()
{
    discard();
}

void WaveFileWriter::discard()
{
    if (file != nullptr)
    {
        std::fclose(file);
        file = nullptr;
    }
    if (!tempPath.empty())
    {
        std::error_code ignored;
        std::filesystem::remove(tempPath, ignored);
        tempPath.clear();
    }
}

void WaveFileWriter::writeBytes(const void* data, std::size_t size)
{
    if (file == nullptr)
        throw WaveWriteError("cannot write " + targetPath + ": the file is closed");
    if (size != 0 && std::fwrite(data, 1, size, file) != size)
        throw WaveWriteError("cannot write " + targetPath + ": " + describeErrno());
}

void WaveFileWriter::writeHeader(std::uint32_t dataSize)
{
    const bool isFloat = sampleFormat == SampleFormat::float32;
    const std::uint32_t bytesPerSample = static_cast<std::uint32_t>(bitsPerSample(sampleFormat) / 8);
    const std::uint32_t blockAlign = bytesPerSample * static_cast<std::uint32_t>(channelCount);
    const std::uint32_t pad = dataSize & 1u;

    std::vector<unsigned char> header;
    header.reserve(64);
    putTag(header, "RIFF");
    putU32(header, 0); // patched below
    putTag(header, "WAVE");
    putTag(header, "fmt ");
    putU32(header, isFloat ? 18 : 16);
    putU16(header, isFloat ? formatTagFloat : formatTagPcm);
    putU16(header, static_cast<std::uint32_t>(channelCount));
    putU32(header, static_cast<std::uint32_t>(rate));
    putU32(header, static_cast<std::uint32_t>(rate) * blockAlign);
    putU16(header, blockAlign);
    putU16(header, static_cast<std::uint32_t>(bitsPerSample(sampleFormat)));
    if (isFloat)
    {
        // Formats other than PCM carry the extension size and a frame count.
        putU16(header, 0);
        putTag(header, "fact");
        putU32(header, 4);
        putU32(header, dataSize / blockAlign);
    }
    putTag(header, "data");
    putU32(header, dataSize);
    const auto riffSize = static_cast<std::uint32_t>(header.size() - 8 + dataSize + pad);
    for (int i = 0; i < 4; ++i)
        header[static_cast<std::size_t>(4 + i)] = static_cast<unsigned char>((riffSize >> (8 * i)) & 0xFFu);
    headerBytes = static_cast<std::uint32_t>(header.size());
    writeBytes(header.data(), header.size());
}

void WaveFileWriter::write(const float* interleaved, std::size_t frameCount)
{
    const auto bytesPerSample = static_cast<std::size_t>(bitsPerSample(sampleFormat) / 8);
    const std::size_t samplesPerFrame = static_cast<std::size_t>(channelCount);
    if (static_cast<double>(dataBytes) + static_cast<double>(frameCount * samplesPerFrame * bytesPerSample) +
            headerBytes + 1.0 >
        static_cast<double>(riffLimit))
        throw WaveWriteError("cannot write " + targetPath + ": a WAV file holds at most 4 GiB");

    std::vector<unsigned char> bytes;
    bytes.reserve(chunkFrames * samplesPerFrame * bytesPerSample);
    for (std::size_t start = 0; start < frameCount; start += chunkFrames)
    {
        const std::size_t count = std::min(chunkFrames, frameCount - start) * samplesPerFrame;
        const float* samples = interleaved + start * samplesPerFrame;
        if (sampleFormat == SampleFormat::float32)
        {
            // IEEE little-endian floats as they are: x86 and the plug-in's targets only.
            writeBytes(samples, count * sizeof(float));
            continue;
        }
        bytes.clear();
        for (std::size_t i = 0; i < count; ++i)
        {
            bool clip = false;
            const std::int32_t q = quantise(samples[i], bitsPerSample(sampleFormat), dither.next(), clip);
            if (clip)
                ++clipped;
            const auto u = static_cast<std::uint32_t>(q);
            for (std::size_t b = 0; b < bytesPerSample; ++b)
                bytes.push_back(static_cast<unsigned char>((u >> (8 * b)) & 0xFFu));
        }
        writeBytes(bytes.data(), bytes.size());
    }
    frames += frameCount;
    dataBytes += frameCount * samplesPerFrame * bytesPerSample;
}

void WaveFileWriter::finish()
{
    try
    {
        if ((dataBytes & 1u) != 0)
        {
            const unsigned char pad = 0;
            writeBytes(&pad, 1);
        }
        if (std::fseek(file, 0, SEEK_SET) != 0)
            throw WaveWriteError("cannot write " + targetPath + ": " + describeErrno());
        writeHeader(static_cast<std::uint32_t>(dataBytes));
        std::FILE* closing = file;
        file = nullptr;
        if (std::fclose(closing) != 0)
            throw WaveWriteError("cannot write " + targetPath + ": " + describeErrno());
        std::error_code error;
        std::filesystem::rename(tempPath, targetPath, error);
        if (error)
            throw WaveWriteError("cannot write " + targetPath + ": " + error.message());
        tempPath.clear();
    }
    catch (...)
    {
        discard();
        throw;
    }
}

void writeWaveFile(const std::string& path, int sampleRate, int channels, const std::vector<float>& interleaved,
                   SampleFormat format)
{
    WaveFileWriter writer(path, sampleRate, channels, format);
    writer.write(interleaved.data(), interleaved.size() / static_cast<std::size_t>(channels));
    writer.finish();
}

} // namespace tam::tools
