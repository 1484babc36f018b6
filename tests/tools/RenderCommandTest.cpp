// tam-render run as a user runs it, on generated files: what comes out
// (latency removed, the whole tail, mono input, formats, dither) and how it
// fails (exit code, message, no output left behind).
#include "impulse/WaveReader.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"
#include "support/WaveRead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>

using namespace tam;
using namespace tam::test;
namespace fs = std::filesystem;

namespace {

constexpr int rate = 44100;
// The plug-in keeps a response's last frame only as an interpolation
// neighbour: 3002 frames give 3001 samples and a silent last one. (3002 also
// keeps the plug-in's rate conversion of the length exact.)
constexpr int responseFrames = 3002;
constexpr float wetFactor = 0.1f; ///< the plug-in's wet gain with Autogain off
constexpr double sampleTolerance = 1e-6;

struct ToolRun
{
    int exitCode = -1;
    std::string output; ///< stdout and stderr
};

std::string quote(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

ToolRun runTool(const std::vector<std::string>& arguments)
{
    std::string command = quote(TAM_RENDER_PATH);
    for (const auto& argument : arguments)
        command += " " + quote(argument);
    command += " 2>&1";
    ToolRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

using Wave = test::WaveRead;
using test::readWave;

std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right)
{
    std::vector<float> out;
    for (std::size_t i = 0; i < left.size(); ++i)
    {
        out.push_back(left[i]);
        out.push_back(right[i]);
    }
    return out;
}

struct RenderTool : ::testing::Test
{
    const std::string plugin = pluginPath(); // before TAM_PLUGIN is cleared below
    TempDir dir;
    ScopedEnv machineRoot{"XDG_CONFIG_DIRS", dir.file("machine")};
    ScopedEnv userRoot{"XDG_CONFIG_HOME", dir.file("user")};
    ScopedEnv noOverride{"TAM_PLUGIN", ""};
    std::vector<float> respL, respR;
    std::string response;

    void SetUp() override
    {
        // Different in each channel and still well above zero at its end.
        for (int i = 0; i < responseFrames; ++i)
        {
            respL.push_back(0.5f * std::exp(-i / 1500.0f) * std::cos(0.07f * static_cast<float>(i)) + 0.05f);
            respR.push_back(-0.4f * std::exp(-i / 1100.0f) * std::sin(0.13f * static_cast<float>(i) + 0.2f) - 0.04f);
        }
        response = dir.file("room.wav");
        writeFloatWav(response, rate, 2, interleave(respL, respR));
    }

    /// A stereo input of `frames` frames with an impulse of 1.0 at `at`.
    std::string impulseInput(const std::string& name, std::size_t frames, std::size_t at, int channels = 2)
    {
        std::vector<float> samples(frames * static_cast<std::size_t>(channels), 0.0f);
        for (int c = 0; c < channels; ++c)
            samples[at * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = 1.0f;
        const std::string path = dir.file(name);
        writeFloatWav(path, rate, channels, samples);
        return path;
    }

    ToolRun render(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"--plugin", plugin, "--ir", response});
        return runTool(arguments);
    }

    std::set<std::string> folderEntries() const
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.insert(entry.path().filename().string());
        return names;
    }

    /// out[offset + n] == 0.1 * response[n] in both channels, for every
    /// frame the plug-in plays (all but the last).
    void expectResponseAt(const Wave& out, std::size_t offset, const std::string& what)
    {
        double worst = 0.0;
        for (std::size_t n = 0; n + 1 < respL.size(); ++n)
        {
            worst = std::max(worst, static_cast<double>(std::fabs(out.at(offset + n, 0) - wetFactor * respL[n])));
            worst = std::max(worst, static_cast<double>(std::fabs(out.at(offset + n, 1) - wetFactor * respR[n])));
        }
        EXPECT_LT(worst, sampleTolerance) << what;
    }
};

const std::vector<std::string> plainConvolution = {"--dry", "0", "--wet", "1", "--autogain", "off"};

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more)
{
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

} // namespace

