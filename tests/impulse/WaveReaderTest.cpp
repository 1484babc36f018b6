// Reading impulse-response files: every accepted sample layout, chunk order
// and every refusal (the compressed formats: CodecFileTest.cpp).
#include "impulse/WaveReader.h"

#include "support/TestSupport.h"
#include "support/WaveRead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace tam;
using namespace tam::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put24(Bytes& b, std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int shift = 0; shift < 24; shift += 8)
        b.push_back(static_cast<std::uint8_t>((u >> shift) & 0xFF));
}

void put32(Bytes& b, std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        b.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
}

template <typename T> void putRaw(Bytes& b, T v)
{
    std::uint8_t raw[sizeof v];
    std::memcpy(raw, &v, sizeof v);
    b.insert(b.end(), raw, raw + sizeof v);
}

struct Chunk
{
    std::string id; ///< four characters
    Bytes body;
};

/// The 16 fixed bytes of a format record.
Bytes fmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
              std::uint16_t bits)
{
    Bytes b;
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * blockAlign);
    put16(b, blockAlign);
    put16(b, bits);
    return b;
}

/// A format record with its extra-size field and extra bytes.
Bytes fmtBodyEx(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint16_t blockAlign,
                std::uint16_t bits, const Bytes& extra)
{
    Bytes b = fmtBody(tag, channels, rate, blockAlign, bits);
    put16(b, static_cast<std::uint16_t>(extra.size()));
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

Bytes extensibleBody(std::uint16_t subTag, std::uint16_t channels, std::uint32_t rate, std::uint16_t containerBits,
                     std::uint16_t validBits)
{
    Bytes extra;
    put16(extra, validBits);
    put32(extra, channels == 1 ? 0x4 : 0x3);
    put16(extra, subTag);
    for (std::uint8_t v : {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
        extra.push_back(v);
    const auto blockAlign = static_cast<std::uint16_t>(channels * containerBits / 8);
    return fmtBodyEx(0xFFFE, channels, rate, blockAlign, containerBits, extra);
}

/// A RIFF WAVE image of the chunks in order, sizes right, odd ones padded.
WavImage riffWave(const std::vector<Chunk>& chunks)
{
    WavImage w;
    w.tag("RIFF");
    w.u32(0);
    w.tag("WAVE");
    for (const Chunk& chunk : chunks)
    {
        for (char c : chunk.id)
            w.u8(static_cast<std::uint8_t>(c));
        w.u32(static_cast<std::uint32_t>(chunk.body.size()));
        w.append(chunk.body);
        if (chunk.body.size() % 2 != 0)
            w.u8(0);
    }
    w.patch32(4, static_cast<std::uint32_t>(w.bytes.size() - 8));
    return w;
}

using Loaded = test::WaveRead;

Loaded load(const std::string& path)
{
    return test::readWave(path);
}

class WaveReaderTest : public ::testing::Test
{
protected:
    TempDir dir;

    std::string save(const WavImage& image, const std::string& name = "t.wav")
    {
        const std::string path = dir.file(name);
        image.save(path);
        return path;
    }

    Loaded loadChunks(const std::vector<Chunk>& chunks) { return load(save(riffWave(chunks))); }

    /// The code of the WaveError reading the file throws, 0 when it reads.
    static int errorOf(const std::string& path, std::string* message = nullptr)
    {
        try
        {
            load(path);
        }
        catch (const WaveError& e)
        {
            if (message != nullptr)
                *message = e.what();
            return e.code();
        }
        return 0;
    }

    int errorOf(const WavImage& image, std::string* message = nullptr) { return errorOf(save(image), message); }
};

constexpr float tight = 1e-7f;

} // namespace

// ---------------------------------------------------------------------------
// Sample layouts

TEST_F(WaveReaderTest, SixteenBitReachesExactlyMinusOneAndPlusOne)
{
    Bytes data;
    for (std::int16_t s : {std::int16_t{-32768}, std::int16_t{32767}, std::int16_t{0}, std::int16_t{16384}})
        put16(data, static_cast<std::uint16_t>(s));
    const Loaded l = loadChunks({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", data}});
    EXPECT_EQ(l.rate, 44100);
    EXPECT_EQ(l.channels, 1);
    EXPECT_EQ(l.count, 4);
    ASSERT_EQ(l.samples.size(), 4u);
    EXPECT_EQ(l.samples[0], -1.0f);
    EXPECT_EQ(l.samples[1], 1.0f);
    EXPECT_EQ(l.samples[2], 0.0f);
    EXPECT_NEAR(l.samples[3], 16384.0f / 32767.0f, tight);
}

TEST_F(WaveReaderTest, EightBitIsUnsignedAroundMidScale)
{
    const Loaded l = loadChunks({{"fmt ", fmtBody(1, 2, 8000, 2, 8)}, {"data", Bytes{0, 255, 128, 127}}});
    ASSERT_EQ(l.count, 4);
    EXPECT_EQ(l.samples[0], -1.0f);
    EXPECT_EQ(l.samples[1], 1.0f);
    EXPECT_NEAR(l.samples[2], 0.003921569f, 1e-6f);
    EXPECT_NEAR(l.samples[3], -0.003921569f, 1e-6f);
}

TEST_F(WaveReaderTest, TwentyFourBitPackedAndInFourByteContainers)
{
    const std::int32_t values[] = {-8388608, 8388607, 4194304, -1};
    Bytes packed, padded;
    for (std::int32_t v : values)
    {
        put24(packed, v);
        put24(padded, v);
        padded.push_back(0xA5); // the container's spare byte must not leak into the sample
    }
    const Loaded p = loadChunks({{"fmt ", fmtBody(1, 2, 48000, 6, 24)}, {"data", packed}});
    const Loaded q = loadChunks({{"fmt ", fmtBody(1, 2, 48000, 8, 24)}, {"data", padded}});
    for (const Loaded* l : {&p, &q})
    {
        ASSERT_EQ(l->count, 4);
        EXPECT_EQ(l->samples[0], -1.0f);
        EXPECT_EQ(l->samples[1], 1.0f);
        EXPECT_NEAR(l->samples[2], 4194304.0f / 8388607.0f, tight);
        EXPECT_NEAR(l->samples[3], -1.0f / 8388608.0f, tight);
    }
}

TEST_F(WaveReaderTest, TwentyBitSitsInTheTopOfThreeBytes)
{
    Bytes packed, padded;
    for (std::int32_t v : {-524288, 524287, 262144})
    {
        put24(packed, v * 16 + 0x9); // low nibble is below the 20 bits
        put24(padded, v * 16 + 0x9);
        padded.push_back(0x5A);
    }
    const Loaded p = loadChunks({{"fmt ", fmtBody(1, 1, 48000, 3, 20)}, {"data", packed}});
    const Loaded q = loadChunks({{"fmt ", fmtBody(1, 1, 48000, 4, 20)}, {"data", padded}});
    for (const Loaded* l : {&p, &q})
    {
        ASSERT_EQ(l->count, 3);
        EXPECT_EQ(l->samples[0], -1.0f);
        EXPECT_EQ(l->samples[1], 1.0f);
        EXPECT_NEAR(l->samples[2], 262144.0f / 524287.0f, tight);
    }
}

TEST_F(WaveReaderTest, ThirtyTwoBitIntegerIsScaledNotTakenAsFloat)
{
    Bytes data;
    put32(data, 0x80000000u); // most negative
    put32(data, 0x40000000u); // half scale
    put32(data, 0x7FC00000u); // a quiet NaN if it were a float
    put32(data, 0xFFFFFFFFu); // -1
    const Loaded l = loadChunks({{"fmt ", fmtBody(1, 1, 96000, 4, 32)}, {"data", data}});
    ASSERT_EQ(l.count, 4);
    EXPECT_EQ(l.samples[0], -1.0f);
    EXPECT_EQ(l.samples[1], 0.5f);
    EXPECT_NEAR(l.samples[2], 0x7FC00000 / 2147483648.0, 1e-7);
    EXPECT_NEAR(l.samples[3], -1.0 / 2147483648.0, 1e-12);
}

TEST_F(WaveReaderTest, FloatSamplesPassUnchangedInBothWidths)
{
    const float values[] = {0.25f, -1.5f, 1e-30f, -0.0f};
    Bytes singles, doubles;
    for (float v : values)
    {
        putRaw(singles, v);
        putRaw(doubles, static_cast<double>(v));
    }
    const Loaded s = loadChunks({{"fmt ", fmtBody(3, 2, 44100, 8, 32)}, {"data", singles}});
    const Loaded d = loadChunks({{"fmt ", fmtBody(3, 2, 44100, 16, 64)}, {"data", doubles}});
    for (const Loaded* l : {&s, &d})
    {
        ASSERT_EQ(l->count, 4);
        ASSERT_EQ(l->channels, 2);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(l->samples[i], values[i]) << i;
    }
}

TEST_F(WaveReaderTest, NonFiniteFloatSamplesAreRefusedWithError100)
{
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    {
        Bytes singles, doubles;
        putRaw(singles, 0.5f);
        putRaw(singles, bad);
        putRaw(doubles, 0.5);
        putRaw(doubles, static_cast<double>(bad));
        std::string message;
        EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBody(3, 1, 44100, 4, 32)}, {"data", singles}}), &message), 100);
        EXPECT_EQ(message, "Error 100: Corrupted Wav-file. This file contains illegal Numbers, please convert it "
                           "to 32 Bit IEEE Float!");
        EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBody(3, 1, 44100, 8, 64)}, {"data", doubles}})), 100);
    }
    // A double beyond the float range cannot be represented either.
    Bytes huge;
    putRaw(huge, 1e300);
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBody(3, 1, 44100, 8, 64)}, {"data", huge}})), 100);
}

