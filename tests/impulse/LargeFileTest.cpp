// Files too large for 32-bit chunk offsets are refused with the same message
// on every platform (the C run-time's long is 32 bits on Windows).
#include "impulse/WaveReader.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tam;
using namespace tam::test;

TEST(LargeWaveFile, FilesOverTwoGigabytesAreRefusedAsTooLarge)
{
    TempDir dir;
    const std::string path = dir.file("huge.wav");
    writePcm16Wav(path, 44100, 1, std::vector<std::int16_t>(16, 100));
    // Sparse: the blocks past the header are never written.
    for (const std::uintmax_t size : {std::uintmax_t{0x80000000u}, std::uintmax_t{0xC0000000u}})
    {
        std::error_code error;
        std::filesystem::resize_file(path, size, error);
        if (error)
            GTEST_SKIP() << "cannot make a file of " << size << " bytes here: " << error.message();
        std::int32_t rate = 0;
        std::int32_t channels = 0;
        std::int32_t count = 0;
        try
        {
            ReadWaveFile(path, rate, channels, count);
            ADD_FAILURE() << size << " bytes were read";
        }
        catch (const WaveError& e)
        {
            EXPECT_EQ(e.code(), 48) << size << " bytes: " << e.what();
        }
    }
}
