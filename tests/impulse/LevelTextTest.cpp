#include "impulse/LevelText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tam {
namespace {

std::string chars(float v)
{
    const auto pair = valueToChars(v);
    return std::string(pair.data(), pair.size());
}

/// Decodes a whole value list the way the parameter setter rebuilds a name.
std::string decode(const std::array<float, fileNameValueCount>& values)
{
    std::string name;
    for (float v : values)
        name += chars(v);
    return name;
}

TEST(LevelCurves, EqAmplitudeCoversThirtyDecibelsThenStretchesTheLastOne)
{
    EXPECT_FLOAT_EQ(eqAmplitude(1.0f), 1.0f);
    EXPECT_NEAR(eqAmplitude(0.5f), std::pow(10.0, -15.0 / 20.0), 1e-6);
    EXPECT_NEAR(eqAmplitude(1.0f / 30.0f), std::pow(10.0, -29.0 / 20.0), 1e-6);
    EXPECT_NEAR(eqAmplitude(0.0f), std::pow(10.0, -69.0 / 20.0), 1e-8);
    // Below zero the cut is held at its maximum instead of growing.
    EXPECT_FLOAT_EQ(eqAmplitude(-1.0f), eqAmplitude(0.0f));
}

TEST(LevelCurves, LevelCurveCoversSixtyDecibelsThenStretchesTheLastOne)
{
    EXPECT_FLOAT_EQ(levelCurve(1.0f), 1.0f);
    EXPECT_NEAR(levelCurve(0.5f), std::pow(10.0, -30.0 / 20.0), 1e-6);
    EXPECT_NEAR(levelCurve(1.0f / 60.0f), std::pow(10.0, -59.0 / 20.0), 1e-6);
    EXPECT_NEAR(levelCurve(0.0f), std::pow(10.0, -139.0 / 20.0), 1e-10);
    EXPECT_GT(levelCurve(0.0f), 0.0f);
}

TEST(LevelCurves, BothCurvesFallMonotonicallyAsTheControlFalls)
{
    float previousEq = eqAmplitude(1.0f);
    float previousLevel = levelCurve(1.0f);
    for (int step = 999; step >= 0; --step)
    {
        const float x = static_cast<float>(step) / 1000.0f;
        EXPECT_LE(eqAmplitude(x), previousEq) << x;
        EXPECT_LE(levelCurve(x), previousLevel) << x;
        previousEq = eqAmplitude(x);
        previousLevel = levelCurve(x);
    }
}

TEST(LevelCurves, FlushDenormalZeroesOnlyDenormals)
{
    EXPECT_EQ(flushDenormal(std::numeric_limits<float>::denorm_min()), 0.0f);
    EXPECT_EQ(flushDenormal(-std::numeric_limits<float>::denorm_min()), 0.0f);
    EXPECT_EQ(flushDenormal(std::numeric_limits<float>::min()), std::numeric_limits<float>::min());
    EXPECT_EQ(flushDenormal(-0.25f), -0.25f);
}

TEST(LevelTexts, EqGainTextInTenthsOfADecibel)
{
    EXPECT_EQ(eqGainText(1.0f), "0 dB");
    EXPECT_EQ(eqGainText(0.5f), "-15.0 dB");
    EXPECT_EQ(eqGainText(0.99f), "-0.3 dB");
    EXPECT_EQ(eqGainText(0.0f), "-oo dB");
    EXPECT_EQ(eqGainText(0.03f), "-oo dB");
    EXPECT_EQ(eqGainText(0.04f), "-28.8 dB");
}

TEST(LevelTexts, EqGainTextRoundsHalvesToEven)
{
    // (1 - 0.505f) * 30 * 10 is exactly 148.5 in single precision.
    ASSERT_EQ((1.0f - 0.505f) * 30.0f * 10.0f, 148.5f);
    EXPECT_EQ(eqGainText(0.505f), "-14.8 dB");
}

TEST(LevelTexts, EqGainTextShowsABoostAsPositive)
{
    EXPECT_EQ(eqGainText(1.1f), "+3.0 dB");
    EXPECT_EQ(eqGainText(std::numeric_limits<float>::quiet_NaN()), "-oo dB");
}

TEST(LevelTexts, AmplitudeTextTruncatesTowardZero)
{
    EXPECT_EQ(amplitudeText(1.0f), "0 dB");
    EXPECT_EQ(amplitudeText(0.5f), "-6.0 dB");
    EXPECT_EQ(amplitudeText(2.0f), "+6.0 dB");
    // -15.84 tenths: truncation gives +1.5, flooring would give +1.6.
    EXPECT_EQ(amplitudeText(1.2f), "+1.5 dB");
    // Within a tenth of a decibel of unity either way.
    EXPECT_EQ(amplitudeText(1.001f), "0 dB");
    EXPECT_EQ(amplitudeText(0.999f), "0 dB");
    EXPECT_EQ(amplitudeText(0.001f), "-60.0 dB");
}

TEST(LevelTexts, AmplitudeTextOfSilenceAndOddInputs)
{
    EXPECT_EQ(amplitudeText(0.0f), "-oo dB");
    EXPECT_EQ(amplitudeText(0.00001f), "-100.0 dB");
    EXPECT_EQ(amplitudeText(0.000009f), "-oo dB");
    EXPECT_EQ(amplitudeText(std::numeric_limits<float>::denorm_min()), "-oo dB");
    EXPECT_EQ(amplitudeText(-0.5f), "-6.0 dB");
    EXPECT_EQ(amplitudeText(std::numeric_limits<float>::quiet_NaN()), "-oo dB");
}

TEST(FileNameTransport, TwoCharactersPerValue)
{
    const auto values = fileNameToValues("ab");
    EXPECT_EQ(values[0], (97.0f * 256.0f + 98.0f) / 65536.0f);
    for (std::size_t i = 1; i < values.size(); ++i)
        EXPECT_EQ(values[i], 0.0f) << i;
    EXPECT_EQ(chars(values[0]), "ab");
}

TEST(FileNameTransport, OddLengthPairsTheLastCharacterWithASpace)
{
    const auto values = fileNameToValues("abc");
    EXPECT_EQ(values[1], (99.0f * 256.0f + 32.0f) / 65536.0f);
    EXPECT_EQ(values[2], 0.0f);
    EXPECT_EQ(chars(values[1]), "c ");
}

TEST(FileNameTransport, EmptyNameCarriesASpaceAndTheZeroByte)
{
    const auto values = fileNameToValues("");
    EXPECT_EQ(values[0], 0.125f);
    EXPECT_EQ(chars(values[0]), "  ");
    EXPECT_EQ(values[1], 0.0f);
}

TEST(FileNameTransport, LongNamesTravelAsTheirFirst254Characters)
{
    std::string name;
    for (int i = 0; i < 300; ++i)
        name += static_cast<char>('A' + i % 26);
    const std::string decoded = decode(fileNameToValues(name));
    EXPECT_EQ(decoded, name.substr(0, 254));

    const std::string exact = name.substr(0, 254);
    EXPECT_EQ(decode(fileNameToValues(exact)), exact);
    const std::string shorter = name.substr(0, 253);
    EXPECT_EQ(decode(fileNameToValues(shorter)), shorter + " ");
}

TEST(FileNameTransport, HighCodesRoundTripAndUnprintableOnesBecomeSpaces)
{
    const std::string name = "C:\\Impulse\\H\xe4lle \xfe.wav";
    std::string decoded = decode(fileNameToValues(name));
    while (!decoded.empty() && decoded.back() == ' ')
        decoded.pop_back();
    EXPECT_EQ(decoded, name);

    EXPECT_EQ(chars(fileNameToValues("\t\xff")[0]), "  ");
    EXPECT_EQ(chars(1.0f), "  ");
    EXPECT_EQ(chars(-0.5f), "  ");
    EXPECT_EQ(chars(std::numeric_limits<float>::quiet_NaN()), "  ");
}

TEST(FileNameTransport, ValueToCharsRoundsHalvesToEven)
{
    // 24930.5 / 65536: ties to even gives 24930 ("ab"), not 24931 ("ac").
    EXPECT_EQ(chars(24930.5f / 65536.0f), "ab");
    EXPECT_EQ(chars(24931.5f / 65536.0f), "ad");
    // A value a host stored with a little error still decodes.
    EXPECT_EQ(chars(24930.0f / 65536.0f + 3.0e-6f), "ab");
}

TEST(FileNameChecksum, CountsEveryCharacterButSpaces)
{
    EXPECT_FLOAT_EQ(fileNameChecksum("abc"), 0.0030298f);
    EXPECT_EQ(fileNameChecksum("a b"), fileNameChecksum("ab"));
    EXPECT_EQ(fileNameChecksum("  "), fileNameChecksum(""));
    EXPECT_FLOAT_EQ(fileNameChecksum(""), 1.0e-7f);
    // Codes above 127 count as 128 .. 255, not as negative numbers.
    EXPECT_FLOAT_EQ(fileNameChecksum("\xe4"), (1.0f + 229.0f + 10000.0f) / 1.0e7f);
}

TEST(FileNameChecksum, MatchesAtOneTenMillionth)
{
    const std::string name = "/home/user/impulses/hall.wav";
    const float k = fileNameChecksum(name);
    EXPECT_TRUE(checksumMatches(name, k));
    // A host that kept the value only to about seven digits still matches.
    EXPECT_TRUE(checksumMatches(name, k + 3.0e-8f));
    EXPECT_FALSE(checksumMatches(name, k + 1.0e-7f));
    EXPECT_FALSE(checksumMatches(name + "x", k));
    EXPECT_FALSE(checksumMatches(name, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(checksumMatches(name, std::numeric_limits<float>::infinity()));
}

} // namespace
} // namespace tam
