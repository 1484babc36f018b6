// Coded files made by sox at build time (tests/support/CodecFiles.cmake),
// read through this build's decoder (the audio compression manager on
// Windows, the built-in decoders elsewhere) and compared with sox's own
// decoding of the same file.
#include "impulse/WaveReader.h"
#include "impulse/WaveStream.h"
#include "support/TestSupport.h"
#include "support/WaveRead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>

using namespace tam;

namespace {

std::string codecFile(const std::string& name)
{
    return std::string(TAM_CODEC_DATA) + "/" + name;
}

struct Tolerance
{
    double peak; ///< largest difference from sox's decoding, in 16-bit steps
    double rms;  ///< root mean square of the difference, in 16-bit steps
};

/// G.711 and IMA ADPCM decoders are table lookups and integer steps that
/// every implementation computes alike: bit-exact.
///
/// Microsoft ADPCM predicts each sample from the two before it,
/// (c1 * s1 + c2 * s2) / 256. sox and the built-in decoder shift, rounding
/// towards minus infinity; wine's decoder divides, rounding towards zero,
/// which makes a negative prediction one step larger whenever it is not a
/// multiple of 256 (a decoder written both ways reproduces the differences
/// measured here exactly: 226 steps mono, 193 stereo, rms 57 and 43). The
/// step sizes do not depend on the samples, so nothing pulls the two decoders
/// together within a block; with the 192/64 predictor (coefficients summing
/// to 256) the difference walks up by as much as one step per negative
/// sample. It cannot outlast a block: every block starts from the exact
/// samples in its header, which the test checks separately. 1 % of full
/// scale, rms 0.2 %, bounds that walk with room to spare and is still far
/// below what a decoding fault (a block out of place, channels swapped,
/// bytes misread) produces.
Tolerance toleranceFor(const std::string& codec)
{
#if defined(_WIN32)
    if (codec == "ms-adpcm")
        return {328.0, 64.0};
#endif
    (void)codec;
    return {0.5, 0.5};
}

/// PCM frames per block, whose first one (IMA) or two (Microsoft) come
/// straight from the block header; 0 for formats without blocks.
int headerFrames(const std::string& codec, int& framesPerBlock)
{
    framesPerBlock = codec == "ima-adpcm" ? 505 : codec == "ms-adpcm" ? 500 : 0;
    return codec == "ima-adpcm" ? 1 : codec == "ms-adpcm" ? 2 : 0;
}

std::uint16_t formatTag(const std::string& codec)
{
    return codec == "a-law" ? 6 : codec == "u-law" ? 7 : codec == "ima-adpcm" ? 0x11 : 2;
}

class CodecFile : public ::testing::TestWithParam<std::tuple<const char*, int>>
{
protected:
    void SetUp() override
    {
        if (std::string(TAM_CODEC_DATA).empty())
            GTEST_SKIP() << "sox was not found when the build was configured";
    }
};

} // namespace

TEST_P(CodecFile, DecodesLikeSoxWithinTheCodecsTolerance)
{
    const auto [codec, channels] = GetParam();
    const std::string stem = std::string(codec) + "-" + std::to_string(channels) + "ch";
    {
        // The file really is in the coded format under test.
        TFileWaveStream stream(codecFile(stem + ".wav"));
        EXPECT_EQ(stream.Format.tag(), formatTag(codec));
    }
    const test::WaveRead ours = test::readWave(codecFile(stem + ".wav"));
    const test::WaveRead theirs = test::readWave(codecFile(stem + "-sox.wav"));
    ASSERT_EQ(ours.channels, channels);
    EXPECT_EQ(ours.rate, 8000);
    EXPECT_EQ(ours.count, static_cast<std::int32_t>(ours.samples.size()));
    // Whole blocks only: never fewer frames than sox, at most one block more.
    ASSERT_GE(ours.count, theirs.count);
    EXPECT_LE(ours.count - theirs.count, 1024 * channels);

    double worst = 0.0;
    double sumSquares = 0.0;
    for (std::size_t i = 0; i < theirs.samples.size(); ++i)
    {
        const double difference =
            (static_cast<double>(ours.samples[i]) - static_cast<double>(theirs.samples[i])) * 32768.0;
        worst = std::max(worst, std::fabs(difference));
        sumSquares += difference * difference;
    }
    const double rms = std::sqrt(sumSquares / static_cast<double>(std::max<std::size_t>(1, theirs.samples.size())));
    RecordProperty("max_deviation_lsb", std::to_string(worst));
    std::printf("%s: max deviation from sox %.1f LSB, rms %.2f LSB\n", stem.c_str(), worst, rms);
    EXPECT_LE(worst, toleranceFor(codec).peak);
    EXPECT_LE(rms, toleranceFor(codec).rms);

    // Samples taken from block headers are exact with every decoder.
    int framesPerBlock = 0;
    const int exactFrames = headerFrames(codec, framesPerBlock);
    for (std::int32_t frame = 0; exactFrames > 0 && frame < theirs.count / channels; frame += framesPerBlock)
        for (int f = frame; f < frame + exactFrames; ++f)
            for (int c = 0; c < channels; ++c)
            {
                const auto i = static_cast<std::size_t>(f * channels + c);
                ASSERT_EQ(ours.samples[i], theirs.samples[i]) << "header frame " << f << ", channel " << c;
            }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecFile,
                         ::testing::Combine(::testing::Values("a-law", "u-law", "ima-adpcm", "ms-adpcm"),
                                            ::testing::Values(1, 2)),
                         [](const auto& param)
                         { return test::codecCaseName(std::get<0>(param.param), std::get<1>(param.param)); });

