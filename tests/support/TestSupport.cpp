#include "support/TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <random>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tam::test {

TempDir::TempDir()
{
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        auto candidate = base / ("tam-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(candidate))
        {
            root = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

ScopedEnv::ScopedEnv(const char* variable, const std::string& value) : name(variable)
{
    const char* old = std::getenv(variable);
    hadPrevious = old != nullptr;
    if (hadPrevious)
        previous = old;
#if defined(_WIN32)
    _putenv_s(variable, value.c_str());
#else
    setenv(variable, value.c_str(), 1);
#endif
}

ScopedEnv::~ScopedEnv()
{
#if defined(_WIN32)
    _putenv_s(name.c_str(), hadPrevious ? previous.c_str() : "");
#else
    if (hadPrevious)
        setenv(name.c_str(), previous.c_str(), 1);
    else
        unsetenv(name.c_str());
#endif
}

#if defined(_WIN32)

struct SettingsSandbox::Roots
{
    std::string baseName; ///< below HKEY_CURRENT_USER
    HKEY machine = nullptr;
    HKEY user = nullptr;
    HKEY machineView = nullptr; ///< what HKEY_LOCAL_MACHINE stands for

    ~Roots()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        for (HKEY key : {machine, user, machineView})
            if (key != nullptr)
                RegCloseKey(key);
        if (!baseName.empty())
            RegDeleteTreeA(HKEY_CURRENT_USER, baseName.c_str());
    }
};

namespace {
constexpr const char* sandboxParent = "Software\\Veldrana_Tests";
}

SettingsSandbox::SettingsSandbox(const TempDir&, bool machineWritable) : roots(std::make_unique<Roots>())
{
    static std::atomic<unsigned> serial{0};
    roots->baseName = std::string(sandboxParent) + "\\" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(serial.fetch_add(1));
    const std::string machineName = roots->baseName + "\\machine";
    const std::string userName = roots->baseName + "\\user";
    bool ok = RegCreateKeyExA(HKEY_CURRENT_USER, machineName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &roots->machine, nullptr) == ERROR_SUCCESS &&
              RegCreateKeyExA(HKEY_CURRENT_USER, userName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &roots->user, nullptr) == ERROR_SUCCESS;
    ok = ok && RegOpenKeyExA(HKEY_CURRENT_USER, machineName.c_str(), 0, KEY_ALL_ACCESS, &roots->machineView) ==
                   ERROR_SUCCESS;
    // A deleted key refuses every open and create below it, as a registry
    // root does for a user without rights (wine itself enforces no rights).
    if (ok && !machineWritable)
        ok = RegDeleteKeyA(HKEY_CURRENT_USER, machineName.c_str()) == ERROR_SUCCESS;
    ok = ok && RegOverridePredefKey(HKEY_LOCAL_MACHINE, roots->machineView) == ERROR_SUCCESS &&
         RegOverridePredefKey(HKEY_CURRENT_USER, roots->user) == ERROR_SUCCESS;
    if (!ok)
        throw std::runtime_error("cannot redirect the registry roots");
}

SettingsSandbox::~SettingsSandbox()
{
    roots.reset();
    RegDeleteKeyA(HKEY_CURRENT_USER, sandboxParent); // fails while another process still has a sandbox
}

#else

struct SettingsSandbox::Roots
{
    Roots(const std::string& machineFolder, const std::string& userFolder)
        : machine("XDG_CONFIG_DIRS", machineFolder), user("XDG_CONFIG_HOME", userFolder)
    {
    }
    ScopedEnv machine;
    ScopedEnv user;
};

SettingsSandbox::SettingsSandbox(const TempDir& dir, bool)
    : roots(std::make_unique<Roots>(dir.file("machine"), dir.file("user")))
{
}

SettingsSandbox::~SettingsSandbox() = default;

#endif

void WavImage::u16(std::uint16_t v)
{
    bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(v >> 8));
}

void WavImage::u32(std::uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
}

void WavImage::tag(const char (&fourCc)[5])
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(fourCc[i]));
}

void WavImage::patch32(std::size_t offset, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void WavImage::save(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

namespace {

void writeCanonical(const std::string& path, std::uint16_t formatTag, int sampleRate, int channels, int bits,
                    const std::vector<std::uint8_t>& data)
{
    WavImage w;
    const auto blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    w.tag("RIFF");
    w.u32(static_cast<std::uint32_t>(4 + 8 + 16 + 8 + data.size()));
    w.tag("WAVE");
    w.tag("fmt ");
    w.u32(16);
    w.u16(formatTag);
    w.u16(static_cast<std::uint16_t>(channels));
    w.u32(static_cast<std::uint32_t>(sampleRate));
    w.u32(static_cast<std::uint32_t>(sampleRate) * blockAlign);
    w.u16(blockAlign);
    w.u16(static_cast<std::uint16_t>(bits));
    w.tag("data");
    w.u32(static_cast<std::uint32_t>(data.size()));
    w.append(data);
    w.save(path);
}

} // namespace

void writeFloatWav(const std::string& path, int sampleRate, int channels, const std::vector<float>& interleaved)
{
    std::vector<std::uint8_t> data(interleaved.size() * sizeof(float));
    std::memcpy(data.data(), interleaved.data(), data.size());
    writeCanonical(path, 3, sampleRate, channels, 32, data);
}

void writePcm16Wav(const std::string& path, int sampleRate, int channels, const std::vector<std::int16_t>& interleaved)
{
    std::vector<std::uint8_t> data(interleaved.size() * sizeof(std::int16_t));
    std::memcpy(data.data(), interleaved.data(), data.size());
    writeCanonical(path, 1, sampleRate, channels, 16, data);
}

namespace {
thread_local int countingDepth = 0;
thread_local long allocationCount = 0;
thread_local long failingIndex = -1; ///< allocation to refuse, -1 for none
thread_local long allocationsSeen = 0;
thread_local bool failureTriggered = false;
} // namespace

FailingAllocation::FailingAllocation(long n)
{
    failingIndex = n;
    allocationsSeen = 0;
    failureTriggered = false;
}

FailingAllocation::~FailingAllocation()
{
    failingIndex = -1;
}

bool FailingAllocation::triggered() const
{
    return failureTriggered;
}

bool refuseAllocation()
{
    if (failingIndex < 0 || allocationsSeen++ != failingIndex)
        return false;
    failureTriggered = true;
    return true;
}

AllocationCounter::AllocationCounter()
{
    if (countingDepth++ == 0)
        allocationCount = 0;
}

AllocationCounter::~AllocationCounter()
{
    --countingDepth;
}

long AllocationCounter::count() const
{
    return allocationCount;
}

bool refuseAllocation();

void noteAllocation()
{
    if (countingDepth > 0)
        ++allocationCount;
}

} // namespace tam::test

// Replacement of the global allocation functions so the counter sees every
// allocation and release made on a counting thread, including those made
// inside the plug-in module loaded by the host-level tests.
void* operator new(std::size_t size)
{
    tam::test::noteAllocation();
    if (tam::test::refuseAllocation())
        throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    tam::test::noteAllocation();
    if (tam::test::refuseAllocation())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* p) noexcept
{
    if (p != nullptr)
        tam::test::noteAllocation();
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    operator delete(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    operator delete(p);
}
