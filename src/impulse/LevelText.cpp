#include "impulse/LevelText.h"

#include <algorithm>
#include <cmath>

namespace tam {

namespace {

constexpr float eqRangeDb = 30.0f;             // cut at factor 0 before the stretch
constexpr float levelRangeDb = 60.0f;          // attenuation at level 0 before the stretch
constexpr float eqStretchDb = 40.0f;           // the last decibel of the EQ control spans this much
constexpr float levelStretchDb = 80.0f;        // the last decibel of the level control spans this much
constexpr float eqInfiniteTenths = 290.0f;     // EQ cuts beyond this show as "-oo dB"
constexpr long amplitudeInfiniteTenths = 1000; // amplitudes below -100 dB show as "-oo dB"
constexpr float silentAmplitude = 1.0e-16f;    // stands in for 0 so the logarithm stays finite
constexpr float integerLimit = 1.0e9f;         // keeps absurd inputs inside the integer range

/// Attenuation curve shared by the EQ and envelope controls: `range` dB over
/// the control, the last decibel stretched to `stretch` dB.
float stretchedAmplitude(float x, float range, float stretch)
{
    float a = (1.0f - x) * range;
    if (a > range)
        a = range;
    const float knee = range - 1.0f;
    if (a > knee)
        a = (a - knee) * stretch + knee;
    return flushDenormal(1.0f / std::pow(10.0f, a / 20.0f));
}

/// Sign, whole decibels, one decimal and the unit from a magnitude in tenths.
std::string tenthsText(char sign, long tenths)
{
    std::string text(1, sign);
    text += std::to_string(tenths / 10);
    text += '.';
    text += static_cast<char>('0' + tenths % 10);
    text += " dB";
    return text;
}

} // namespace

float eqAmplitude(float v)
{
    return stretchedAmplitude(v, eqRangeDb, eqStretchDb);
}

float levelCurve(float x)
{
    return stretchedAmplitude(x, levelRangeDb, levelStretchDb);
}

std::string eqGainText(float v)
{
    const float t = (1.0f - v) * eqRangeDb * 10.0f;
    if (std::isnan(t) || t > eqInfiniteTenths)
        return "-oo dB";
    if (t == 0.0f)
        return "0 dB";
    // A factor above 1 boosts; show it as a gain instead of mangled digits.
    const long r = std::lrint(std::fmax(t, -integerLimit));
    return r < 0 ? tenthsText('+', -r) : tenthsText('-', r);
}

std::string amplitudeText(float a)
{
    // The level of a negative amplitude is that of its magnitude.
    float magnitude = std::fabs(a);
    if (magnitude == 0.0f)
        magnitude = silentAmplitude;
    const float tenths = 200.0f * std::log10(1.0f / magnitude);
    if (std::isnan(tenths))
        return "-oo dB";
    const long x = static_cast<long>(std::fmax(std::fmin(tenths, integerLimit), -integerLimit));
    if (x == 0)
        return "0 dB";
    if (x > amplitudeInfiniteTenths)
        return "-oo dB";
    return x < 0 ? tenthsText('+', -x) : tenthsText('-', x);
}

} // namespace tam
