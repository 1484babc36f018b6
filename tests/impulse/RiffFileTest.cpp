// The chunk-level file layer under the WAV reader: entering, finding and
// leaving chunks, pad bytes, search bounds, and reads and seeks at the edges.
#include "impulse/RiffIo.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace tam;
using namespace tam::test;

namespace {

class RiffFileTest : public ::testing::Test
{
protected:
    TempDir dir;

    /// RIFF 'WAVE' holding "odd " (3 bytes, padded) and "two " (2 bytes);
    /// behind the RIFF chunk's end one more chunk "out ".
    std::unique_ptr<RiffFile> openSample(const std::string& name = "sample.riff")
    {
        WavImage w;
        w.tag("RIFF");
        w.u32(4 + 12 + 10);
        w.tag("WAVE");
        for (const char* body : {"odd abc", "two xy", "out zz"})
        {
            const std::string s(body);
            w.append(std::vector<std::uint8_t>(s.begin(), s.begin() + 4));
            w.u32(static_cast<std::uint32_t>(s.size() - 4));
            w.append(std::vector<std::uint8_t>(s.begin() + 4, s.end()));
            if (s.size() % 2 != 0)
                w.u8(0);
        }
        w.save(dir.file(name));
        return RiffFile::open(dir.file(name));
    }

    static std::string readString(RiffFile& file, int count)
    {
        std::string s(static_cast<std::size_t>(count), '\0');
        const std::int32_t got = file.read(s.data(), count);
        s.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return s;
    }
};

} // namespace

TEST_F(RiffFileTest, EntersFindsAndLeavesChunksAcrossPadBytes)
{
    auto file = openSample();
    ASSERT_TRUE(file);
    RiffChunkInfo riff, odd, next, two;
    ASSERT_TRUE(file->descend(riff, nullptr, false));
    EXPECT_EQ(riff.id, riffId);
    EXPECT_EQ(riff.formType, fourCc('W', 'A', 'V', 'E'));
    EXPECT_EQ(riff.dataOffset, 8);

    ASSERT_TRUE(file->descend(odd, &riff, false));
    EXPECT_EQ(odd.id, fourCc('o', 'd', 'd', ' '));
    EXPECT_EQ(odd.formType, 0u);
    EXPECT_EQ(readString(*file, 1), "a");
    ASSERT_TRUE(file->ascend(odd));
    ASSERT_TRUE(file->descend(next, &riff, false));
    EXPECT_EQ(next.id, fourCc('t', 'w', 'o', ' '));

    ASSERT_EQ(file->seek(12, RiffSeek::begin), 12);
    two.id = fourCc('t', 'w', 'o', ' ');
    ASSERT_TRUE(file->descend(two, &riff, true));
    EXPECT_EQ(two.size, 2u);
    EXPECT_EQ(two.dataOffset, 12 + 8 + 4 + 8);
    EXPECT_EQ(readString(*file, 2), "xy");
}

TEST_F(RiffFileTest, ANameWithAPlusAfterAnExtensionOpensTheFileOnDisk)
{
    // Windows' multimedia I/O takes "ext+" in a name for an I/O procedure.
    for (const char* name : {"Hall.mem+Plate.wav", "take.txt+2.riff"})
    {
        auto file = openSample(name);
        ASSERT_TRUE(file) << name;
        RiffChunkInfo riff;
        ASSERT_TRUE(file->descend(riff, nullptr, false)) << name;
        EXPECT_EQ(riff.formType, fourCc('W', 'A', 'V', 'E')) << name;
    }
}

TEST_F(RiffFileTest, SearchStaysInsideTheParent)
{
    auto file = openSample();
    ASSERT_TRUE(file);
    RiffChunkInfo riff, out;
    ASSERT_TRUE(file->descend(riff, nullptr, false));
    out.id = fourCc('o', 'u', 't', ' ');
    EXPECT_FALSE(file->descend(out, &riff, true));
    ASSERT_EQ(file->seek(12, RiffSeek::begin), 12);
    EXPECT_TRUE(file->descend(out, nullptr, true));
    EXPECT_EQ(readString(*file, 8), "zz");
}

TEST_F(RiffFileTest, SeeksFromEveryOriginAndStopsAtTheEdges)
{
    auto file = openSample();
    ASSERT_TRUE(file);
    const std::int64_t size = 12 + 12 + 10 + 10;
    EXPECT_EQ(file->seek(0, RiffSeek::end), size);
    EXPECT_EQ(file->seek(-2, RiffSeek::current), size - 2);
    EXPECT_EQ(readString(*file, 10), "zz");
    EXPECT_EQ(readString(*file, 10), "");
    EXPECT_EQ(file->seek(-1, RiffSeek::begin), -1);
    EXPECT_EQ(file->seek(8, RiffSeek::begin), 8);
    RiffIoInfo info;
    ASSERT_TRUE(file->getInfo(info));
    EXPECT_EQ(info.fileOffset, 8);
    EXPECT_EQ(readString(*file, 4), "WAVE");

    EXPECT_FALSE(RiffFile::open(dir.file("missing")));
    EXPECT_FALSE(RiffFile::open(dir.path().string()));
}

TEST_F(RiffFileTest, ChunkSizesThatWrapThirtyTwoBitsEndTheSearch)
{
    // 'JUNK' claims 0xFFFFFFF8 bytes: in 32-bit arithmetic the chunk ends
    // exactly at its own header, and a search that wrapped would read it
    // again for ever. Sizes just short of that wrap back into earlier bytes.
    // The RIFF size is given right or as large as it can be.
    for (const std::uint32_t riffSize : {4u + 12u + 10u, 0xFFFFFFFFu})
    {
        for (const std::uint32_t size : {0xFFFFFFF8u, 0xFFFFFFF0u, 0xFFFFFFFFu, 0xFFFFFFEAu})
        {
            WavImage w;
            w.tag("RIFF");
            w.u32(riffSize);
            w.tag("WAVE");
            w.tag("JUNK");
            w.u32(size);
            w.u32(0);
            w.tag("data");
            w.u32(2);
            w.u16(0);
            w.save(dir.file("wrap.riff"));
            auto file = RiffFile::open(dir.file("wrap.riff"));
            ASSERT_TRUE(file);
            RiffChunkInfo riff, data;
            ASSERT_TRUE(file->descend(riff, nullptr, false));
            data.id = fourCc('d', 'a', 't', 'a');
            EXPECT_FALSE(file->descend(data, &riff, true)) << std::hex << riffSize << " " << size;
        }
    }
}
