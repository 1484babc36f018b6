// The settings sandbox of the test suites (TestSupport.h): private registry
// keys on Windows, private XDG folders elsewhere. Kept apart from
// TestSupport.cpp, which replaces the global allocation functions.
#include "support/TestSupport.h"

#include <atomic>
#include <stdexcept>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tam::test {

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
              RegCreateKeyExA(HKEY_CURRENT_USER, userName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &roots->user,
                              nullptr) == ERROR_SUCCESS;
    ok = ok &&
         RegOpenKeyExA(HKEY_CURRENT_USER, machineName.c_str(), 0, KEY_ALL_ACCESS, &roots->machineView) == ERROR_SUCCESS;
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

} // namespace tam::test
