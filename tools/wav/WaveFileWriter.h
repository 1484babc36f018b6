// Writes RIFF WAVE files for the command-line tools: 32-bit float, or 24- and
// 16-bit PCM with TPDF dither. The file is written to a temporary sibling of
// the target and renamed onto it by finish(), so the target is either the
// complete new file or untouched: a failed or abandoned write never leaves a
// half-written output. One thread at a time; never used by the plug-in.
#pragma once

#include "common/SplitMix64.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace tam::tools {

enum class SampleFormat
{
    float32,
    pcm24,
    pcm16,
};

/// Bits per sample of a format.
int bitsPerSample(SampleFormat format);
/// "float", "24-bit PCM", "16-bit PCM".
const char* formatName(SampleFormat format);

class WaveWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Triangular (TPDF) dither: the sum of two independent uniform values of
/// one LSB each, so its values lie in (-1, +1) LSB with variance 1/6 LSB^2.
/// Seeded, so a render is reproducible bit for bit.
class TpdfDither
{
public:
    static constexpr std::uint64_t defaultSeed = 0x7A3D5EEDu;

    explicit TpdfDither(std::uint64_t seed = defaultSeed) : random(seed) {}
    /// Next dither value in LSB.
    double next() { return random.uniform() + random.uniform() - 1.0; }

private:
    SplitMix64 random;
};

/// Quantises a sample (nominally -1..+1) to a signed integer of `bits` bits
/// with the given dither (LSB); values beyond full scale are clamped and
/// reported through `clipped`.
std::int32_t quantise(float sample, int bits, double dither, bool& clipped);

class WaveFileWriter
{
public:
    /// Creates the temporary file next to `path` at once, so an unwritable
    /// destination fails before any work is done. Throws WaveWriteError.
    WaveFileWriter(const std::string& path, int sampleRate, int channels, SampleFormat format,
                   std::uint64_t ditherSeed = TpdfDither::defaultSeed);
    /// Without a successful finish() the temporary file is removed and the
    /// target is left as it was.
    ~WaveFileWriter();
    WaveFileWriter(const WaveFileWriter&) = delete;
    WaveFileWriter& operator=(const WaveFileWriter&) = delete;

    /// Appends frames of interleaved samples. Throws WaveWriteError.
    void write(const float* interleaved, std::size_t frames);
    /// Completes the header, closes the file and renames it onto the target.
    /// Throws WaveWriteError (the target is then untouched).
    void finish();

    std::uint64_t framesWritten() const { return frames; }
    /// Samples that lay beyond the integer range and were clamped (PCM only).
    std::uint64_t clippedSamples() const { return clipped; }
    const std::string& temporaryPath() const { return tempPath; }

private:
    void writeBytes(const void* data, std::size_t size);
    void writeHeader(std::uint32_t dataBytes);
    void discard();

    std::string targetPath;
    std::string tempPath;
    std::FILE* file = nullptr;
    int rate;
    int channelCount;
    SampleFormat sampleFormat;
    TpdfDither dither;
    std::uint64_t frames = 0;
    std::uint64_t dataBytes = 0;
    std::uint64_t clipped = 0;
    std::uint32_t headerBytes = 0; ///< bytes before the sample data
};

/// A whole file in one call: interleaved samples, `channels` to a frame.
/// Throws WaveWriteError.
void writeWaveFile(const std::string& path, int sampleRate, int channels, const std::vector<float>& interleaved,
                   SampleFormat format = SampleFormat::float32);

} // namespace tam::tools
