// The plug-in object: construction with settings, parameters, the file-name
// protocol and the program record.
#include "core/APlugin.h"
#include "core/Settings.h"
#include "core/FileNameCodec.h"
#include "impulse/TWAVfile.h"
#include "support/FileNameParameters.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

using namespace tam;
using namespace tam::test;

namespace {

/// Settings roots in a temporary folder, so tests neither read nor write the
/// machine's real settings.
struct PluginFixture : ::testing::Test
{
    TempDir dir;
    SettingsSandbox settings{dir};

    std::unique_ptr<APlugin> make() { return std::make_unique<APlugin>(versionOnlyHost); }

    std::string writeResponse(const std::string& name, std::size_t frames = 20000, float level = 0.5f)
    {
        std::vector<float> samples(frames * 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = level * std::exp(-static_cast<float>(i) / 4000.0f) * ((i / 2) % 3 == 0 ? 1.0f : -0.5f);
        const std::string path = dir.file(name);
        writeFloatWav(path, 44100, 2, samples);
        return path;
    }

    static std::string trimmed(const std::string& s) { return s.substr(0, s.find_last_not_of(' ') + 1); }
};

} // namespace

TEST_F(PluginFixture, AFreshInstanceWritesTheDynamicCpuSettingAndRunsWithoutAResponse)
{
    auto plugin = make();
    EXPECT_FALSE(plugin->getDcc());
    EXPECT_EQ(ReadSettingInt("using_dcc"), 0);
    EXPECT_FALSE(plugin->store().isLoaded());
    EXPECT_EQ(plugin->getDefaultFileText(), "<none>");
    EXPECT_FLOAT_EQ(plugin->getParameter(param::wet), 0.5f);
    EXPECT_FLOAT_EQ(plugin->getParameter(param::autogain), 1.0f);
}

TEST_F(PluginFixture, StoredSettingsChooseDynamicCpuAndTheDefaultFile)
{
    const std::string path = writeResponse("default.wav");
    WriteSettingInt("using_dcc", 5);
    WriteSettingString("default_file", path);
    auto plugin = make();
    EXPECT_TRUE(plugin->getDcc());
    EXPECT_EQ(plugin->getDefaultFileText(), path);
    ASSERT_TRUE(plugin->store().isReady());
    EXPECT_EQ(plugin->store().getGeneration(), 1) << "one calculation after all parameters are applied";
    EXPECT_EQ(trimmed(plugin->getLoadedFileName()), path);
    EXPECT_TRUE(checksumMatches(path, plugin->getParameter(param::fileChecksum)));

    plugin->setDcc(false);
    EXPECT_EQ(ReadSettingInt("using_dcc"), 0);
    plugin->setDefaultFile("");
    EXPECT_EQ(plugin->getDefaultFileText(), "<none>");
}

TEST_F(PluginFixture, ValuesAreClampedAndWrittenThroughToTheProgram)
{
    auto plugin = make();
    plugin->setParameter(param::wet, 1.7f);
    EXPECT_EQ(plugin->getParameter(param::wet), 1.0f);
    plugin->setParameter(param::wet, -0.2f);
    EXPECT_EQ(plugin->getParameter(param::wet), 0.0f);
    plugin->setParameter(param::wet, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(plugin->getParameter(param::wet), 0.0f);
    plugin->setParameter(3, 0.7f);
    EXPECT_EQ(plugin->getParameter(3), 0.0f);
    plugin->setParameter(500, 0.7f);
    plugin->setParameter(-1, 0.7f);
    EXPECT_EQ(plugin->getParameter(500), 0.0f);

    // Re-applying the program keeps what was set: the record follows every set.
    plugin->setParameter(param::wet, 0.8f);
    plugin->setParameter(param::envelope, 0.3f);
    plugin->setProgram(0);
    EXPECT_FLOAT_EQ(plugin->getParameter(param::wet), 0.8f);
    EXPECT_FLOAT_EQ(plugin->getParameter(param::envelope), 0.3f);
}

TEST_F(PluginFixture, PredelayFollowsTheSampleRateAndIsCappedAtTheHistoryLength)
{
    auto plugin = make();
    plugin->setParameter(param::predelay, 0.5f);
    EXPECT_EQ(plugin->getControls().delaySamples.load(), 6615); // 150 ms at 44.1 kHz
    plugin->setSampleRate(48000.0f);
    EXPECT_EQ(plugin->getControls().delaySamples.load(), 7200) << "still 150 ms at the new rate";
    plugin->setSampleRate(96000.0f);
    EXPECT_EQ(plugin->getControls().delaySamples.load(), 14400);
    plugin->setParameter(param::predelay, 1.0f);
    EXPECT_EQ(plugin->getControls().delaySamples.load(), 16383);
    EXPECT_NEAR(plugin->getParameter(param::predelay), 16383.0f / 28800.0f, 1e-6);
}

TEST_F(PluginFixture, TheResponseIsResampledWhenTheHostRateChanges)
{
    const std::string path = writeResponse("rate.wav", 44100);
    WriteSettingString("default_file", path);
    auto plugin = make(); // loads the default file at the initial 44.1 kHz
    ASSERT_EQ(plugin->store().sourceLength, 44099);
    plugin->setSampleRate(88200.0f);
    EXPECT_EQ(plugin->store().sourceLength, 88198);
    EXPECT_TRUE(plugin->store().isReady());
    EXPECT_FALSE(plugin->isLoading());
    const auto generation = plugin->store().getGeneration();
    plugin->setSampleRate(88200.0f); // the same rate again changes nothing
    EXPECT_EQ(plugin->store().getGeneration(), generation);
}

TEST_F(PluginFixture, AutogainSelectsTheWetFactor)
{
    auto plugin = make();
    sendFileName(*plugin, writeResponse("ir.wav"));
    const float responseGain = plugin->store().getAutoGain();
    ASSERT_NE(responseGain, APlugin::autogainOffFactor);
    EXPECT_FLOAT_EQ(plugin->getAutogainFactor(), responseGain);
    plugin->setParameter(param::autogain, 0.5f); // neither on nor off: keeps the factor
    EXPECT_FLOAT_EQ(plugin->getAutogainFactor(), responseGain);
    plugin->setParameter(param::autogain, 0.0f);
    EXPECT_FLOAT_EQ(plugin->getAutogainFactor(), APlugin::autogainOffFactor);
    plugin->setParameter(param::autogain, 0.5f);
    EXPECT_FLOAT_EQ(plugin->getAutogainFactor(), APlugin::autogainOffFactor);
    plugin->setParameter(param::autogain, 1.0f);
    EXPECT_FLOAT_EQ(plugin->getAutogainFactor(), responseGain);
}

TEST_F(PluginFixture, AFileNameLoadsOnceTheNameAndItsChecksumAgreeInEitherOrder)
{
    const std::string path = writeResponse("ir.wav");
    for (const ChecksumOrder order : {ChecksumOrder::first, ChecksumOrder::last})
    {
        auto plugin = make();
        sendFileName(*plugin, path, order);
        ASSERT_TRUE(plugin->store().isReady()) << (order == ChecksumOrder::first ? "host order" : "editor order");
        EXPECT_EQ(plugin->store().getGeneration(), 1);
        EXPECT_EQ(trimmed(plugin->getLoadedFileName()), path);
        EXPECT_TRUE(plugin->fileChanged.load());
        EXPECT_FALSE(plugin->isLoading());
        if (order == ChecksumOrder::last)
        {
            // The load came with the last value: the values now encode the padded name.
            EXPECT_EQ(plugin->getParameter(param::fileNameLast), fileNameToValues(plugin->pendingFileName())[126]);
        }

        // The same name again loads nothing.
        plugin->fileChanged = false;
        sendFileName(*plugin, path, order);
        EXPECT_EQ(plugin->store().getGeneration(), 1);
        EXPECT_FALSE(plugin->fileChanged.load());
    }
}

TEST_F(PluginFixture, AWrongChecksumOrAMissingFileLoadsNothingAndKeepsTheResponse)
{
    const std::string first = writeResponse("first.wav");
    const std::string second = writeResponse("second.wav");
    auto plugin = make();
    sendFileName(*plugin, first);
    ASSERT_TRUE(plugin->store().isReady());

    const auto values = fileNameToValues(second);
    plugin->setParameter(param::fileChecksum, fileNameChecksum(second) + 0.001f);
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < fileNameValueCount; ++i)
            plugin->setParameter(param::fileNameFirst + i, values[static_cast<std::size_t>(i)]);
    EXPECT_EQ(trimmed(plugin->getLoadedFileName()), first);

    sendFileName(*plugin, dir.file("missing.wav"));
    EXPECT_EQ(trimmed(plugin->getLoadedFileName()), first);
    EXPECT_TRUE(plugin->store().isReady());
    EXPECT_FALSE(plugin->isLoading());

    // An unreadable file behaves the same.
    const std::string junk = dir.file("junk.wav");
    WavImage image;
    image.tag("JUNK");
    image.save(junk);
    sendFileName(*plugin, junk);
    EXPECT_EQ(trimmed(plugin->getLoadedFileName()), first);
    EXPECT_TRUE(plugin->store().isReady());
    EXPECT_FALSE(plugin->isLoading());
}

TEST_F(PluginFixture, FileNameValuesDecodeToSpacesAtBothEnds)
{
    auto plugin = make();
    plugin->setParameter(param::fileNameFirst, 1.0f);
    plugin->setParameter(param::fileNameFirst + 1, 0.0f);
    EXPECT_EQ(plugin->pendingFileName(), std::string(255, ' '));
}

TEST_F(PluginFixture, ApplyingTheProgramCalculatesOnceAndDoesNotReloadTheFile)
{
    const std::string path = writeResponse("p.wav");
    WriteSettingString("default_file", path);
    auto plugin = make();
    ASSERT_EQ(plugin->store().getGeneration(), 1);
    plugin->setParameter(param::length, 0.5f);
    EXPECT_EQ(plugin->store().getGeneration(), 2);
    plugin->setProgram(0);
    EXPECT_EQ(plugin->store().getGeneration(), 2) << "nothing changed, nothing recalculated";
    EXPECT_EQ(plugin->store().fileName, path);
    plugin->setProgram(1);
    EXPECT_EQ(plugin->getProgram(), 0);
}

TEST_F(PluginFixture, ShapingSetFromAnAudioThreadIsCalculatedInTheBackground)
{
    const std::string path = writeResponse("bg.wav");
    auto plugin = make();
    sendFileName(*plugin, path);
    ASSERT_EQ(plugin->store().getGeneration(), 1);

    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* io[2] = {left.data(), right.data()};
        plugin->processReplacing(io, io, 256);
        // Automation from the audio thread: must not block it.
        plugin->setParameter(param::envelope, 0.4f);
        plugin->processReplacing(io, io, 256);
    });
    audio.join();
    for (int i = 0; i < 500 && plugin->backgroundWorkPending(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(plugin->backgroundWorkPending());
    EXPECT_EQ(plugin->store().getGeneration(), 2);
    EXPECT_FLOAT_EQ(plugin->store().shaping.envelope, 0.4f);
}

namespace {

/// Runs a stereo sine through the plug-in in host blocks and returns the
/// left output.
std::vector<float> runSine(APlugin& plugin, std::size_t frames, double& phase, int block = 256)
{
    std::vector<float> out;
    std::vector<float> left(static_cast<std::size_t>(block)), right(static_cast<std::size_t>(block));
    float* io[2] = {left.data(), right.data()};
    for (std::size_t done = 0; done < frames; done += static_cast<std::size_t>(block))
    {
        for (int i = 0; i < block; ++i)
        {
            left[static_cast<std::size_t>(i)] = right[static_cast<std::size_t>(i)] = 0.5f * static_cast<float>(std::sin(phase));
            phase += 2.0 * M_PI * 60.0 / 44100.0;
        }
        plugin.processReplacing(io, io, block);
        out.insert(out.end(), left.begin(), left.end());
    }
    return out;
}

float largestStep(const std::vector<float>& v, std::size_t from)
{
    float largest = 0.0f;
    for (std::size_t i = from + 1; i < v.size(); ++i)
        largest = std::max(largest, std::fabs(v[i] - v[i - 1]));
    return largest;
}

} // namespace

TEST_F(PluginFixture, EditingTheResponseWhileAudioRunsCausesNoClickOrDropout)
{
    // A response with a strong direct sound: changing its highs changes its
    // first samples a lot, the worst case for a hard switch.
    std::vector<float> samples(2 * 30000);
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        samples[i] = (i < 2 ? 0.8f : 0.0f) + 0.2f * noise * std::exp(-static_cast<float>(i) / 12000.0f);
    }
    const std::string path = dir.file("click.wav");
    writeFloatWav(path, 44100, 2, samples);
    auto plugin = make();
    plugin->resume();
    plugin->setParameter(param::dry, 0.0f);
    plugin->setParameter(param::wet, 1.0f);
    sendFileName(*plugin, path);
    double phase = 0.0;
    // Settle: the reverb of the sine reaches its steady state.
    const auto steady = runSine(*plugin, 44100 * 2, phase);
    const float ownStep = largestStep(steady, 44100);
    ASSERT_GT(ownStep, 0.0f);

    // Cut the highs hard: the low sine's reverb must move on without a step.
    const auto generation = plugin->store().getGeneration();
    const ParameterValue cut[] = {{param::eqFirst, 0.6f},     // flat below ~400 Hz ...
                                  {param::eqFirst + 1, 1.0f},
                                  {param::eqFirst + 2, 0.8f}, // ... down to -69 dB from ~3 kHz
                                  {param::eqFirst + 3, 0.0f}};
    plugin->setParameters(cut, Automate::no);
    ASSERT_EQ(plugin->store().getGeneration(), generation + 1);
    const auto after = runSine(*plugin, 44100, phase);
    EXPECT_LE(largestStep(after, 0), ownStep * 1.05f);

    // Nor a dip: the level moves between its old and new values only.
    auto level = [](const std::vector<float>& v, std::size_t from, std::size_t to) {
        float peak = 0.0f;
        for (std::size_t i = from; i < to; ++i)
            peak = std::max(peak, std::fabs(v[i]));
        return peak;
    };
    const float before = level(steady, steady.size() - 4410, steady.size());
    const float settled = level(after, after.size() - 4410, after.size());
    for (std::size_t i = 0; i + 4410 <= after.size(); i += 735)
        ASSERT_GT(level(after, i, i + 4410), 0.9f * std::min(before, settled)) << "at " << i;
}

