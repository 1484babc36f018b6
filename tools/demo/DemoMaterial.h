// Built-in demo material, generated: a stereo concert-hall impulse response
// and a short dry phrase to play through it. Everything comes from fixed
// seeds, so the same program writes the same samples on every run.
#pragma once

#include "common/SplitMix64.h"

#include <cstdint>
#include <vector>

namespace tam::demo {

inline constexpr int demoRate = 44100;
inline constexpr double hallSeconds = 2.5;
inline constexpr double phraseSeconds = 4.0;

struct StereoSound
{
    int sampleRate = demoRate;
    std::vector<float> interleaved; ///< left, right, left, right, ...

    std::size_t frames() const { return interleaved.size() / 2; }
    float left(std::size_t frame) const { return interleaved[2 * frame]; }
    float right(std::size_t frame) const { return interleaved[2 * frame + 1]; }
};

/// The demo's random numbers: uniform (splitmix64) and standard normal.
class SeededNoise : public tools::SplitMix64
{
public:
    using SplitMix64::SplitMix64;
    /// Standard normal (Box-Muller).
    double gaussian();
};

/// The hall: direct sound, a pattern of early reflections (different in each
/// channel), then a diffuse tail of decaying noise whose high bands die
/// faster than its low ones, independent in the two channels.
StereoSound makeHallResponse(int sampleRate = demoRate);

/// The dry phrase: kick, snare and hi-hat hits, then a sustained chord and a
/// last hit into silence, spread across the stereo field.
StereoSound makeDryPhrase(int sampleRate = demoRate);

/// Reverberation time of the hall at a frequency (seconds to -60 dB).
double hallDecaySeconds(double frequencyHz);

} // namespace tam::demo
