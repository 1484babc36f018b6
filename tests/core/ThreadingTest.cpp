// The audio thread keeps running while other threads change everything they
// may change. Run under ThreadSanitizer in CI.
#include "core/APlugin.h"
#include "impulse/TWAVfile.h"
#include "support/FileNameParameters.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

using namespace tam;
using namespace tam::test;

namespace {

/// Two stereo responses of different character (and auto gain).
std::vector<std::string> writeResponses(const TempDir& dir)
{
    std::vector<std::string> files;
    for (int f = 0; f < 2; ++f)
    {
        std::vector<float> samples(2 * 30000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.3f * std::exp(-static_cast<float>(i) / (20000.0f - 15000.0f * static_cast<float>(f))) *
                         (((i * (f + 3)) % 7) / 3.5f - 1.0f);
        files.push_back(dir.file("ir" + std::to_string(f) + ".wav"));
        writeFloatWav(files.back(), 44100, 2, samples);
    }
    return files;
}

} // namespace

TEST(Threading, AudioKeepsFlowingWhileParametersResponsesAndStateChange)
{
    TempDir dir;
    SettingsSandbox settings{dir};
    const auto files = writeResponses(dir);

    APlugin plugin(versionOnlyHost);
    plugin.resume();
    sendFileName(plugin, files[0]);
    ASSERT_TRUE(plugin.store().isReady());

    std::atomic<bool> stop{false};
    std::atomic<long> badSamples{0};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::mt19937 generator(1);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        std::vector<float> left(256), right(256);
        float* io[2] = {left.data(), right.data()};
        while (!stop.load())
        {
            for (std::size_t i = 0; i < left.size(); ++i)
            {
                left[i] = noise(generator);
                right[i] = noise(generator);
            }
            if (blocks % 3 == 0)
                plugin.setParameter(param::wet, static_cast<float>(blocks % 10) / 10.0f); // automation
            if (blocks % 50 == 0)
                plugin.setParameter(param::stretch, static_cast<float>(blocks % 7) / 7.0f); // background work
            plugin.processReplacing(io, io, 256);
            for (std::size_t i = 0; i < left.size(); ++i)
                if (!std::isfinite(left[i]) || !std::isfinite(right[i]) || std::fabs(left[i]) > 2.0f ||
                    std::fabs(right[i]) > 2.0f)
                    ++badSamples;
            ++blocks;
        }
    });

    std::thread editor([&] {
        for (int round = 0; round < 6 && !stop.load(); ++round)
        {
            plugin.setParameter(param::eqFirst + 2 * (round % 8), 0.5f + 0.05f * static_cast<float>(round));
            plugin.setParameter(param::eqFirst + 2 * (round % 8) + 1, 0.3f);
            plugin.setParameter(param::length, 0.4f + 0.1f * static_cast<float>(round % 5));
            plugin.setParameter(param::bypass, round % 2 == 0 ? 1.0f : 0.0f);
            plugin.setDcc(round % 2 == 0);
            plugin.resetEngine();
            (void)plugin.getEngine().readMeters();
            (void)plugin.getEngine().takeClipState();
        }
    });

    // The host thread: new files, program application, suspend and resume.
    for (int round = 0; round < 4; ++round)
    {
        sendFileName(plugin, files[static_cast<std::size_t>(round % 2)]);
        plugin.setProgram(0);
        plugin.suspend();
        plugin.resume();
    }
    editor.join();
    while (blocks.load() < 400)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stop = true;
    audio.join();
    for (int i = 0; i < 500 && plugin.backgroundWorkPending(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    EXPECT_EQ(badSamples.load(), 0);
    EXPECT_TRUE(plugin.store().isReady());
}

TEST(Threading, TheAppliedAutoGainFollowsTheSwitchWhileResponsesChange)
{
    TempDir dir;
    SettingsSandbox settings{dir};
    const auto files = writeResponses(dir);
    APlugin plugin(versionOnlyHost);
    plugin.resume();
    sendFileName(plugin, files[0]);

    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> left(2048, 0.1f), right(2048, -0.1f);
        float* io[2] = {left.data(), right.data()};
        while (!stop.load())
        {
            plugin.processReplacing(io, io, 2048);
            ++blocks;
        }
    });
    for (int round = 0; round < 30; ++round)
    {
        sendFileName(plugin, files[static_cast<std::size_t>(round / 2 % 2)]);
        const bool on = round % 2 == 1;
        plugin.setParameter(param::autogain, on ? 1.0f : 0.0f);
        // Settled: two period boundaries later.
        const long seen = blocks.load();
        while (blocks.load() < seen + 10)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        EXPECT_FLOAT_EQ(plugin.getAutogainFactor(), on ? plugin.store().getAutoGain() : APlugin::autogainOffFactor)
            << "round " << round;
    }
    stop = true;
    audio.join();
}

namespace {

std::atomic<int> reportedProcessLevel{vst::kVstProcessLevelUnknown};

vst::VstIntPtr TAM_VST_CALL levelReportingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr,
                                               void*, float)
{
    if (opcode == vst::audioMasterGetCurrentProcessLevel)
        return reportedProcessLevel.load();
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST(Threading, AnAudioThreadNeverWaitsForHeavyWorkFromItsFirstCallOn)
{
    TempDir dir;
    SettingsSandbox settings{dir};
    // Long enough that shaping it takes far longer than handing it over.
    std::vector<float> samples(2 * 800000);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.2f * std::exp(-static_cast<float>(i) / 400000.0f) * ((i % 5) / 2.5f - 1.0f);
    const std::string path = dir.file("long.wav");
    writeFloatWav(path, 44100, 2, samples);
    APlugin plugin(levelReportingHost);
    sendFileName(plugin, path);
    ASSERT_TRUE(plugin.store().isReady());

    float envelope = 0.0f;
    // True when a shaping change returned before the shaping was done.
    auto returnsAtOnce = [&](bool fromNewThread) {
        const auto generation = plugin.store().getGeneration();
        bool early = false;
        envelope += 0.1f;
        auto set = [&] {
            plugin.setParameter(param::envelope, envelope);
            early = plugin.store().getGeneration() == generation;
        };
        if (fromNewThread)
            std::thread(set).join();
        else
            set();
        while (plugin.backgroundWorkPending())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return early;
    };
    reportedProcessLevel = vst::kVstProcessLevelUnknown;
    EXPECT_TRUE(returnsAtOnce(true)) << "a thread that has not processed yet, host silent";
    EXPECT_FALSE(returnsAtOnce(false)) << "the creating thread, host silent";
    reportedProcessLevel = vst::kVstProcessLevelOffline;
    EXPECT_FALSE(returnsAtOnce(true)) << "an offline thread may wait";
    reportedProcessLevel = vst::kVstProcessLevelRealtime;
    EXPECT_TRUE(returnsAtOnce(false)) << "the host's real-time thread, even if it created the plug-in";
    reportedProcessLevel = vst::kVstProcessLevelUnknown;
}
