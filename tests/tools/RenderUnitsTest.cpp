// The parts of tam-render that decide what a render does: the command line,
// the tail length, and the hand-over of the response's name.
#include "core/FileNameCodec.h"
#include "render/FileNameTransfer.h"
#include "render/RenderErrors.h"
#include "render/RenderOptions.h"
#include "render/ReverbTail.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace tam;
using namespace tam::render;

namespace {

RenderOptions parse(std::vector<std::string> arguments)
{
    return parseCommandLine(arguments);
}

/// The message of the usage error the arguments cause ("" if none).
std::string usageErrorOf(std::vector<std::string> arguments)
{
    try
    {
        parseCommandLine(arguments);
    }
    catch (const RenderError& e)
    {
        EXPECT_EQ(e.code(), ExitCode::usage);
        return e.what();
    }
    return "";
}

NameValues values(const std::string& name)
{
    return fileNameToValues(name);
}

NameValues padded(const std::string& name)
{
    std::string text = name;
    text.resize(paddedFileNameLength, ' ');
    return fileNameToValues(text);
}

} // namespace

TEST(RenderOptions, NamedOptionsSetThePlugInsParameters)
{
    const RenderOptions o = parse({"--ir", "r.wav", "--dry", "0.25", "--wet=1", "--predelay-ms", "150", "--stretch",
                                   "150%", "--reverse", "--envelope", "0.3", "--length", "0.6", "--attack-time", "0.1",
                                   "--attack-level", "0.2", "--stereo", "0.7", "--routing", "0", "--autogain", "off",
                                   "--add12db", "--eq", "1kHz:0.5", "--eq", "0.9:1", "--param", "42=1", "in.wav",
                                   "out.wav"});
    const std::map<int, float> expected = {
        {0, 0.25f}, {1, 1.0f},  {2, 1.0f},  {4, 0.2f},  {5, 0.1f},  {6, 0.3f},
        {7, 0.6f},  {8, 0.5f},  {9, 1.0f},  {10, 1.0f}, {12, 0.0f}, {13, 0.7f},
        {16, static_cast<float>(std::log(1000.0) / std::log(22000.0))},
        {17, 0.5f}, {18, 0.9f}, {19, 1.0f}, {42, 1.0f}, {43, 0.0f},
    };
    EXPECT_EQ(o.parameters, expected);
    EXPECT_EQ(o.responsePath, "r.wav");
    EXPECT_EQ(o.inputPath, "in.wav");
    EXPECT_EQ(o.outputPath, "out.wav");
    EXPECT_EQ(o.blockSize, defaultBlockSize);
    EXPECT_FALSE(o.sampleRate.has_value());
    EXPECT_EQ(o.format, tools::SampleFormat::float32);

    const RenderOptions p = parse({"in.wav", "--pcm24", "--rate", "48000", "--block", "64", "--ir", "r.wav",
                                   "--stretch", "0.2", "--wet", "0.3", "--wet", "0.4", "out.wav", "-q"});
    EXPECT_EQ(p.format, tools::SampleFormat::pcm24);
    EXPECT_EQ(p.sampleRate, 48000);
    EXPECT_EQ(p.blockSize, 64);
    EXPECT_TRUE(p.quiet);
    EXPECT_EQ(p.parameters.at(9), 0.2f);
    EXPECT_EQ(p.parameters.at(1), 0.4f) << "the last setting wins";
}

TEST(RenderOptions, RefusesWhatThePlugInCannotTake)
{
    const std::vector<std::string> files = {"--ir", "r.wav", "in.wav", "out.wav"};
    const auto with = [&](std::vector<std::string> more) {
        more.insert(more.end(), files.begin(), files.end());
        return more;
    };
    EXPECT_NE(usageErrorOf(with({"--dry", "-0.1"})).find("--dry takes a value from 0 to 1"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--wet", "nan"})).find("--wet takes"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--predelay-ms", "301"})).find("0 to 300"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--stretch", "151%"})).find("50% to 150%"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--autogain", "yes"})).find("on or off"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--eq", "40Hz:0.5"})).find("from 55Hz to 22kHz"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--eq", "0.3:0.5"})).find("from 0.4 to 1"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--eq", "0.5"})).find("POSITION:GAIN"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--param", "45=0.1"})).find("the file name is set by --ir"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--param", "x=0.1"})).find("INDEX=VALUE"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--rate", "0"})).find("--rate takes"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--block", "0"})).find("--block takes"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--pcm16", "--pcm24"})).find("choose one output format"), std::string::npos);
    EXPECT_NE(usageErrorOf(with({"--reverse=1"})).find("takes no value"), std::string::npos);
    EXPECT_NE(usageErrorOf({"--ir", "r.wav", "--wet"}).find("--wet needs a value"), std::string::npos);
    EXPECT_NE(usageErrorOf({"--info", "in.wav"}).find("--info takes no input"), std::string::npos);

    std::vector<std::string> nine;
    for (int i = 0; i < 9; ++i)
        nine.insert(nine.end(), {"--eq", "0.5:1"});
    EXPECT_NE(usageErrorOf(with(nine)).find("at most 8 --eq points"), std::string::npos);
    EXPECT_EQ(usageErrorOf({"--help"}), "") << "help needs no files";
}