TEST_F(WaveReaderTest, ExtensibleRecordsReadLikePlainPcmAndFloat)
{
    // 24 valid bits left-justified in 32-bit containers: read as 32-bit.
    Bytes data24;
    put32(data24, 0x80000000u);
    put32(data24, 0x40000000u);
    put32(data24, 0x00000100u);
    put32(data24, 0xC0000000u);
    const Loaded a = loadChunks({{"fmt ", extensibleBody(1, 2, 48000, 32, 24)}, {"data", data24}});
    ASSERT_EQ(a.count, 4);
    EXPECT_EQ(a.samples[0], -1.0f);
    EXPECT_EQ(a.samples[1], 0.5f);
    EXPECT_NEAR(a.samples[2], 1.0f / 8388608.0f, 1e-12f);
    EXPECT_EQ(a.samples[3], -0.5f);

    Bytes floats;
    putRaw(floats, 0.75f);
    putRaw(floats, -0.125f);
    const Loaded b = loadChunks({{"fmt ", extensibleBody(3, 1, 44100, 32, 32)}, {"data", floats}});
    ASSERT_EQ(b.count, 2);
    EXPECT_EQ(b.samples[0], 0.75f);
    EXPECT_EQ(b.samples[1], -0.125f);

    Bytes data24packed;
    put24(data24packed, 8388607);
    const Loaded c = loadChunks({{"fmt ", extensibleBody(1, 1, 44100, 24, 24)}, {"data", data24packed}});
    ASSERT_EQ(c.count, 1);
    EXPECT_EQ(c.samples[0], 1.0f);
}

