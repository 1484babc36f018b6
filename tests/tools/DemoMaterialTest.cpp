// The generated demo material: the same on every run, and shaped like a
// hall (decorrelated channels, highs dying first) and a phrase with hits
// and silence to hear the tail in.
#include "demo/DemoMaterial.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tam::demo;

namespace {

/// Energy of one channel in [from, to) seconds after a first difference
/// (mostly highs) or a 16-frame moving average (mostly lows).
double bandEnergy(const StereoSound& s, int channel, double from, double to, bool highs)
{
    const auto first = static_cast<std::size_t>(from * s.sampleRate);
    const auto last = static_cast<std::size_t>(to * s.sampleRate);
    const auto x = [&](std::size_t i) {
        return static_cast<double>(channel == 0 ? s.left(i) : s.right(i));
    };
    double energy = 0.0;
    for (std::size_t i = first; i < last; ++i)
    {
        double v = 0.0;
        if (highs)
            v = x(i) - x(i - 1);
        else
            for (std::size_t k = 0; k < 16; ++k)
                v += x(i - k) / 16.0;
        energy += v * v;
    }
    return energy;
}

} // namespace

TEST(DemoMaterial, IsTheSameOnEveryRun)
{
    EXPECT_EQ(makeHallResponse().interleaved, makeHallResponse().interleaved);
    EXPECT_EQ(makeDryPhrase().interleaved, makeDryPhrase().interleaved);
}

TEST(DemoMaterial, TheHallDecaysFasterInTheHighsAndDiffersBetweenChannels)
{
    const StereoSound hall = makeHallResponse();
    ASSERT_EQ(hall.sampleRate, 44100);
    ASSERT_EQ(hall.frames(), static_cast<std::size_t>(2.5 * 44100));
    float peak = 0.0f;
    for (const float v : hall.interleaved)
        peak = std::max(peak, std::fabs(v));
    EXPECT_FLOAT_EQ(peak, 0.9f);

    for (int c = 0; c < 2; ++c)
    {
        // Energy drop from an early to a late window, highs against lows.
        const double highDrop = bandEnergy(hall, c, 0.1, 0.3, true) / bandEnergy(hall, c, 1.0, 1.2, true);
        const double lowDrop = bandEnergy(hall, c, 0.1, 0.3, false) / bandEnergy(hall, c, 1.0, 1.2, false);
        EXPECT_GT(highDrop, 4.0 * lowDrop) << "channel " << c;
        EXPECT_GT(lowDrop, 3.0) << "the lows decay too";
    }

    double lr = 0.0, ll = 0.0, rr = 0.0;
    for (std::size_t i = hall.sampleRate / 10; i < hall.frames(); ++i)
    {
        lr += static_cast<double>(hall.left(i)) * hall.right(i);
        ll += static_cast<double>(hall.left(i)) * hall.left(i);
        rr += static_cast<double>(hall.right(i)) * hall.right(i);
    }
    EXPECT_LT(std::fabs(lr) / std::sqrt(ll * rr), 0.1) << "decorrelated tails";

    // The early reflections stand out from the tail's start: isolated peaks
    // between 9 and 90 ms, not in the first 8 ms after the direct sound.
    const auto ms = [&](double t) { return static_cast<std::size_t>(t * hall.sampleRate / 1000.0); };
    float early = 0.0f, gap = 0.0f;
    for (std::size_t i = ms(0.2); i < ms(8.0); ++i)
        gap = std::max(gap, std::fabs(hall.left(i)));
    for (std::size_t i = ms(9.0); i < ms(20.0); ++i)
        early = std::max(early, std::fabs(hall.left(i)));
    EXPECT_EQ(gap, 0.0f);
    EXPECT_GT(early, 0.05f);
}

TEST(DemoMaterial, ThePhraseIsStereoAndEndsInSilenceAfterItsLastHit)
{
    const StereoSound phrase = makeDryPhrase();
    ASSERT_EQ(phrase.frames(), static_cast<std::size_t>(4.0 * 44100));
    double difference = 0.0, lastQuarterSecond = 0.0;
    for (std::size_t i = 0; i < phrase.frames(); ++i)
        difference += std::fabs(phrase.left(i) - phrase.right(i));
    for (std::size_t i = phrase.frames() - phrase.sampleRate / 20; i < phrase.frames(); ++i)
        lastQuarterSecond = std::max(lastQuarterSecond, static_cast<double>(std::fabs(phrase.left(i))));
    EXPECT_GT(difference, 100.0) << "panned voices";
    EXPECT_LT(lastQuarterSecond, 0.02) << "the last hit has died away before the end";
}
