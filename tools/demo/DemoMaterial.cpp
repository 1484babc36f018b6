#include "demo/DemoMaterial.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tam::demo {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double minus60dB = 6.907755278982137; ///< ln(1000): amplitude falls to 1/1000 at the decay time

// Hall response.
constexpr std::uint64_t hallSeed = 0x48414C4C2D323032ull;
constexpr int reflectionsPerChannel = 18;
constexpr double firstReflection = 0.009; ///< seconds
constexpr double reflectionSpan = 0.076;  ///< seconds over which the early reflections arrive
constexpr double tailStart = 0.020;       ///< seconds: the diffuse tail begins to build
constexpr double tailBuildUp = 0.060;     ///< seconds to full density
constexpr double tailLevel = 0.16;        ///< RMS of the diffuse tail at full density, direct sound = 1
constexpr double endFade = 0.150;         ///< seconds of fade at the very end
constexpr float hallPeak = 0.9f;

// Dry phrase.
constexpr std::uint64_t phraseSeed = 0x5048524153452D31ull;
constexpr double beat = 0.5; ///< seconds (120 beats per minute)
constexpr float phrasePeak = 0.5f;

/// A second-order filter section (the usual bilinear designs).
struct Biquad
{
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double z1 = 0, z2 = 0;

    double process(double x)
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

