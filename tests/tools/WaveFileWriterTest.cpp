// The WAV writer of the tools: exact headers and samples, dither and
// clamping, and never a partial file at the target.
#include "impulse/WaveReader.h"
#include "support/TestSupport.h"
#include "wav/WaveFileWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

using namespace tam;
using namespace tam::tools;
using namespace tam::test;
namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> bytesOf(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::size_t entriesIn(const fs::path& folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(TpdfDither, IsTriangularOverPlusMinusOneLsb)
{
    TpdfDither dither;
    constexpr int count = 200000;
    double sum = 0.0, sumSquares = 0.0, inner = 0.0;
    for (int i = 0; i < count; ++i)
    {
        const double d = dither.next();
        ASSERT_GT(d, -1.0);
        ASSERT_LT(d, 1.0);
        sum += d;
        sumSquares += d * d;
        inner += std::fabs(d) < 0.5 ? 1.0 : 0.0;
    }
    EXPECT_NEAR(sum / count, 0.0, 0.005);
    EXPECT_NEAR(sumSquares / count, 1.0 / 6.0, 0.003);
    EXPECT_NEAR(inner / count, 0.75, 0.005) << "a triangle holds 3/4 of its area within half its width";
}

TEST(Quantise, RoundsToNearestAndClampsAtFullScale)
{
    bool clipped = true;
    EXPECT_EQ(quantise(0.0f, 16, 0.0, clipped), 0);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(quantise(0.5f, 16, 0.0, clipped), 16384);
    EXPECT_EQ(quantise(-1.0f, 16, 0.0, clipped), -32768);
    EXPECT_FALSE(clipped);
    EXPECT_EQ(quantise(1.5f / 32768.0f, 16, 0.0, clipped), 2) << "half an LSB rounds up";
    EXPECT_EQ(quantise(1.4f / 32768.0f, 16, 0.49, clipped), 2) << "dither is added before rounding";
    EXPECT_EQ(quantise(1.5f, 16, 0.0, clipped), 32767);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(quantise(-2.0f, 24, 0.0, clipped), -8388608);
    EXPECT_TRUE(clipped);
    EXPECT_EQ(quantise(32767.0f / 32768.0f, 16, 0.9, clipped), 32767) << "dither alone never wraps";
    EXPECT_FALSE(clipped);
    EXPECT_EQ(quantise(std::nanf(""), 16, 0.0, clipped), 0);
}

TEST(WaveFileWriter, WritesWhatTheReaderReadsBack)
{
    TempDir dir;
    const std::vector<float> samples = {0.0f, 0.25f, -0.5f, 0.75f, 1.0f, -1.0f, 0.125f, -0.0625f};
    for (const SampleFormat format : {SampleFormat::float32, SampleFormat::pcm24, SampleFormat::pcm16})
    {
        const std::string path = dir.file(std::string("out") + std::to_string(bitsPerSample(format)) + ".wav");
        WaveFileWriter writer(path, 48000, 2, format, 1);
        writer.write(samples.data(), 2);
        writer.write(samples.data() + 4, 2);
        writer.finish();
        EXPECT_EQ(writer.framesWritten(), 4u);
        std::int32_t rate = 0, channels = 0, count = 0;
        const auto back = ReadWaveFile(path, rate, channels, count);
        EXPECT_EQ(rate, 48000);
        EXPECT_EQ(channels, 2);
        ASSERT_EQ(back.size(), samples.size());
        const double lsb = format == SampleFormat::float32 ? 0.0 : std::ldexp(1.0, 1 - bitsPerSample(format));
        for (std::size_t i = 0; i < samples.size(); ++i)
        {
            // Full scale +1.0 is one LSB beyond the integer range.
            const double expected = samples[i] == 1.0f && lsb > 0.0 ? 1.0 - lsb : samples[i];
            EXPECT_NEAR(back[i], expected, lsb) << formatName(format) << " sample " << i;
        }
    }
}

TEST(WaveFileWriter, PadsAnOddDataChunk)
{
    TempDir dir;
    const std::string path = dir.file("mono24.wav");
    WaveFileWriter writer(path, 44100, 1, SampleFormat::pcm24);
    const std::vector<float> samples = {0.1f, 0.2f, 0.3f};
    writer.write(samples.data(), samples.size());
    writer.finish();
    const auto bytes = bytesOf(path);
    ASSERT_EQ(bytes.size(), 44u + 9u + 1u);
    const auto riffSize = static_cast<unsigned>(bytes[4] | bytes[5] << 8 | bytes[6] << 16 | bytes[7] << 24);
    const auto dataSize = static_cast<unsigned>(bytes[40] | bytes[41] << 8 | bytes[42] << 16 | bytes[43] << 24);
    EXPECT_EQ(dataSize, 9u);
    EXPECT_EQ(riffSize, bytes.size() - 8);
}

TEST(WaveFileWriter, LeavesTheTargetAloneUnlessFinished)
{
    TempDir dir;
    const std::string path = dir.file("take.wav");
    std::ofstream(path) << "previous take";
    const std::vector<float> samples(64, 0.5f);
    {
        WaveFileWriter writer(path, 44100, 2, SampleFormat::float32);
        writer.write(samples.data(), 32);
        EXPECT_TRUE(fs::exists(writer.temporaryPath()));
        EXPECT_EQ(fs::path(writer.temporaryPath()).parent_path(), fs::path(path).parent_path());
        // Abandoned: an error elsewhere, say.
    }
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "the temporary file is gone";
    const auto old = bytesOf(path);
    EXPECT_EQ(std::string(old.begin(), old.end()), "previous take");

    WaveFileWriter writer(path, 44100, 2, SampleFormat::float32);
    writer.write(samples.data(), 32);
    writer.finish();
    EXPECT_EQ(entriesIn(dir.path()), 1u);
    EXPECT_EQ(bytesOf(path).size(), 58u + 64u * 4u);
}

TEST(WaveFileWriter, RefusesDestinationsItCannotWrite)
{
    TempDir dir;
    EXPECT_THROW(WaveFileWriter(dir.file("missing/out.wav"), 44100, 2, SampleFormat::float32), WaveWriteError);
    EXPECT_THROW(WaveFileWriter(dir.path().string(), 44100, 2, SampleFormat::float32), WaveWriteError);
    EXPECT_THROW(WaveFileWriter(dir.file("out.wav"), 0, 2, SampleFormat::float32), WaveWriteError);
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}