TEST_F(WaveReaderTest, ExtensibleWithAnUnknownSubFormatNeedsADecoder)
{
    Bytes body = extensibleBody(1, 1, 44100, 16, 16);
    body[24 + 4] = 0x77; // corrupt the GUID tail
    EXPECT_EQ(errorOf(riffWave({{"fmt ", body}, {"data", Bytes(4, 0)}})), 26);
    Bytes shortExtra = fmtBodyEx(0xFFFE, 1, 44100, 2, 16, Bytes(6, 0));
    EXPECT_EQ(errorOf(riffWave({{"fmt ", shortExtra}, {"data", Bytes(4, 0)}})), 26);
}

// ---------------------------------------------------------------------------
// Chunk layout

TEST_F(WaveReaderTest, DataBeforeFmtAndChunksAroundItAreFound)
{
    Bytes data;
    put16(data, 0x7FFF);
    put16(data, 0x8000);
    const Loaded l = loadChunks({{"JUNK", Bytes(3, 0xEE)},
                                 {"data", data},
                                 {"LIST", Bytes{'I', 'N', 'F', 'O', 1, 2, 3}},
                                 {"fmt ", fmtBody(1, 1, 22050, 2, 16)}});
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.samples[0], 1.0f);
    EXPECT_EQ(l.samples[1], -1.0f);
}

