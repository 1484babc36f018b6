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
constexpr double checksumScale = 10000000.0;
constexpr std::int64_t checksumCountWeight = 10000;
constexpr int maxNameIndex = 2 * fileNameValueCount - 2; // highest n: 254 characters travel
constexpr unsigned char spaceCode = 32;
constexpr unsigned char blankCode = 255;

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

std::int64_t roundedChecksum(float v)
{
    // Rounded to nearest, ties to even (the default rounding mode).
    return static_cast<std::int64_t>(std::nearbyint(static_cast<double>(v) * checksumScale));
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

std::array<float, fileNameValueCount> fileNameToValues(const std::string& name)
{
    std::array<float, fileNameValueCount> values{};
    const std::size_t length = name.size();
    // The name is followed by a space and then a zero byte.
    const auto codeAt = [&](std::size_t index) -> int
    {
        if (index < length)
            return static_cast<unsigned char>(name[index]);
        return index == length ? spaceCode : 0;
    };
    // n = length - 1 at most 252; an empty name still yields value 0, as
    // -1 / 2 truncates to 0.
    const long long n = std::min(static_cast<long long>(length) - 1, static_cast<long long>(maxNameIndex));
    for (long long i = 0; i <= n / 2; ++i)
    {
        const auto first = static_cast<std::size_t>(2 * i);
        values[static_cast<std::size_t>(i)] = static_cast<float>(codeAt(first) * 256 + codeAt(first + 1)) / 65536.0f;
    }
    return values;
}

std::array<char, 2> valueToChars(float v)
{
    float scaled = v * 65536.0f;
    if (std::isnan(scaled))
        scaled = 0.0f;
    const long long w = std::llrint(std::fmax(std::fmin(scaled, integerLimit), -integerLimit));
    const long long codes[2] = {(w / 256) % 256, w % 256};
    std::array<char, 2> chars{};
    for (int i = 0; i < 2; ++i)
    {
        const long long code = codes[i];
        chars[static_cast<std::size_t>(i)] =
            (code <= spaceCode || code == blankCode) ? ' ' : static_cast<char>(static_cast<unsigned char>(code));
    }
    return chars;
}

float fileNameChecksum(const std::string& name)
{
    std::int64_t s = 1;
    std::int64_t c = 0;
    for (const char ch : name)
    {
        const auto code = static_cast<unsigned char>(ch);
        if (code == spaceCode)
            continue;
        s += code + 1;
        c += 1;
    }
    return static_cast<float>(static_cast<double>(s + c * checksumCountWeight) / checksumScale);
}

bool checksumMatches(const std::string& name, float v)
{
    // Anything that cannot be a checksum (NaN, infinite, far out of range)
    // never matches, instead of meeting an undefined conversion.
    if (!(std::fabs(v) < 1.0e11f))
        return false;
    return roundedChecksum(fileNameChecksum(name)) == roundedChecksum(v);
}

} // namespace tam
