#include "impulse/LevelText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tam {
namespace {

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

} // namespace
} // namespace tam