TEST_F(WaveReaderTest, TrailingChunksAreNeverTakenAsSamples)
{
    std::vector<float> expected = {0.1f, -0.2f, 0.3f, -0.4f, 0.5f, -0.6f};
    Bytes data;
    for (float v : expected)
        putRaw(data, v);
    Bytes trailer;
    for (int i = 0; i < 9; ++i)
        putRaw(trailer, 0.9f);
    // An odd-sized chunk before the data shifts everything behind it by its pad byte.
    const Loaded l = loadChunks({{"fmt ", fmtBody(3, 2, 44100, 8, 32)},
                                 {"odd ", Bytes(5, 0x11)},
                                 {"data", data},
                                 {"smpl", trailer},
                                 {"LIST", Bytes{'I', 'N', 'F', 'O'}}});
    ASSERT_EQ(l.count, 6);
    ASSERT_EQ(l.samples.size(), 6u);
    EXPECT_EQ(l.samples, expected);
}

TEST_F(WaveReaderTest, ResultHoldsWholeFramesOfTheDataChunkOnly)
{
    // 5 bytes of 16-bit stereo: one whole frame; the rest of the file is a
    // large trailing chunk that must not inflate the result.
    const Loaded l = loadChunks({{"fmt ", fmtBody(1, 2, 44100, 4, 16)},
                                 {"data", Bytes{0xFF, 0x7F, 0x00, 0x80, 0x12}},
                                 {"pad ", Bytes(8000, 0)}});
    EXPECT_EQ(l.count, 2);
    EXPECT_EQ(l.samples.size(), 2u);
    EXPECT_EQ(l.samples[0], 1.0f);
    EXPECT_EQ(l.samples[1], -1.0f);
}

TEST_F(WaveReaderTest, ManyFramesCrossTheReadStepsInOrder)
{
    // More than one read step of frames, each frame unique.
    const int frames = 30001;
    std::vector<std::int16_t> samples(2 * frames);
    for (int i = 0; i < frames; ++i)
    {
        samples[2 * i] = static_cast<std::int16_t>(i - 15000);
        samples[2 * i + 1] = static_cast<std::int16_t>(15000 - i);
    }
    const std::string path = dir.file("long.wav");
    writePcm16Wav(path, 44100, 2, samples);
    const Loaded l = load(path);
    ASSERT_EQ(l.count, 2 * frames);
    for (int i = 0; i < frames; i += 997)
    {
        EXPECT_EQ(std::lround(l.samples[2 * i] * 32768.0f), i - 15000) << i;
        EXPECT_EQ(std::lround(l.samples[2 * i + 1] * 32768.0f), 15000 - i) << i;
    }
}

// ---------------------------------------------------------------------------
// Refusals with the numbered messages

TEST_F(WaveReaderTest, FilesThatAreNotRiffWaveAreRefused)
{
    std::string message;
    EXPECT_EQ(errorOf(dir.file("missing.wav"), &message), 24);
    EXPECT_EQ(message, "Error 24: Cannot open file.");
    EXPECT_EQ(errorOf(dir.path().string()), 24); // a folder

    EXPECT_EQ(errorOf(WavImage{}, &message), 12);
    EXPECT_EQ(message, "Error 12: Invalid multimedia file!");
    WavImage headerOnly;
    headerOnly.tag("RIFF");
    headerOnly.u32(4);
    EXPECT_EQ(errorOf(headerOnly), 12); // no room for the form type

    WavImage avi = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", Bytes(2, 0)}});
    avi.bytes[8] = 'A';
    EXPECT_EQ(errorOf(avi, &message), 13);
    EXPECT_EQ(message, "Error 13: Not a wave file!");
    WavImage rifx = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", Bytes(2, 0)}});
    rifx.bytes[3] = 'X';
    EXPECT_EQ(errorOf(rifx), 13);
}

