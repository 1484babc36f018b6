#include "impulse/WaveReader.h"

#include "impulse/WaveStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace tam {

namespace {

constexpr std::int32_t framesPerRead = 12000;
constexpr std::int32_t workBufferBytes = 96000; ///< 12000 frames of up to 8 bytes

// Turns the samples of PCM frames into floats, nominally -1..+1. Sample c of
// a frame starts c containers into it, a container being the block
// alignment's share of one channel; a sample narrower than its container
// sits in the container's first bytes.
class SampleConverter
{
public:
    explicit SampleConverter(const WaveFormat& pcm)
        : layout(sampleLayoutOf(pcm.tag(), pcm.bitsPerSample())), channels(pcm.channels()),
          frameBytes(pcm.blockAlign()), containerBytes(channels > 0 ? frameBytes / channels : 0)
    {
        if (layout == SampleLayout::none)
            raiseWaveError(waveError::unsupportedBits);
    }

    void convert(const std::uint8_t* frames, std::int32_t frameCount, float* out) const
    {
        for (std::int32_t f = 0; f < frameCount; ++f)
        {
            const std::uint8_t* frame = frames + static_cast<std::ptrdiff_t>(f) * frameBytes;
            for (int c = 0; c < channels; ++c)
                *out++ = sample(frame + c * containerBytes);
        }
    }

private:
    float sample(const std::uint8_t* p) const
    {
        switch (layout)
        {
        case SampleLayout::unsigned8:
            return (2.0f * static_cast<float>(p[0])) / 255.0f - 1.0f;
        case SampleLayout::signed16:
        {
            const auto s = static_cast<std::int16_t>(p[0] | (p[1] << 8));
            return s > 0 ? static_cast<float>(s) / 32767.0f : static_cast<float>(s) / 32768.0f;
        }
        case SampleLayout::signed20:
        {
            std::int32_t v = (p[0] | (p[1] << 8) | (p[2] << 16)) >> 4;
            if (v >= 524288)
                v -= 1048576;
            return v > 0 ? static_cast<float>(v) / 524287.0f : static_cast<float>(v) / 524288.0f;
        }
        case SampleLayout::signed24:
        {
            std::int32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
            if (v >= 8388608)
                v -= 16777216;
            return v > 0 ? static_cast<float>(v) / 8388607.0f : static_cast<float>(v) / 8388608.0f;
        }
        case SampleLayout::signed32:
        {
            const std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                       (static_cast<std::uint32_t>(p[2]) << 16) |
                                       (static_cast<std::uint32_t>(p[3]) << 24);
            const auto v = static_cast<std::int32_t>(bits);
            return static_cast<float>(static_cast<double>(v) / 2147483648.0);
        }
        case SampleLayout::float32:
        {
            float v;
            std::memcpy(&v, p, sizeof v);
            return checked(v);
        }
        case SampleLayout::float64:
        {
            double v;
            std::memcpy(&v, p, sizeof v);
            return checked(static_cast<float>(v));
        }
        case SampleLayout::none:
            break;
        }
        return 0.0f;
    }

    // Not-a-number and infinite samples would poison every sum the impulse
    // response goes into.
    static float checked(float v)
    {
        if (!std::isfinite(v))
            raiseWaveError(waveError::illegalNumber);
        return v;
    }

    SampleLayout layout;
    int channels;
    int frameBytes;     ///< bytes
    int containerBytes; ///< bytes per channel within a frame
};

} // namespace

std::vector<float> ReadWaveFile(const std::string& fileName, std::int32_t& sampleRate, std::int32_t& channels,
                                std::int32_t& sampleCount)
{
    TFileWaveStream stream(fileName);
    TPCMWaveReader reader(stream);
    reader.FileSize = stream.FileSize;
    const std::int32_t fileChannels = stream.Format.channels();

    if (reader.FrameCount < 1)
        raiseWaveError(waveError::noSamples);
    // Sized from the frames, not the file: nothing more is ever delivered.
    const std::int64_t total = reader.FrameCount * fileChannels;
    if (total > std::numeric_limits<std::int32_t>::max())
        raiseWaveError(waveError::fileTooLarge);
    const SampleConverter converter(reader.PCMFormat);
    const std::int32_t frameBytes = reader.PCMFormat.blockAlign();
    const std::int32_t framesPerStep = std::clamp(workBufferBytes / frameBytes, 1, framesPerRead);
    std::vector<float> result;
    std::vector<std::uint8_t> work;
    try
    {
        result.assign(static_cast<std::size_t>(total), 0.0f);
        work.resize(static_cast<std::size_t>(framesPerStep) * static_cast<std::size_t>(frameBytes));
    }
    // A file the address space cannot hold fails like any other file.
    catch (const std::bad_alloc&)
    {
        raiseWaveError(waveError::fileTooLarge);
    }
    catch (const std::length_error&)
    {
        raiseWaveError(waveError::fileTooLarge);
    }
    std::size_t written = 0;
    for (;;)
    {
        const std::int32_t frames = reader.Read(work.data(), framesPerStep);
        if (frames < 1)
            break;
        converter.convert(work.data(), frames, result.data() + written);
        written += static_cast<std::size_t>(frames) * static_cast<std::size_t>(fileChannels);
    }
    // A decoder that stops early would leave silence in place of the
    // response: nothing delivered, or more than one block missing, is
    // an error rather than a quiet success.
    const auto delivered = static_cast<std::int64_t>(written / static_cast<std::size_t>(fileChannels));
    if (delivered == 0 || reader.FrameCount - delivered > reader.FramesPerBlock)
        raiseWaveError(waveError::missingFrames);
    reader.SampleCount = total;

    sampleRate = static_cast<std::int32_t>(stream.Format.samplesPerSec());
    channels = fileChannels;
    sampleCount = static_cast<std::int32_t>(total);
    return result;
}

} // namespace tam
