// Fixtures shared by the test suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tam::test {

/// A folder under the system's temporary directory, removed with the object.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return root; }
    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

/// Sets an environment variable for the lifetime of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    std::string previous;
    bool hadPrevious;
};

/// Points the plug-in's settings store at empty private roots while it
/// lives, so a test neither reads nor changes the machine's settings. Linux:
/// the XDG variables name folders inside `dir`. Windows: both registry roots
/// the store uses are redirected, for this process only, to fresh keys under
/// HKEY_CURRENT_USER\Software\Veldrana_Tests, which are deleted afterwards;
/// with machineWritable false the machine-wide one refuses to open or create
/// anything, like HKEY_LOCAL_MACHINE for a user without administrator rights
/// (Windows only). One sandbox at a time.
class SettingsSandbox
{
public:
    explicit SettingsSandbox(const TempDir& dir, bool machineWritable = true);
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

private:
    struct Roots; ///< per platform
    std::unique_ptr<Roots> roots;
};

/// A test with private settings roots in a temporary folder, so that it
/// neither reads nor changes the machine's settings.
struct SandboxedTest : ::testing::Test
{
    TempDir dir;
    SettingsSandbox settings{dir};
};

/// Byte-level WAV image writer: every field is explicit so a test can build
/// malformed files as easily as good ones.
struct WavImage
{
    std::vector<std::uint8_t> bytes;

    void u8(std::uint8_t v) { bytes.push_back(v); }
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void tag(const char (&fourCc)[5]);
    void append(const std::vector<std::uint8_t>& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    /// Patches a little-endian 32-bit value at an offset.
    void patch32(std::size_t offset, std::uint32_t v);
    void save(const std::string& path) const;
};

/// Test-case name of a coded-file case, e.g. "imaadpcm_2ch".
inline std::string codecCaseName(std::string encoding, int channels)
{
    std::erase(encoding, '-');
    return encoding + "_" + std::to_string(channels) + "ch";
}

/// A complete WAV file of 32-bit float samples, written as the tools write it.
void writeFloatWav(const std::string& path, int sampleRate, int channels, const std::vector<float>& interleaved);
/// A complete canonical 16-bit PCM WAV file, every sample as given.
void writePcm16Wav(const std::string& path, int sampleRate, int channels, const std::vector<std::int16_t>& interleaved);

/// `n` values uniform in [-amplitude, amplitude), the same for a seed on every run.
std::vector<float> noise(std::size_t n, unsigned seed, float amplitude = 1.0f);

void noteAllocation();

/// Makes the n-th allocation (counted from 0) on the calling thread fail
/// while the guard is alive, to test what happens when memory runs out.
class FailingAllocation
{
public:
    explicit FailingAllocation(long n);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation&) = delete;
    FailingAllocation& operator=(const FailingAllocation&) = delete;
    bool triggered() const;
};

/// Allocation counter for real-time checks: counts operator new/delete calls
/// made on the calling thread while a guard is alive.
class AllocationCounter
{
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;
    long count() const;
};

} // namespace tam::test