TEST_F(WaveReaderTest, BrokenFormatChunksAreRefusedInOrder)
{
    std::string message;
    EXPECT_EQ(errorOf(riffWave({{"data", Bytes(4, 0)}}), &message), 14);
    EXPECT_EQ(message, "Error 14: Cannot find 'fmt' chunk!");
    // A 'fmt ' chunk beyond the RIFF chunk's own size is outside it.
    WavImage outside = riffWave({{"data", Bytes(4, 0)}, {"fmt ", fmtBody(1, 1, 44100, 2, 16)}});
    outside.patch32(4, 4 + 8 + 4);
    EXPECT_EQ(errorOf(outside), 14);

    EXPECT_EQ(errorOf(riffWave({{"fmt ", Bytes(14, 0)}, {"data", Bytes(4, 0)}}), &message), 15);
    EXPECT_EQ(message, "Error 15: Abnormal 'fmt' size!");

    // The file ends inside the 16 fixed bytes.
    WavImage cut = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}});
    cut.bytes.resize(cut.bytes.size() - 6);
    EXPECT_EQ(errorOf(cut, &message), 16);
    EXPECT_EQ(message, "Error 16: Cannot read 'fmt' chunk!");

    // A coded format whose chunk promises the extra-size field, but the file ends.
    WavImage noExtraSize = riffWave({{"fmt ", fmtBodyEx(6, 1, 8000, 1, 8, {})}});
    noExtraSize.bytes.resize(noExtraSize.bytes.size() - 2);
    EXPECT_EQ(errorOf(noExtraSize, &message), 17);
    EXPECT_EQ(message, "Error 17: Cannot read 'waveformatex' length!");

    // Extra bytes claimed beyond the chunk, and extra bytes cut by the end of the file.
    Bytes overlong = fmtBodyEx(2, 1, 8000, 256, 4, Bytes(4, 0));
    overlong[16] = 40;
    EXPECT_EQ(errorOf(riffWave({{"fmt ", overlong}, {"data", Bytes(256, 0)}}), &message), 18);
    EXPECT_EQ(message, "Error 18: Cannot read 'waveformatex'!");
    WavImage cutExtra = riffWave({{"fmt ", fmtBodyEx(2, 1, 8000, 256, 4, Bytes(32, 0))}});
    cutExtra.bytes.resize(cutExtra.bytes.size() - 10);
    EXPECT_EQ(errorOf(cutExtra), 18);

    EXPECT_EQ(
        errorOf(riffWave({{"fmt ", fmtBodyEx(0x55, 2, 44100, 1, 0, Bytes(12, 0))}, {"data", Bytes(4, 0)}}), &message),
        19);
    EXPECT_EQ(message, "Error 19: MPEG Layer-3 compression is not supported.");
}

TEST_F(WaveReaderTest, FormatsWithoutADecoderAreRefusedWith26)
{
    std::string message;
    // GSM 6.10 has no decoder here; nor has A-law with 16 bits or ADPCM whose blocks cannot hold a header.
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBodyEx(0x31, 1, 8000, 65, 0, Bytes{0x40, 0x01})}, {"data", Bytes(65, 0)}}),
                      &message),
              26);
    EXPECT_EQ(message, "Error 26: Cannot suggest pcm format.");
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBodyEx(6, 1, 8000, 2, 16, {})}, {"data", Bytes(4, 0)}})), 26);
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBodyEx(0x11, 2, 8000, 4, 4, Bytes{1, 0})}, {"data", Bytes(8, 0)}})), 26);
    Bytes noCoefficients;
    put16(noCoefficients, 500);
    put16(noCoefficients, 0);
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBodyEx(2, 1, 8000, 256, 4, noCoefficients)}, {"data", Bytes(256, 0)}})),
              26);
}

TEST_F(WaveReaderTest, ImpossibleFormatsAreRefusedInsteadOfMisread)
{
    struct Case
    {
        Bytes fmt;
        int code;
        const char* message;
    };
    const Case cases[] = {
        {fmtBody(1, 0, 44100, 2, 16), 41, "Error 41: The file has no channels!"},
        {fmtBody(1, 3, 44100, 6, 16), 42, "Error 42: Only mono and stereo files are supported!"},
        {fmtBody(1, 1, 0, 2, 16), 43, "Error 43: Invalid sample rate!"},
        {fmtBody(1, 1, 0x80000000u, 2, 16), 43, "Error 43: Invalid sample rate!"},
        {fmtBody(1, 1, 44100, 0, 16), 44, "Error 44: Invalid block alignment!"},
        {fmtBody(1, 2, 44100, 2, 16), 44, "Error 44: Invalid block alignment!"},
        {fmtBody(1, 2, 44100, 4, 24), 44, "Error 44: Invalid block alignment!"},
        {fmtBody(3, 1, 44100, 4, 64), 44, "Error 44: Invalid block alignment!"},
        {fmtBody(6, 1, 8000, 0, 8), 44, "Error 44: Invalid block alignment!"},
        {fmtBody(1, 1, 44100, 2, 12), 45, "Error 45: Unsupported number of bits per sample!"},
        {fmtBody(1, 1, 44100, 8, 64), 45, "Error 45: Unsupported number of bits per sample!"},
        {fmtBody(3, 1, 44100, 2, 16), 45, "Error 45: Unsupported number of bits per sample!"},
        {fmtBody(1, 1, 44100, 2, 0), 45, "Error 45: Unsupported number of bits per sample!"},
    };
    for (const Case& c : cases)
    {
        std::string message;
        EXPECT_EQ(errorOf(riffWave({{"fmt ", c.fmt}, {"data", Bytes(48, 0)}}), &message), c.code) << c.message;
        EXPECT_EQ(message, c.message);
    }
}