TEST_F(PluginFixture, ProcessingAndAutomationFromTheAudioThreadNeverAllocate)
{
    const std::string path = writeResponse("alloc.wav");
    auto plugin = make();
    plugin->resume();
    sendFileName(*plugin, path);
    long allocations = -1;
    std::thread audio([&] {
        std::vector<float> left(512, 0.1f), right(512, 0.1f);
        float* io[2] = {left.data(), right.data()};
        plugin->processReplacing(io, io, 512); // marks this thread as an audio thread
        AllocationCounter counter;
        for (int block = 0; block < 200; ++block)
        {
            if (block % 10 == 0)
            {
                plugin->setParameter(param::wet, static_cast<float>(block % 7) / 7.0f);
                plugin->setParameter(param::envelope, static_cast<float>(block % 5) / 5.0f);
            }
            if (block % 2 == 0)
                plugin->processReplacing(io, io, 512);
            else
                plugin->process(io, io, 512);
        }
        allocations = counter.count();
    });
    audio.join();
    EXPECT_EQ(allocations, 0);
}

namespace {

APlugin* answeringTarget = nullptr;

/// A host that answers every automation with a set of its own.
vst::VstIntPtr TAM_VST_CALL answeringHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr,
                                          void*, float opt)
{
    if (opcode == vst::audioMasterAutomate && answeringTarget != nullptr)
        answeringTarget->setParameter(index, opt);
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST_F(PluginFixture, ABatchRecalculatesOnceAndSurvivesAHostThatAnswersItsAutomation)
{
    APlugin plugin(&answeringHost);
    ASSERT_TRUE(plugin.openFile(writeResponse("batch.wav")).loaded);
    EXPECT_EQ(trimmed(plugin.getLoadedFileName()), dir.file("batch.wav")) << "the parameters carry the name";
    answeringTarget = &plugin;
    const auto generation = plugin.store().getGeneration();
    const ParameterValue values[] = {{param::envelope, 0.3f}, {param::length, 0.8f}, {param::stretch, 0.6f}};
    plugin.setParameters(values, Automate::yes);
    answeringTarget = nullptr;
    EXPECT_EQ(plugin.store().getGeneration(), generation + 1);
    EXPECT_FLOAT_EQ(plugin.getParameter(param::stretch), 0.6f);

    const auto refused = plugin.openFile("/" + std::string(maxFileNameLength, 'x'));
    EXPECT_FALSE(refused.loaded);
    EXPECT_NE(refused.errorText.find("254"), std::string::npos);
}