TEST(ReverbTail, FollowsThePlugInsShapingOfTheResponse)
{
    TailInputs in;
    in.responseFrames = 44100;
    EXPECT_EQ(reverbTail(in).total(), 44100) << "unshaped: the response itself";

    in.stretch = 1.0f; // 150 %: last index 44099 becomes 66148.5, rounded to even
    EXPECT_EQ(reverbTail(in).responseFrames, 66149);
    in.stretch = 0.0f; // 50 %: 22049.5, rounded to even
    EXPECT_EQ(reverbTail(in).responseFrames, 22051);

    in.stretch = 0.5f;
    in.length = 0.25f; // a quarter of the last index, plus the 100-frame release
    EXPECT_EQ(reverbTail(in).responseFrames, 11025 + 101);
    in.length = 0.0f; // stands for 0.001001
    EXPECT_EQ(reverbTail(in).responseFrames, 45 + 101);
    in.length = 0.995f; // 0.99 and above keep everything
    EXPECT_EQ(reverbTail(in).responseFrames, 44100);

    in.length = 1.0f;
    in.reverse = 1.0f; // (44099 + 150) / 8192 + 1 = 6 partitions
    EXPECT_EQ(reverbTail(in).responseFrames, 6 * 8192);

    in.reverse = 0.0f;
    in.hostRate = 96000.0;
    in.predelay = 1.0f; // 300 ms = 28800 frames, capped at the delay line's 16383
    const TailLength tail = reverbTail(in);
    EXPECT_EQ(tail.predelayFrames, 16383);
    EXPECT_EQ(tail.responseFrames, 95997 + 1) << "trunc(44099 / 44100 * 96000) = trunc(95997.8)";

    TailInputs huge;
    huge.responseFrames = 2'000'000; // the plug-in reads 960000 frames and keeps 960001 samples at most
    huge.stretch = 1.0f;
    EXPECT_EQ(reverbTail(huge).responseFrames, 960001);
}

TEST(FileNameTransfer, PathsTravelAbsoluteAndOnlyWhenTheParametersCanCarryThem)
{
    const std::string relative = transferablePath("some/../room.wav");
    EXPECT_EQ(relative, (std::filesystem::current_path() / "room.wav").string());
    EXPECT_EQ(transferablePath("/halls/big hall.wav"), "/halls/big hall.wav") << "inner spaces travel";

    const auto refused = [](const std::string& path) {
        try
        {
            transferablePath(path);
        }
        catch (const RenderError& e)
        {
            return e.code() == ExitCode::badResponse;
        }
        return false;
    };
    EXPECT_FALSE(refused("/" + std::string(253, 'x')));
    EXPECT_TRUE(refused("/" + std::string(254, 'x')));
    EXPECT_TRUE(refused("/halls/tab\there.wav"));
    EXPECT_TRUE(refused("/halls/room.wav "));
}

TEST(FileNameTransfer, NamesDecodeWithOrWithoutTheirPadding)
{
    EXPECT_EQ(decodeFileName(values("/halls/a.wav")), "/halls/a.wav");
    EXPECT_EQ(decodeFileName(padded("/halls/a.wav")), "/halls/a.wav");
}

TEST(FileNameTransfer, TheLoadIsSeenInTheValuesThePlugInRewrites)
{
    const std::string name = "/halls/a.wav"; // 12 characters: values 0..5 carry it, 6 holds " \0"
    const auto sent = values(name);
    const auto after = padded(name);
    const NameValues empty{};

    // The plug-in loads during the set of value 5 and rewrites all values;
    // the host then sets 6.. again.
    LoadWatch loads(name, empty);
    NameValues now = empty;
    loads.afterSet(param::fileChecksum, fileNameChecksum(name), now);
    for (int i = 0; i < fileNameValueCount; ++i)
    {
        now[static_cast<std::size_t>(i)] = sent[static_cast<std::size_t>(i)];
        if (i == 5)
            now = after;
        loads.afterSet(param::fileNameFirst + i, sent[static_cast<std::size_t>(i)], now);
    }
    EXPECT_EQ(loads.outcome(), LoadWatch::Outcome::loaded);

    // Nothing rewritten although the name completed: not loaded.
    LoadWatch ignores(name, empty);
    now = empty;
    ignores.afterSet(param::fileChecksum, fileNameChecksum(name), now);
    for (int i = 0; i < fileNameValueCount; ++i)
    {
        now[static_cast<std::size_t>(i)] = sent[static_cast<std::size_t>(i)];
        ignores.afterSet(param::fileNameFirst + i, sent[static_cast<std::size_t>(i)], now);
    }
    EXPECT_EQ(ignores.outcome(), LoadWatch::Outcome::notLoaded);

    // The values already read as the padded name when it completes: a load
    // would change nothing, so the question stays open.
    LoadWatch open(name, after);
    now = after;
    open.afterSet(param::fileChecksum, fileNameChecksum(name), now);
    for (int i = 0; i < 5; ++i)
    {
        now[static_cast<std::size_t>(i)] = sent[static_cast<std::size_t>(i)];
        open.afterSet(param::fileNameFirst + i, sent[static_cast<std::size_t>(i)], now);
    }
    EXPECT_EQ(open.outcome(), LoadWatch::Outcome::unknown);
}