TEST_F(WaveReaderTest, MissingEmptyOrOversizedDataIsRefused)
{
    std::string message;
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"LIST", Bytes(20, 0)}}), &message), 40);
    EXPECT_EQ(message, "Error 40: Cannot find 'data' chunk!");

    WavImage beyond = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", Bytes(100, 0)}});
    beyond.patch32(40, 102); // two bytes more than the file holds
    EXPECT_EQ(errorOf(beyond, &message), 46);
    EXPECT_EQ(message, "Error 46: 'data' chunk larger than the file!");
    beyond.patch32(40, 0xFFFFFFFFu);
    EXPECT_EQ(errorOf(beyond), 46);

    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", {}}}), &message), 47);
    EXPECT_EQ(message, "Error 47: The file contains no samples!");
    EXPECT_EQ(errorOf(riffWave({{"fmt ", fmtBody(1, 2, 44100, 4, 16)}, {"data", Bytes(3, 0)}})), 47);
}

TEST_F(WaveReaderTest, ChunkSizesPointingAnywhereNeverHangOrOverrun)
{
    // A chunk claiming nearly 4 GB before the data ends the search at the end of the file.
    WavImage huge = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"JUNK", Bytes(4, 0)}, {"data", Bytes(4, 0)}});
    huge.patch32(36 + 4, 0xFFFFFFF0u);
    EXPECT_EQ(errorOf(huge), 40);
    // A 'fmt ' chunk claiming more than the file: the fixed bytes read, the data is never found.
    WavImage fmtHuge = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", Bytes(4, 0)}});
    fmtHuge.patch32(16, 0xFFFFFFFFu);
    EXPECT_EQ(errorOf(fmtHuge), 40);
    // A RIFF size larger than the file is harmless when the chunks are there.
    WavImage riffHuge = riffWave({{"fmt ", fmtBody(1, 1, 44100, 2, 16)}, {"data", Bytes{0xFF, 0x7F}}});
    riffHuge.patch32(4, 0xFFFFFFFFu);
    EXPECT_EQ(load(save(riffHuge)).count, 1);
}

TEST_F(WaveReaderTest, EveryTruncationOfAValidFileReadsOrFailsCleanly)
{
    Bytes data;
    for (int i = 0; i < 40; ++i)
        put24(data, i * 1000);
    const WavImage full =
        riffWave({{"fmt ", fmtBody(1, 2, 44100, 6, 24)}, {"data", data}, {"LIST", Bytes{'I', 'N', 'F', 'O', 7}}});
    const std::size_t dataEnd = 12 + 24 + 8 + data.size();
    for (std::size_t size = 0; size < full.bytes.size(); ++size)
    {
        WavImage cut;
        cut.bytes.assign(full.bytes.begin(), full.bytes.begin() + static_cast<std::ptrdiff_t>(size));
        const int code = errorOf(cut);
        if (size >= dataEnd)
            EXPECT_EQ(code, 0) << size;
        else
            EXPECT_NE(code, 0) << size;
    }
}

// ---------------------------------------------------------------------------
// Compressed formats

TEST_F(WaveReaderTest, G711CodesDecodeToTheirLinearValues)
{
    // A-law 0xD5 and 0x55 are the smallest steps either side of zero, 0xAA
    // and 0x2A the largest; mu-law 0xFF is zero, 0x00 and 0x80 the extremes.
    const Loaded a = loadChunks({{"fmt ", fmtBodyEx(6, 1, 8000, 1, 8, {})}, {"data", Bytes{0xD5, 0x55, 0xAA, 0x2A}}});
    ASSERT_EQ(a.count, 4);
    EXPECT_EQ(a.samples[0], 8.0f / 32767.0f);
    EXPECT_EQ(a.samples[1], -8.0f / 32768.0f);
    EXPECT_EQ(a.samples[2], 32256.0f / 32767.0f);
    EXPECT_EQ(a.samples[3], -32256.0f / 32768.0f);

    const Loaded u = loadChunks({{"fmt ", fmtBodyEx(7, 2, 8000, 2, 8, {})}, {"data", Bytes{0xFF, 0x7F, 0x80, 0x00}}});
    ASSERT_EQ(u.count, 4);
    EXPECT_EQ(u.samples[0], 0.0f);
    EXPECT_EQ(u.samples[1], 0.0f);
    EXPECT_EQ(u.samples[2], 32124.0f / 32767.0f);
    EXPECT_EQ(u.samples[3], -32124.0f / 32768.0f);
}