TEST_F(RenderTool, AnImpulseAtInputSampleZeroGivesTheResponseAtOutputSampleZero)
{
    const std::string input = impulseInput("impulse.wav", 4000, 0);
    for (const char* block : {"64", "1000", "8192"})
    {
        const std::string output = dir.file(std::string("out-") + block + ".wav");
        const ToolRun run = render(with(plainConvolution, {"--block", block, input, output}));
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const Wave out = readWave(output);
        ASSERT_EQ(out.channels, 2);
        ASSERT_EQ(out.rate, rate);
        ASSERT_EQ(out.frames(), 4000u + responseFrames) << "input plus the response";
        expectResponseAt(out, 0, std::string("block ") + block);
        for (std::size_t n = responseFrames - 1; n < out.frames(); ++n)
            ASSERT_LT(std::fabs(out.at(n, 0)) + std::fabs(out.at(n, 1)), sampleTolerance) << n;
    }
}

TEST_F(RenderTool, TheTailCoversTheShapedResponseAndThePreDelay)
{
    constexpr std::size_t inputFrames = 2000;
    const std::string input = impulseInput("last.wav", inputFrames, inputFrames - 1);
    const std::size_t start = inputFrames - 1; // where the last input frame's reverb begins

    // Unshaped: the response's last sample is still in the file.
    ToolRun run = render(with(plainConvolution, {input, dir.file("plain.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    Wave out = readWave(dir.file("plain.wav"));
    ASSERT_EQ(out.frames(), inputFrames + responseFrames);
    expectResponseAt(out, start, "plain");

    // 10 ms of pre-delay (441 frames) moves the reverb and lengthens the tail.
    run = render(with(plainConvolution, {"--predelay-ms", "10", input, dir.file("predelay.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    out = readWave(dir.file("predelay.wav"));
    ASSERT_EQ(out.frames(), inputFrames + responseFrames + 441);
    expectResponseAt(out, start + 441, "pre-delay");

    // 125 % stretch: the last index 3001 becomes 3751; the response's end
    // (index 3000 stretched to 3750) is still in the file.
    run = render(with(plainConvolution, {"--stretch", "125%", input, dir.file("stretch.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    out = readWave(dir.file("stretch.wav"));
    ASSERT_EQ(out.frames(), inputFrames + 3752);
    float endLevel = 0.0f;
    for (std::size_t n = start + 3700; n < start + 3751; ++n)
        endLevel = std::max(endLevel, std::fabs(out.at(n, 0)));
    EXPECT_GT(endLevel, 1e-3f) << "the stretched end is rendered";

    // Length 0.5 keeps half of the 3001 samples and a 100-frame release;
    // nothing follows.
    run = render(with(plainConvolution, {"--length", "0.5", input, dir.file("length.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    out = readWave(dir.file("length.wav"));
    ASSERT_EQ(out.frames(), inputFrames + 1602);
    EXPECT_NE(out.at(start + 1550, 0), 0.0f) << "the release is rendered";
    for (std::size_t n = start + 1601; n < out.frames(); ++n)
        ASSERT_LT(std::fabs(out.at(n, 0)), sampleTolerance) << n;

    // Reversed, the response ends where its 8192-frame partition ends.
    run = render(with(plainConvolution, {"--reverse", input, dir.file("reverse.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    out = readWave(dir.file("reverse.wav"));
    ASSERT_EQ(out.frames(), inputFrames + 8192);
    double early = 0.0, late = 0.0;
    for (std::size_t n = start; n < out.frames(); ++n)
        (n < start + 8192 - responseFrames ? early : late) += std::fabs(out.at(n, 0));
    EXPECT_LT(early, 1e-4);
    EXPECT_GT(late, 1.0);
}

TEST_F(RenderTool, AResponseAtAnotherRateLastsItsDurationAtTheHostRate)
{
    const std::string slow = dir.file("slow.wav");
    writeFloatWav(slow, rate / 2, 2, interleave(respL, respR));
    const std::string input = impulseInput("impulse.wav", 1000, 0);
    const ToolRun run = runTool({"--plugin", plugin, "--ir", slow, "--quiet", input, dir.file("out.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    // Last index 3001 at 22050 Hz is 6002 at 44100 Hz.
    EXPECT_EQ(readWave(dir.file("out.wav")).frames(), 1000u + 6003u);
}

TEST_F(RenderTool, MonoInputFeedsBothChannels)
{
    const std::string input = impulseInput("mono.wav", 4000, 0, 1);
    ToolRun run = render(with(plainConvolution, {input, dir.file("wet.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Wave wet = readWave(dir.file("wet.wav"));
    ASSERT_EQ(wet.channels, 2);
    expectResponseAt(wet, 0, "each channel convolved with its own response channel");

    // The dry path carries the mono signal to both sides unchanged.
    std::vector<float> ramp(3000);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = 0.5f * std::sin(0.01f * static_cast<float>(i));
    writeFloatWav(dir.file("ramp.wav"), rate, 1, ramp);
    run = render({"--dry", "1", "--wet", "0", dir.file("ramp.wav"), dir.file("dry.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Wave dry = readWave(dir.file("dry.wav"));
    for (std::size_t i = 0; i < ramp.size(); ++i)
    {
        ASSERT_EQ(dry.at(i, 0), ramp[i]) << i;
        ASSERT_EQ(dry.at(i, 1), ramp[i]) << i;
    }
}

TEST_F(RenderTool, Pcm16DitherOnSilenceIsTriangularNoiseOfOneLsb)
{
    // Silence plus TPDF dither d (triangular on -1..+1 LSB, RMS 1/sqrt(6) LSB)
    // rounds to -1, 0, +1 LSB with probabilities 1/8, 3/4, 1/8: the written
    // noise has an RMS of 0.5 LSB (total error power 1/12 + 1/6 = 1/4 LSB^2).
    writeFloatWav(dir.file("silence.wav"), rate, 2, std::vector<float>(2 * rate, 0.0f));
    const ToolRun run = render({"--pcm16", dir.file("silence.wav"), dir.file("dither.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::ifstream file(dir.file("dither.wav"), std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
    constexpr std::size_t dataStart = 44;
    ASSERT_EQ(bytes.size(), dataStart + 4 * static_cast<std::size_t>(rate + responseFrames)); // 1 s + tail
    std::vector<std::int16_t> samples;
    for (std::size_t at = dataStart; at + 1 < bytes.size(); at += 2)
        samples.push_back(static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8));
    double sumSquares = 0.0, sum = 0.0;
    std::size_t zeros = 0;
    for (const std::int16_t v : samples)
    {
        const double lsb = v;
        ASSERT_TRUE(lsb == -1.0 || lsb == 0.0 || lsb == 1.0) << lsb;
        sumSquares += lsb * lsb;
        sum += lsb;
        zeros += lsb == 0.0 ? 1 : 0;
    }
    const auto count = static_cast<double>(samples.size());
    EXPECT_NEAR(std::sqrt(sumSquares / count), 0.5, 0.01);
    EXPECT_NEAR(static_cast<double>(zeros) / count, 0.75, 0.01);
    EXPECT_NEAR(sum / count, 0.0, 0.01);

    // Seeded: the same render gives the same bytes.
    ASSERT_EQ(render({"--pcm16", "-q", dir.file("silence.wav"), dir.file("again.wav")}).exitCode, 0);
    std::ifstream a(dir.file("dither.wav"), std::ios::binary), b(dir.file("again.wav"), std::ios::binary);
    EXPECT_TRUE(std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}));
}

TEST_F(RenderTool, EveryOutputFormatHasItsHeader)
{
    const std::string input = impulseInput("impulse.wav", 1000, 0);
    struct Case
    {
        const char* option;
        unsigned tag;
        unsigned bits;
        unsigned dataOffset; ///< float files carry a fact chunk
    };
    for (const Case& c : {Case{"--float", 3, 32, 58}, Case{"--pcm24", 1, 24, 44}, Case{"--pcm16", 1, 16, 44}})
    {
        const std::string output = dir.file(std::string("out") + c.option + ".wav");
        const ToolRun run = render({c.option, input, output});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        std::ifstream file(output, std::ios::binary);
        const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
        ASSERT_GT(bytes.size(), c.dataOffset);
        const auto u16 = [&](std::size_t at) { return static_cast<unsigned>(bytes[at] | bytes[at + 1] << 8); };
        const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
        const std::size_t frames = 1000 + responseFrames;
        const unsigned blockAlign = 2 * c.bits / 8;
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
        EXPECT_EQ(u32(4), bytes.size() - 8) << c.option;
        EXPECT_EQ(u16(20), c.tag) << c.option;
        EXPECT_EQ(u16(22), 2u);
        EXPECT_EQ(u32(24), static_cast<unsigned>(rate));
        EXPECT_EQ(u32(28), static_cast<unsigned>(rate) * blockAlign);
        EXPECT_EQ(u16(32), blockAlign);
        EXPECT_EQ(u16(34), c.bits);
        EXPECT_EQ(std::string(bytes.begin() + c.dataOffset - 8, bytes.begin() + c.dataOffset - 4), "data");
        EXPECT_EQ(u32(c.dataOffset - 4), frames * blockAlign) << c.option;
        EXPECT_EQ(readWave(output).frames(), frames) << c.option;
    }
}

TEST_F(RenderTool, ReportsARenderInOneLineOrNothingWhenQuiet)
{
    const std::string input = impulseInput("impulse.wav", 1000, 0);
    ToolRun run = render({"--dry", "0.5", input, dir.file("out.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("0.09 s stereo, 44100 Hz, 32-bit float"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("no clipping"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("real-time factor"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;

    // A hot input through a 16-bit file is reported as clipped.
    writeFloatWav(dir.file("hot.wav"), rate, 2, std::vector<float>(2000, 1.5f));
    run = render({"--wet", "0", "--pcm16", dir.file("hot.wav"), dir.file("hot-out.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("CLIPPED (2000 samples clamped)"), std::string::npos) << run.output;

    run = render({"--quiet", input, dir.file("quiet.wav")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");
}

TEST_F(RenderTool, FindsThePlugInNextToItselfOrThroughTheEnvironment)
{
    const std::string input = impulseInput("impulse.wav", 1000, 0);
    ToolRun run = runTool({"--ir", response, input, dir.file("out.wav")});
    EXPECT_EQ(run.exitCode, 0) << run.output;

    ScopedEnv broken("TAM_PLUGIN", dir.file("nowhere.so"));
    run = runTool({"--ir", response, input, dir.file("out2.wav")});
    EXPECT_EQ(run.exitCode, 5) << run.output;
    EXPECT_NE(run.output.find("cannot load the plug-in " + dir.file("nowhere.so")), std::string::npos) << run.output;
}

TEST_F(RenderTool, ADefaultFileLoadedAtStartUpIsLoadedAgainAtTheHostRate)
{
    // The plug-in loads its configured default file while it is built, at its
    // nominal 44100 Hz; the render at 48000 Hz must not play that load.
    const std::string fast = dir.file("fast.wav");
    writeFloatWav(fast, 48000, 2, interleave(respL, respR));
    fs::create_directories(dir.path() / "user" / "Veldrana_Software" / "TAM");
    std::ofstream(dir.path() / "user" / "Veldrana_Software" / "TAM" / "settings.conf")
        << "using_dcc=dword:0\ndefault_file=sz:" << fast << "\n";
    std::vector<float> samples(2 * 4000, 0.0f);
    samples[0] = samples[1] = 1.0f;
    writeFloatWav(dir.file("impulse48.wav"), 48000, 2, samples);

    const ToolRun run = runTool(with(plainConvolution, {"--plugin", plugin, "--ir", fast, "--rate", "48000",
                                                    dir.file("impulse48.wav"), dir.file("out.wav")}));
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Wave out = readWave(dir.file("out.wav"));
    ASSERT_EQ(out.rate, 48000);
    expectResponseAt(out, 0, "the response at its own rate, not resampled from 44100 Hz");
}

TEST_F(RenderTool, InfoShowsWhatAHostSees)
{
    ToolRun run = runTool({"--plugin", plugin, "--info"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    for (const char* expected : {"effect        TAM\n", "product       TAM Impulse Response Processor\n",
                                 "vendor        Veldrana\n", "unique id     0x34353663 '456c'\n",
                                 "latency       8960 samples", "inputs        2\n", "outputs       2\n",
                                 "parameters    173\n", "response      (none)\n",
                                 "    1  Wet                      0.500000   0.50       %\n",
                                 "  172  FileNameDoNotTouch"})
        EXPECT_NE(run.output.find(expected), std::string::npos) << expected << "\n" << run.output;

    run = runTool({"--plugin", plugin, "--info", "--ir", response, "--wet", "0.25"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("response      " + response + "\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("0.250000   0.25"), std::string::npos) << run.output;
}

TEST_F(RenderTool, FailuresExitWithTheirCodeAndMessageAndLeaveNoOutput)
{
    const std::string input = impulseInput("impulse.wav", 1000, 0);
    const std::string notWave = dir.file("text.wav");
    std::ofstream(notWave) << "this is not a RIFF file, just some text long enough to be read";
    writeFloatWav(dir.file("three.wav"), rate, 3, std::vector<float>(300, 0.1f));
    writeFloatWav(dir.file("at48k.wav"), 48000, 2, std::vector<float>(200, 0.1f));
    writeFloatWav(dir.file("at3M.wav"), 3000000, 2, std::vector<float>(200, 0.1f));
    // A response whose absolute path is too long for the 127 name parameters.
    fs::path deep = dir.path();
    while (deep.string().size() < 260)
        deep /= "a-rather-long-folder-name";
    fs::create_directories(deep);
    writeFloatWav((deep / "r.wav").string(), rate, 2, interleave(respL, respR));
    // The target of the last case exists and must survive the failed render.
    const std::string existing = dir.file("existing.wav");
    std::ofstream(existing) << "previous take";

    const std::string out = dir.file("out.wav");
    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{}, 2, "no response given"},
        {{"--ir", response, input}, 2, "give one input and one output file"},
        {{"--ir", response, "--wet", "1.5", input, out}, 2, "--wet takes a value from 0 to 1, not '1.5'"},
        {{"--ir", response, "--bogus", input, out}, 2, "unknown option --bogus"},
        {{"--ir", response, "--param", "50=0.5", input, out}, 2, "--param index 50 is not a sound parameter"},
        {{"--ir", dir.file("none.wav"), input, out}, 4, "response " + dir.file("none.wav") + ": no such file"},
        {{"--ir", notWave, dir.file("none.wav"), out}, 4, "response " + notWave + ": Error 13: Not a wave file!"},
        {{"--ir", (deep / "r.wav").string(), input, out}, 4, "characters (at most 254 travel)"},
        {{"--ir", response, dir.file("none.wav"), out}, 3, "input " + dir.file("none.wav") + ": no such file"},
        {{"--ir", response, notWave, out}, 3, "input " + notWave + ": Error 13: Not a wave file!"},
        {{"--ir", response, dir.file("three.wav"), out}, 3, "Error 42: Only mono and stereo files are supported!"},
        {{"--ir", response, "--rate", "44100", dir.file("at48k.wav"), out},
         3,
         "is at 48000 Hz, not the host rate 44100 Hz; tam-render does not resample"},
        {{"--ir", response, dir.file("at3M.wav"), out}, 3, "is at 3000000 Hz; the host rate must be from 1000 to 768000 Hz"},
        {{"--ir", response, "--plugin", notWave, input, out}, 5, "cannot load the plug-in " + notWave},
        {{"--ir", response, "--plugin", TAM_FAKE_NO_ENTRY_PATH, input, out},
         5,
         "has no VST 2 entry (VSTPluginMain or main)"},
        {{"--ir", response, "--plugin", TAM_FAKE_NO_EFFECT_PATH, input, out}, 5, "returned no effect"},
        {{"--ir", response, input, dir.file("missing/out.wav")}, 6, "does not exist"},
        {{"--ir", response, input, dir.path().string()}, 6, "it is a folder"},
        {{"--ir", response, input, input}, 6, "is the input file; choose another name"},
        {{"--ir", response, input, response}, 6, "is the response file"},
        {{"--ir", response, "--plugin", TAM_FAKE_NO_EFFECT_PATH, input, existing}, 5, "returned no effect"},
    };
    const auto before = folderEntries();
    for (const Case& c : cases)
    {
        std::vector<std::string> arguments = c.arguments;
        if (std::find(arguments.begin(), arguments.end(), "--plugin") == arguments.end())
            arguments.insert(arguments.begin(), {"--plugin", plugin});
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message << "\n" << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << "expected: " << c.message << "\n" << run.output;
        EXPECT_EQ(run.output.rfind("tam-render: ", 0), 0u) << run.output;
        EXPECT_EQ(folderEntries(), before) << "left behind by: " << c.message;
    }
    std::ifstream kept(existing);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "previous take");
}

TEST_F(RenderTool, HelpListsTheExitCodes)
{
    const ToolRun run = runTool({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* line : {"Exit codes:", "  3    input missing", "  4    response missing", "  5    plug-in cannot",
                             "  6    output cannot be written"})
        EXPECT_NE(run.output.find(line), std::string::npos) << line;
}
