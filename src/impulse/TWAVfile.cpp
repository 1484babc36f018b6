#include "impulse/TWAVfile.h"

#include "impulse/WaveReader.h"
#include "impulse/WaveStream.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tam {

/// A file's samples as the reader delivers them (interleaved floats).
struct FileSamples
{
    std::vector<float> samples;
    std::int32_t rate = 0;
    std::int32_t channels = 0;
    std::int32_t sampleCount = 0;

    float at(int frame, int channel) const
    {
        return samples[static_cast<std::size_t>(frame * channels + channel)];
    }
};

namespace {

/// Reads the whole file and checks that it can serve as a response at
/// hostRate; errorText says why not.
bool readUsableFile(const std::string& name, std::int32_t hostRate, FileSamples& file, std::string& errorText)
{
    try
    {
        file.samples = ReadWaveFile(name, file.rate, file.channels, file.sampleCount);
    }
    catch (const WaveError& error)
    {
        errorText = error.what();
        return false;
    }
    catch (const std::bad_alloc&)
    {
        errorText = "Not enough memory to read the file.";
        return false;
    }
    if (hostRate <= 0 || file.channels < 1 || file.channels > 2 || file.rate <= 0)
    {
        errorText = "The file cannot be used as an impulse response.";
        return false;
    }
    if (std::any_of(file.samples.begin(), file.samples.end(),
                    [](float v) { return !(std::fabs(v) <= TWAVfile::maxSampleMagnitude); }))
    {
        errorText = waveErrorMessage(waveError::samplesOutOfRange);
        return false;
    }
    return true;
}

} // namespace

TWAVfile::TWAVfile(PartitionWriter writer)
    : waves(new float[4 * static_cast<std::size_t>(waveCapacity)]),
      workBuffer(new float[spectrumFloats]), partitionWriter(writer)
{
    eqCurve.initCurve();
    reset();
}

void TWAVfile::reset()
{
    loaded = false;
    fileRate = 0.0f;
    fileName.clear();
    recalcPending = true;
    ready.store(false, std::memory_order_release);
    partitionWriter.withdraw();
    autoGain.store(initialAutoGain, std::memory_order_release);
    fft.ip[0] = 0; // the next transform builds the table anew
    fft.w[0] = 0.0f;
    suspended = false;
}

bool TWAVfile::loadFromFile(std::string name, std::int32_t rate, bool& tooLong, bool& clipped,
                            std::string& errorText)
{
    errorText.clear();
    tooLong = false;
    clipped = false;
    FileSamples file;
    if (!readUsableFile(name, rate, file, errorText))
        return false;

    // The file is good: from here on the store changes.
    const int lastFrame = adoptFile(std::move(name), rate, file, tooLong);
    resampleSource(file, lastFrame);
    clipped = sourceClips();
    recalcPending = true;
    return true;
}

int TWAVfile::adoptFile(std::string name, std::int32_t rate, const FileSamples& file, bool& tooLong)
{
    reset();
    hostRate = static_cast<float>(rate);
    attackMaxSamples = hostRate * attackMaxMs / 1000.0f;
    fileName = std::move(name);
    loaded = true;
    channels = static_cast<std::uint8_t>(file.channels);
    fileRate = static_cast<float>(file.rate);

    int lastFrame = file.sampleCount / file.channels - 1;
    if (lastFrame > maxFileFrames - 1)
    {
        lastFrame = maxFileFrames - 1;
        tooLong = true;
    }
    const double length = std::trunc(static_cast<double>(lastFrame) / static_cast<double>(fileRate) * static_cast<double>(hostRate));
    sourceLength = static_cast<std::int32_t>(std::max(0.0, length));
    if (length > maxLength)
    {
        sourceLength = maxLength;
        tooLong = true;
    }
    destLength = sourceLength;
    return lastFrame;
}

void TWAVfile::resampleSource(const FileSamples& file, int lastFrame)
{
    for (int c = 0; c < 2; ++c)
    {
        std::fill(source(c), source(c) + sourceLength + 1, 0.0f);
        std::fill(dest(c), dest(c) + sourceLength + 1, 0.0f);
    }

    // Linear interpolation between the two nearest frames; the last frame is
    // only ever used as a neighbour.
    const double step = static_cast<double>(fileRate) / static_cast<double>(hostRate);
    for (int i = 0; i <= sourceLength; ++i)
    {
        const auto p = static_cast<float>(static_cast<double>(i) * step);
        const auto k = static_cast<int>(std::nearbyint(p));
        const float f = p - static_cast<float>(k);
        const float a = std::fabs(f);
        if (k >= lastFrame)
            continue;
        for (int c = 0; c < 2; ++c)
        {
            const int channel = file.channels == 2 ? c : 0;
            float out = (1.0f - a) * file.at(k, channel);
            if (f > 0.0f)
                out += f * file.at(k + 1, channel);
            if (f < 0.0f)
                out += a * file.at(k - 1, channel);
            source(c)[i] = out;
        }
    }
}

bool TWAVfile::sourceClips() const
{
    for (int c = 0; c < 2; ++c)
    {
        const float* wave = sourceWave(c);
        if (std::any_of(wave, wave + sourceLength + 1, [](float v) { return v > 1.0f || v < -1.0f; }))
            return true;
    }
    return false;
}

} // namespace tam
