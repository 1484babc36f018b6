#include "impulse/TWAVfile.h"

#include "impulse/WaveReader.h"
#include "impulse/WaveStream.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tam {

namespace {

// A value no shaping parameter can take, so the next calculation never
// matches the cache.
constexpr float impossibleInput = 5.0f;

} // namespace

TWAVfile::TWAVfile(PartitionWriter writer)
    : waves(new float[4 * static_cast<std::size_t>(waveCapacity)]),
      workBuffer(new float[PartitionSet::partitionFloats]), partitionWriter(writer)
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
    cachedEnvelope = impossibleInput;
    cachedReverse = impossibleInput;
    cachedEqPoints[2] = impossibleInput;
    ready.store(false, std::memory_order_release);
    partitionWriter.withdraw();
    autoGain.store(initialAutoGain, std::memory_order_release);
    fftIp[0] = 0;
    fftTable[0] = 0.0f;
    suspended = false;
}

bool TWAVfile::loadFromFile(std::string name, std::int32_t rate, bool& tooLong, bool& clipped,
                            std::string& errorText)
{
    errorText.clear();
    tooLong = false;
    clipped = false;

    std::int32_t fileSampleRate = 0;
    std::int32_t fileChannels = 0;
    std::int32_t sampleCount = 0;
    std::vector<float> samples;
    try
    {
        samples = ReadWaveFile(name, fileSampleRate, fileChannels, sampleCount);
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
    if (rate <= 0 || fileChannels < 1 || fileChannels > 2 || fileSampleRate <= 0)
    {
        errorText = "The file cannot be used as an impulse response.";
        return false;
    }
    if (std::any_of(samples.begin(), samples.end(), [](float v) { return !(std::fabs(v) <= maxSampleMagnitude); }))
    {
        errorText = waveErrorMessage(waveError::samplesOutOfRange);
        return false;
    }

    // The file is good: from here on the store changes.
    reset();
    hostRate = static_cast<float>(rate);
    attackMaxSamples = hostRate * attackMaxMs / 1000.0f;
    fileName = std::move(name);
    loaded = true;
    channels = static_cast<std::uint8_t>(fileChannels);
    fileRate = static_cast<float>(fileSampleRate);

    int lastFrame = sampleCount / fileChannels - 1;
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
            const int channel = fileChannels == 2 ? c : 0;
            auto x = [&](int frame) { return samples[static_cast<std::size_t>(frame * fileChannels + channel)]; };
            float out = (1.0f - a) * x(k);
            if (f > 0.0f)
                out += f * x(k + 1);
            if (f < 0.0f)
                out += a * x(k - 1);
            source(c)[i] = out;
        }
    }

    for (int c = 0; c < 2 && !clipped; ++c)
    {
        const float* wave = source(c);
        clipped = std::any_of(wave, wave + sourceLength + 1, [](float v) { return v > 1.0f || v < -1.0f; });
    }
    recalcPending = true;
    return true;
}

} // namespace tam