    static Biquad make(double b0, double b1, double b2, double a0, double a1, double a2)
    {
        Biquad f;
        f.b0 = b0 / a0;
        f.b1 = b1 / a0;
        f.b2 = b2 / a0;
        f.a1 = a1 / a0;
        f.a2 = a2 / a0;
        return f;
    }
    static Biquad lowpass(double hz, double q, double rate)
    {
        const double w = 2 * pi * hz / rate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
        return make((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    }
    static Biquad highpass(double hz, double q, double rate)
    {
        const double w = 2 * pi * hz / rate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
        return make((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
    }
    /// Band-pass with 0 dB at the centre.
    static Biquad bandpass(double hz, double q, double rate)
    {
        const double w = 2 * pi * hz / rate, alpha = std::sin(w) / (2 * q), c = std::cos(w);
        return make(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
    }
};

void normalise(StereoSound& sound, float peak)
{
    float largest = 0.0f;
    for (const float v : sound.interleaved)
        largest = std::max(largest, std::fabs(v));
    if (largest <= 0.0f)
        return;
    const float gain = peak / largest;
    for (float& v : sound.interleaved)
        v *= gain;
}

/// Equal-power gains of a pan position (-1 left .. +1 right).
std::array<double, 2> panGains(double pan)
{
    const double angle = (pan + 1.0) * pi / 4.0;
    return {std::cos(angle), std::sin(angle)};
}

/// Adds a mono event to the stereo sound at `start` seconds.
template <typename Voice>
void addEvent(StereoSound& sound, double start, double seconds, double pan, double gain, Voice voice)
{
    const auto rate = static_cast<double>(sound.sampleRate);
    const auto first = static_cast<std::size_t>(std::lround(start * rate));
    const auto count = static_cast<std::size_t>(std::lround(seconds * rate));
    const auto gains = panGains(pan);
    for (std::size_t i = 0; i < count && first + i < sound.frames(); ++i)
    {
        const double v = gain * voice(static_cast<double>(i) / rate);
        sound.interleaved[2 * (first + i)] += static_cast<float>(v * gains[0]);
        sound.interleaved[2 * (first + i) + 1] += static_cast<float>(v * gains[1]);
    }
}

} // namespace

double SeededNoise::gaussian()
{
    const double u1 = 1.0 - uniform(); // (0, 1]: the logarithm stays finite
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * pi * u2);
}

double hallDecaySeconds(double frequencyHz)
{
    // About 2.6 s in the bass, 2.3 s at 1 kHz, 1 s at 8 kHz: air and the
    // audience absorb the highs.
    return 0.5 + 2.1 / (1.0 + std::pow(frequencyHz / 3500.0, 1.5));
}

StereoSound makeHallResponse(int sampleRate)
{
    const auto rate = static_cast<double>(sampleRate);
    StereoSound hall;
    hall.sampleRate = sampleRate;
    const auto frames = static_cast<std::size_t>(std::lround(hallSeconds * rate));
    hall.interleaved.assign(2 * frames, 0.0f);
    SeededNoise noise(hallSeed);

    // Direct sound, arriving a sample later on the right.
    hall.interleaved[0] = 1.0f;
    hall.interleaved[2 * 1 + 1] = 0.9f;

    // Early reflections: sparse at first, denser later, quieter with
    // distance, softened by the walls; each channel hears its own pattern.
    constexpr std::array<double, 5> wallKernel = {0.1, 0.2, 0.4, 0.2, 0.1};
    for (int channel = 0; channel < 2; ++channel)
    {
        for (int k = 0; k < reflectionsPerChannel; ++k)
        {
            const double jitter = noise.uniform() - 0.5;
            const double t = firstReflection +
                             reflectionSpan * std::sqrt((k + 0.5 + 0.8 * jitter) / reflectionsPerChannel);
            const double sign = noise.uniform() < 0.5 ? -1.0 : 1.0;
            const double amplitude = 0.7 * std::pow(firstReflection / t, 0.9) * (0.6 + 0.4 * noise.uniform());
            const auto at = static_cast<std::size_t>(std::lround(t * rate));
            for (std::size_t j = 0; j < wallKernel.size() && at + j < frames; ++j)
                hall.interleaved[2 * (at + j) + static_cast<std::size_t>(channel)] +=
                    static_cast<float>(sign * amplitude * wallKernel[j]);
        }
    }

    // Diffuse tail: independent noise per channel and band, each band
    // decaying with its own reverberation time.
    struct Band
    {
        Biquad filter;
        double decayPerSecond;
    };
    const auto makeBands = [&] {
        std::vector<Band> bands;
        bands.push_back({Biquad::lowpass(177.0, 0.707, rate), minus60dB / hallDecaySeconds(100.0)});
        for (const double centre : {250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0})
            bands.push_back({Biquad::bandpass(centre, 1.41, rate), minus60dB / hallDecaySeconds(centre)});
        bands.push_back({Biquad::highpass(11314.0, 0.707, rate), minus60dB / hallDecaySeconds(14000.0)});
        return bands;
    };
    for (int channel = 0; channel < 2; ++channel)
    {
        auto bands = makeBands();
        for (std::size_t i = 0; i < frames; ++i)
        {
            const double t = static_cast<double>(i) / rate;
            double sum = 0.0;
            for (Band& band : bands)
                sum += band.filter.process(noise.gaussian()) * std::exp(-band.decayPerSecond * t);
            double buildUp = 0.0;
            if (t >= tailStart)
                buildUp = t >= tailStart + tailBuildUp ? 1.0 : 0.5 - 0.5 * std::cos(pi * (t - tailStart) / tailBuildUp);
            const double remaining = hallSeconds - t;
            const double fade = remaining < endFade ? 0.5 - 0.5 * std::cos(pi * remaining / endFade) : 1.0;
            hall.interleaved[2 * i + static_cast<std::size_t>(channel)] +=
                static_cast<float>(tailLevel * sum * buildUp * fade);
        }
    }
    normalise(hall, hallPeak);
    return hall;
}

StereoSound makeDryPhrase(int sampleRate)
{
    const auto rate = static_cast<double>(sampleRate);
    StereoSound phrase;
    phrase.sampleRate = sampleRate;
    phrase.interleaved.assign(2 * static_cast<std::size_t>(std::lround(phraseSeconds * rate)), 0.0f);
    SeededNoise noise(phraseSeed);

    const auto kick = [](double t) {
        // Falling pitch, integrated into the phase.
        const double phase = 2 * pi * (45.0 * t + 75.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
        return std::sin(phase) * std::exp(-t / 0.18) * (1.0 - std::exp(-t / 0.002));
    };
    const auto addSnare = [&](double start, double pan) {
        Biquad body = Biquad::bandpass(3000.0, 0.7, rate);
        addEvent(phrase, start, 0.35, pan, 0.8, [&](double t) {
            const double tone = 0.5 * std::sin(2 * pi * 185.0 * t) * std::exp(-t / 0.05);
            return tone + 1.6 * body.process(noise.gaussian()) * std::exp(-t / 0.09);
        });
    };
    const auto addHat = [&](double start, double pan, double gain) {
        Biquad air = Biquad::highpass(7000.0, 0.707, rate);
        addEvent(phrase, start, 0.12, pan, gain,
                 [&](double t) { return air.process(noise.gaussian()) * std::exp(-t / 0.025); });
    };

    // Two bars of groove.
    for (const double at : {0.0, 1.0, 1.25})
        addEvent(phrase, at * 2 * beat, 0.45, 0.0, 1.0, kick);
    for (const double at : {0.5, 1.5})
        addSnare(at * 2 * beat, -0.2);
    for (int eighth = 0; eighth < 8; ++eighth)
        addHat(eighth * beat / 2, 0.45, eighth % 2 == 0 ? 0.35 : 0.22);

    // A C major chord, spread across the field, slightly detuned per voice.
    constexpr std::array<double, 4> notes = {261.63, 329.63, 392.00, 523.25};
    constexpr std::array<double, 4> pans = {-0.6, -0.2, 0.2, 0.6};
    const double chordStart = 4 * beat;
    const double hold = 1.1;
    for (std::size_t n = 0; n < notes.size(); ++n)
    {
        const double f = notes[n] * (1.0 + 0.0015 * (noise.uniform() - 0.5));
        addEvent(phrase, chordStart, hold + 0.5, pans[n], 0.22, [f, hold](double t) {
            double wave = 0.0;
            for (int h = 1; h <= 4; ++h)
                wave += std::sin(2 * pi * f * h * t) / std::pow(h, 1.5);
            const double attack = std::min(t / 0.015, 1.0);
            const double decay = 0.6 + 0.4 * std::exp(-t / 0.3);
            const double release = t < hold ? 1.0 : std::exp(-(t - hold) / 0.12);
            return wave * attack * decay * release;
        });
    }

    // A last hit into silence: the tail is what is left to hear.
    addEvent(phrase, 7 * beat, 0.45, 0.0, 1.0, kick);
    addSnare(7 * beat, 0.2);

    normalise(phrase, phrasePeak);
    return phrase;
}

} // namespace tam::demo