TEST(CodecFileReader, DecoderBuffersAreSizedAlikeOnEveryPlatform)
{
    if (std::string(TAM_CODEC_DATA).empty())
        GTEST_SKIP() << "sox was not found when the build was configured";
    struct Expected
    {
        const char* file;
        std::int32_t blocksPerConversion; ///< 20000 bytes of PCM / PCM bytes of one block
        std::int64_t framesPerBlock;
        std::size_t sourceBytes;  ///< blocksPerConversion x block alignment
        std::size_t decodedBytes; ///< blocksPerConversion x frames per block x PCM frame bytes
    };
    // sox writes 256-byte IMA blocks per channel (505 frames) and 256-byte
    // Microsoft ADPCM blocks per channel (500 frames); G.711 has one frame
    // per one-byte block per channel.
    const Expected cases[] = {
        {"ima-adpcm-1ch.wav", 19, 505, 19 * 256, 19 * 505 * 2}, {"ima-adpcm-2ch.wav", 9, 505, 9 * 512, 9 * 505 * 4},
        {"ms-adpcm-1ch.wav", 20, 500, 20 * 256, 20 * 500 * 2},  {"ms-adpcm-2ch.wav", 10, 500, 10 * 512, 10 * 500 * 4},
        {"u-law-2ch.wav", 5000, 1, 5000 * 2, 5000 * 4},
    };
    for (const Expected& e : cases)
    {
        TFileWaveStream stream(codecFile(e.file));
        TPCMWaveReader reader(stream);
        EXPECT_EQ(reader.PCMFormat.tag(), waveTagPcm) << e.file;
        EXPECT_EQ(reader.PCMFormat.bitsPerSample(), 16) << e.file;
        EXPECT_EQ(reader.PCMFormat.channels(), stream.Format.channels()) << e.file;
        EXPECT_EQ(reader.BlocksPerConversion, e.blocksPerConversion) << e.file;
        EXPECT_EQ(reader.FramesPerBlock, e.framesPerBlock) << e.file;
        EXPECT_EQ(reader.sourceBuffer.size(), e.sourceBytes) << e.file;
        EXPECT_EQ(reader.decodedBuffer.size(), e.decodedBytes) << e.file;
        EXPECT_EQ(reader.FrameCount, reader.FramesPerBlock * stream.FrameCount) << e.file;
    }
}

TEST(CodecFileReader, ReadingBackwardsAndAcrossBuffersGivesTheSameFrames)
{
    if (std::string(TAM_CODEC_DATA).empty())
        GTEST_SKIP() << "sox was not found when the build was configured";
    const test::WaveRead whole = test::readWave(codecFile("ima-adpcm-2ch.wav"));
    TFileWaveStream stream(codecFile("ima-adpcm-2ch.wav"));
    TPCMWaveReader reader(stream);
    // From the middle of a later buffer back to frames the decoder has
    // already passed: each read must decode the blocks it needs again.
    for (const std::int64_t start : {std::int64_t{4000}, std::int64_t{3}, std::int64_t{4544}, std::int64_t{0}})
    {
        std::vector<std::int16_t> frames(2 * 700);
        reader.Position = start;
        const std::int32_t got = reader.Read(frames.data(), 700);
        ASSERT_EQ(got, static_cast<std::int32_t>(std::min<std::int64_t>(700, reader.FrameCount - start))) << start;
        for (std::int32_t i = 0; i < 2 * got; ++i)
        {
            const float expected = whole.samples[static_cast<std::size_t>(2 * start + i)];
            const float value = frames[static_cast<std::size_t>(i)] > 0
                                    ? frames[static_cast<std::size_t>(i)] / 32767.0f
                                    : frames[static_cast<std::size_t>(i)] / 32768.0f;
            ASSERT_EQ(value, expected) << "start " << start << ", sample " << i;
        }
    }
}