TEST_F(WaveReaderTest, CodedFormatWithSixteenByteRecordReadsNoForeignBytes)
{
    // Without an extra-size field the record ends at 16 bytes: the 'data'
    // header behind it must not be taken for extra bytes.
    const Loaded l = loadChunks({{"fmt ", fmtBody(7, 1, 8000, 1, 8)}, {"data", Bytes{0xFF, 0x80}}});
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.samples[0], 0.0f);
    EXPECT_EQ(l.samples[1], 32124.0f / 32767.0f);
}

TEST_F(WaveReaderTest, ImaAdpcmBlockDecodesStepByStep)
{
    // One mono block of 8 bytes: first sample 1000, step index 0, then codes
    // 7, 7, 0, 8 (low nibble first) and four zeros.
    Bytes block;
    put16(block, 1000);
    block.push_back(0);
    block.push_back(0);
    for (std::uint8_t b : {0x77, 0x80, 0x00, 0x00})
        block.push_back(b);
    const Loaded l = loadChunks({{"fmt ", fmtBodyEx(0x11, 1, 8000, 8, 4, Bytes{9, 0})}, {"data", block}});
    ASSERT_EQ(l.count, 9);
    // step 7: code 7 adds 7/8+7+3+1 = 11; index moves +8 to step 16: code 7 adds 2+16+8+4 = 30;
    // index +8 to 16 (step 34): code 0 adds 4; index -1 to 15 (step 31): code 8 subtracts 3.
    const int expected[] = {1000, 1011, 1041, 1045, 1042};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(std::lround(l.samples[i] * 32767.0f), expected[i]) << i;
}

