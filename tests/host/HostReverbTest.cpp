// The plug-in reverberates when driven as a host drives it: the response
// arrives through the file-name parameters, audio through processReplacing.
#include "core/FileNameCodec.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tam;
using namespace tam::test;

namespace {

const PluginModule& module()
{
    return builtModule();
}

constexpr int latency = 8960;

struct ReverbFixture : ::testing::Test
{
    TempDir dir;
    SettingsSandbox settings{dir};

    std::vector<float> left;
    std::vector<float> right;
    std::string path;

    void SetUp() override
    {
        // A short stereo response, different in each channel.
        for (int i = 0; i < 6000; ++i)
        {
            left.push_back(0.6f * std::exp(-i / 900.0f) * std::cos(0.05f * static_cast<float>(i)));
            right.push_back(-0.4f * std::exp(-i / 1500.0f) * std::sin(0.11f * static_cast<float>(i) + 0.3f));
        }
        std::vector<float> interleaved;
        for (std::size_t i = 0; i < left.size(); ++i)
        {
            interleaved.push_back(left[i]);
            interleaved.push_back(right[i]);
        }
        path = dir.file("room.wav");
        writeFloatWav(path, 44100, 2, interleaved);
    }

    /// Sends every parameter in index order, as a host restoring a project.
    void restore(PluginHost& host, float dry, float wet, float autogain)
    {
        const auto values = fileNameToValues(path);
        for (int index = 0; index < 173; ++index)
        {
            float value = host.getParameter(index);
            if (index == 0)
                value = dry;
            else if (index == 1)
                value = wet;
            else if (index == 43)
                value = autogain;
            else if (index == 45)
                value = fileNameChecksum(path);
            else if (index >= 46)
                value = values[static_cast<std::size_t>(index - 46)];
            host.setParameter(index, value);
        }
    }

    /// Largest deviation of an impulse's answer from the response at wet
    /// gain 0.1 plus the dry impulse; the output must be silent before the
    /// latency. Not-a-number counts as the worst.
    double impulseError(PluginHost& host, int block, float dry = 0.0f)
    {
        std::vector<float> l(latency + 7000, 0.0f), r(latency + 7000, 0.0f);
        l[0] = 1.0f;
        r[0] = 1.0f;
        host.run(l, r, block);
        for (int n = 0; n < latency; ++n)
            if (l[static_cast<std::size_t>(n)] != 0.0f)
                return 1.0;
        double worst = 0.0;
        for (std::size_t n = 0; n + 1 < left.size(); ++n)
        {
            const double d = n == 0 ? dry : 0.0;
            for (const double e : {std::fabs(l[latency + n] - 0.1 * left[n] - d),
                                   std::fabs(r[latency + n] - 0.1 * right[n] - d)})
                if (!(e <= worst))
                    worst = e;
        }
        return worst;
    }
};

} // namespace

TEST_F(ReverbFixture, AnImpulseComesBackAsTheResponseAfterTheDeclaredLatency)
{
    for (const int block : {64, 1000, 4096})
    {
        PluginHost host(module());
        host.dispatch(tam::vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        host.dispatch(tam::vst::effMainsChanged, 0, 1);
        restore(host, 0.0f, 1.0f, 0.0f); // wet gain 1 x 0.1 (auto gain off)
        EXPECT_LT(impulseError(host, block), 1e-6) << "block " << block;
    }
}

TEST_F(ReverbFixture, AfterAnySequenceOfRateChangesTheResponseIsTheOneOfTheFinalRate)
{
    PluginHost host(module());
    host.dispatch(tam::vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    restore(host, 0.0f, 1.0f, 0.0f);
    for (const float rate : {48000.0f, 44100.0f, 96000.0f, 44100.0f})
        host.dispatch(tam::vst::effSetSampleRate, 0, 0, nullptr, rate);
    host.dispatch(tam::vst::effMainsChanged, 0, 1);
    EXPECT_LT(impulseError(host, 512), 1e-6);
}

TEST_F(ReverbFixture, AResponseWithHugeSamplesIsRefusedAndThePreviousOneStays)
{
    for (const float huge : {1e30f, 1e35f, std::numeric_limits<float>::max()})
    {
        PluginHost host(module());
        host.dispatch(tam::vst::effMainsChanged, 0, 1);
        restore(host, 1.0f, 1.0f, 0.0f);
        std::vector<float> samples(2000, 0.01f);
        samples[10] = huge;
        const std::string bad = dir.file("huge.wav");
        writeFloatWav(bad, 44100, 1, samples);
        const auto values = fileNameToValues(bad);
        for (int i = 0; i < 127; ++i)
            host.setParameter(46 + i, values[static_cast<std::size_t>(i)]);
        host.setParameter(45, fileNameChecksum(bad));
        EXPECT_LT(impulseError(host, 512, 1.0f), 1e-6) << huge;
    }
}

TEST_F(ReverbFixture, BypassAndMuteActOnTheWetAndDryPaths)
{
    PluginHost host(module());
    host.dispatch(tam::vst::effMainsChanged, 0, 1);
    restore(host, 1.0f, 1.0f, 0.0f);
    host.setParameter(41, 1.0f); // bypass
    std::vector<float> l(latency + 3000, 0.0f), r(latency + 3000, 0.0f);
    l[0] = 0.5f;
    host.run(l, r, 512);
    EXPECT_NEAR(l[latency], 0.5f, 1e-6);
    for (std::size_t n = latency + 1; n < l.size(); ++n)
        ASSERT_EQ(l[n], 0.0f) << n;

    host.setParameter(41, 0.0f);
    host.setParameter(42, 1.0f); // mute dry: after its fade only the reverb remains
    std::vector<float> l2(latency * 3, 0.0f), r2(latency * 3, 0.0f);
    l2[latency] = 1.0f;
    host.run(l2, r2, 512);
    EXPECT_NEAR(l2[2 * latency], 0.1 * left[0], 1e-6);
}
