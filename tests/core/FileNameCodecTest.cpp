#include "core/FileNameCodec.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace tam {
namespace {

std::string chars(float v)
{
    const auto pair = valueToChars(v);
    return std::string(pair.data(), pair.size());
}

/// Decodes a whole value list the way the parameter setter rebuilds a name.
std::string decode(const std::array<float, fileNameValueCount>& values)
{
    std::string name;
    for (float v : values)
        name += chars(v);
    return name;
}

TEST(FileNameTransport, TwoCharactersPerValue)
{
    const auto values = fileNameToValues("ab");
    EXPECT_EQ(values[0], (97.0f * 256.0f + 98.0f) / 65536.0f);
    for (std::size_t i = 1; i < values.size(); ++i)
        EXPECT_EQ(values[i], 0.0f) << i;
    EXPECT_EQ(chars(values[0]), "ab");
}

TEST(FileNameTransport, OddLengthPairsTheLastCharacterWithASpace)
{
    const auto values = fileNameToValues("abc");
    EXPECT_EQ(values[1], (99.0f * 256.0f + 32.0f) / 65536.0f);
    EXPECT_EQ(values[2], 0.0f);
    EXPECT_EQ(chars(values[1]), "c ");
}

TEST(FileNameTransport, EmptyNameCarriesASpaceAndTheZeroByte)
{
    const auto values = fileNameToValues("");
    EXPECT_EQ(values[0], 0.125f);
    EXPECT_EQ(chars(values[0]), "  ");
    EXPECT_EQ(values[1], 0.0f);
}

TEST(FileNameTransport, LongNamesTravelAsTheirFirst254Characters)
{
    std::string name;
    for (int i = 0; i < 300; ++i)
        name += static_cast<char>('A' + i % 26);
    const std::string decoded = decode(fileNameToValues(name));
    EXPECT_EQ(decoded, name.substr(0, 254));

    const std::string exact = name.substr(0, 254);
    EXPECT_EQ(decode(fileNameToValues(exact)), exact);
    const std::string shorter = name.substr(0, 253);
    EXPECT_EQ(decode(fileNameToValues(shorter)), shorter + " ");
}

TEST(FileNameTransport, HighCodesRoundTripAndUnprintableOnesBecomeSpaces)
{
    const std::string name = "C:\\Impulse\\H\xe4lle \xfe.wav";
    std::string decoded = decode(fileNameToValues(name));
    while (!decoded.empty() && decoded.back() == ' ')
        decoded.pop_back();
    EXPECT_EQ(decoded, name);

    EXPECT_EQ(chars(fileNameToValues("\t\xff")[0]), "  ");
    EXPECT_EQ(chars(1.0f), "  ");
    EXPECT_EQ(chars(-0.5f), "  ");
    EXPECT_EQ(chars(std::numeric_limits<float>::quiet_NaN()), "  ");
}

TEST(FileNameTransport, ValueToCharsRoundsHalvesToEven)
{
    // 24930.5 / 65536: ties to even gives 24930 ("ab"), not 24931 ("ac").
    EXPECT_EQ(chars(24930.5f / 65536.0f), "ab");
    EXPECT_EQ(chars(24931.5f / 65536.0f), "ad");
    // A value a host stored with a little error still decodes.
    EXPECT_EQ(chars(24930.0f / 65536.0f + 3.0e-6f), "ab");
}

TEST(FileNameChecksum, CountsEveryCharacterButSpaces)
{
    EXPECT_FLOAT_EQ(fileNameChecksum("abc"), 0.0030298f);
    EXPECT_EQ(fileNameChecksum("a b"), fileNameChecksum("ab"));
    EXPECT_EQ(fileNameChecksum("  "), fileNameChecksum(""));
    EXPECT_FLOAT_EQ(fileNameChecksum(""), 1.0e-7f);
    // Codes above 127 count as 128 .. 255, not as negative numbers.
    EXPECT_FLOAT_EQ(fileNameChecksum("\xe4"), (1.0f + 229.0f + 10000.0f) / 1.0e7f);
}

TEST(FileNameChecksum, MatchesAtOneTenMillionth)
{
    const std::string name = "/home/user/impulses/hall.wav";
    const float k = fileNameChecksum(name);
    EXPECT_TRUE(checksumMatches(name, k));
    // A host that kept the value only to about seven digits still matches.
    EXPECT_TRUE(checksumMatches(name, k + 3.0e-8f));
    EXPECT_FALSE(checksumMatches(name, k + 1.0e-7f));
    EXPECT_FALSE(checksumMatches(name + "x", k));
    EXPECT_FALSE(checksumMatches(name, std::numeric_limits<float>::quiet_NaN()));
    EXPECT_FALSE(checksumMatches(name, std::numeric_limits<float>::infinity()));
}

} // namespace
} // namespace tam