TEST_F(WaveReaderTest, CodedHeadersGetTheSameVerdictOnEveryPlatform)
{
    // Run by the Linux and the Windows build alike: each layer must read or
    // refuse (with 26) exactly these records, whatever its decoders would do.
    auto ima = [](std::uint16_t channels, std::uint16_t blockAlign, std::optional<std::uint16_t> framesPerBlock) {
        if (!framesPerBlock)
            return fmtBody(0x11, channels, 8000, blockAlign, 4);
        Bytes extra;
        put16(extra, *framesPerBlock);
        return fmtBodyEx(0x11, channels, 8000, blockAlign, 4, extra);
    };
    auto ms = [](std::uint16_t channels, std::uint16_t blockAlign, std::uint16_t framesPerBlock) {
        Bytes extra;
        put16(extra, framesPerBlock);
        put16(extra, 7);
        for (const std::uint16_t v : {256, 0, 512, 0xFF00, 0, 0, 192, 64, 240, 0, 460, 0xFF30, 392, 0xFF18})
            put16(extra, v);
        return fmtBodyEx(0x02, channels, 8000, blockAlign, 4, extra);
    };
    auto muLaw = [](std::uint32_t rate) { return fmtBody(0x07, 1, rate, 1, 8); };
    struct Case
    {
        const char* what;
        Bytes fmt;
        bool reads;
    };
    const Case cases[] = {
        {"IMA mono, 505 frames in 256 bytes", ima(1, 256, 505), true},
        {"IMA stereo, 1017 frames in 1024 bytes", ima(2, 1024, 1017), true},
        {"IMA with 0 frames per block", ima(1, 256, 0), false},
        {"IMA with fewer frames than its blocks hold", ima(1, 2048, 100), false},
        {"IMA with more frames than its blocks hold", ima(1, 256, 60000), false},
        {"IMA without the frames-per-block field", ima(1, 256, std::nullopt), false},
        {"IMA with bytes beyond the last word of its blocks", ima(2, 1030, 1017), false},
        {"MS ADPCM mono, 500 frames in 256 bytes", ms(1, 256, 500), true},
        {"MS ADPCM with 0 frames per block", ms(1, 256, 0), false},
        {"MS ADPCM with more frames than its blocks hold", ms(1, 1024, 65535), false},
        {"mu-law at 8000 Hz", muLaw(8000), true},
        {"mu-law at 1 Hz", muLaw(1), false},
        {"mu-law at 2^31 - 1 Hz", muLaw(0x7FFFFFFF), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(riffWave({{"fmt ", c.fmt}, {"data", Bytes(2048, 0)}})), c.reads ? 0 : 26) << c.what;
}

#if !defined(_WIN32) // the decoder of this layer; Windows decodes with its own
TEST_F(WaveReaderTest, MsAdpcmPredictionSaturatesInsteadOfOverflowing)
{
    // Coefficients (-32768, -32768) on two samples of -32768: the products
    // sum to 2^31 before the shift. The same file seeds the fuzzer.
    Bytes extra;
    for (const std::uint16_t v : {4, 1, 0x8000, 0x8000})
        put16(extra, v);
    Bytes block{0}; // predictor 0
    for (const std::uint16_t v : {16, 0x8000, 0x8000})
        put16(block, v);
    block.push_back(0x00); // two codes of 0
    const Loaded l = loadChunks({{"fmt ", fmtBodyEx(0x02, 1, 8000, 8, 4, extra)}, {"data", block}});
    ASSERT_EQ(l.count, 4);
    EXPECT_EQ(std::lround(l.samples[2] * 32767.0f), 32767); // 2^31 >> 8, limited to 16 bits
    EXPECT_EQ(std::lround(l.samples[3] * 32767.0f), 128);   // (32767 - 32768) * -32768 >> 8
}
#endif

namespace {

bool soxAvailable()
{
#if defined(_WIN32)
    return false; // no sox inside wine
#else
    static const bool available = std::system("sox --version >/dev/null 2>&1") == 0;
    return available;
#endif
}

/// Writes a test signal with the whole range of an impulse response: a
/// decaying noise burst over a swept tone, full scale at the start.
void writeSource(const std::string& path, int channels, int frames)
{
    std::vector<std::int16_t> samples(static_cast<std::size_t>(channels) * frames);
    std::uint32_t noise = 12345;
    for (int i = 0; i < frames; ++i)
    {
        const double t = static_cast<double>(i) / frames;
        const double envelope = std::exp(-4.0 * t);
        for (int c = 0; c < channels; ++c)
        {
            noise = noise * 1664525u + 1013904223u;
            const double n = (static_cast<double>(noise >> 8) / 8388608.0) - 1.0;
            const double tone = std::sin(6.283185307 * (200.0 + 3000.0 * t) * i / 8000.0 + c);
            const double v = envelope * (0.6 * n + 0.4 * tone);
            samples[static_cast<std::size_t>(i) * channels + c] =
                static_cast<std::int16_t>(std::clamp(v * 32767.0, -32768.0, 32767.0));
        }
    }
    writePcm16Wav(path, 8000, channels, samples);
}

} // namespace

TEST_F(WaveReaderTest, SoxWrittenLayoutsReadLikeTheirSource)
{
    if (!soxAvailable())
        GTEST_SKIP() << "sox is not installed";
    const std::string source = dir.file("source.wav");
    writeSource(source, 2, 3000);
    const Loaded original = load(source);
    struct Layout
    {
        const char* options;
        double tolerance; ///< in 16-bit steps
    };
    // Positive full scale maps to +1.0 in every layout, so a 16-bit value
    // may differ by up to one step; 8 bits (undithered) keep half an 8-bit step
    // plus the stretch of 255 codes over the full range.
    for (const Layout& layout :
         {Layout{"-e signed -b 24", 1.01}, Layout{"-e signed -b 32", 1.01}, Layout{"-e floating-point -b 32", 1.01},
          Layout{"-e floating-point -b 64", 1.01}, Layout{"-e unsigned -b 8 -D", 400.0}})
    {
        const std::string out = dir.file("layout.wav");
        ASSERT_EQ(std::system(("sox '" + source + "' " + layout.options + " '" + out + "'").c_str()), 0);
        const Loaded l = load(out);
        ASSERT_EQ(l.count, original.count) << layout.options;
        double worst = 0.0;
        for (std::size_t i = 0; i < l.samples.size(); ++i)
            worst =
                std::max(worst, std::abs(static_cast<double>(l.samples[i]) - static_cast<double>(original.samples[i])) *
                                    32768.0);
        EXPECT_LE(worst, layout.tolerance) << layout.options;
    }
}
