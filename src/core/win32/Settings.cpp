// Settings in the registry: Software\Veldrana_Software\TAM under
// HKEY_LOCAL_MACHINE, then HKEY_CURRENT_USER. The integer is a REG_DWORD, the
// text a REG_SZ; a value stored with any other type reads as absent.
#include "core/Settings.h"

#include <cstring>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tam {

namespace {

// Relative to the root key: a leading backslash makes the registry refuse
// the path, and the settings would silently never persist.
constexpr const char* settingsKey = "Software\\Veldrana_Software\\TAM";
constexpr int sizeRaceAttempts = 4; // re-reads when the text grows between size query and read

/// An open settings key, closed with the object.
class SettingsKey
{
public:
    SettingsKey() = default;
    ~SettingsKey()
    {
        if (handle != nullptr)
            RegCloseKey(handle);
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    /// Opens an existing key for reading; never creates it.
    bool openForReading(HKEY root)
    {
        return RegOpenKeyExA(root, settingsKey, 0, KEY_QUERY_VALUE, &handle) == ERROR_SUCCESS;
    }

    /// Opens the key for writing, creating it where the caller may.
    bool openForWriting(HKEY root)
    {
        return RegCreateKeyExA(root, settingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &handle,
                               nullptr) == ERROR_SUCCESS;
    }

    HKEY get() const { return handle; }

private:
    HKEY handle = nullptr;
};

bool readInt(HKEY root, const std::string& name, std::int32_t& value)
{
    SettingsKey key;
    if (!key.openForReading(root))
        return false;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    std::memcpy(&value, &data, sizeof value);
    return true;
}

bool readText(HKEY root, const std::string& name, std::string& text)
{
    SettingsKey key;
    if (!key.openForReading(root))
        return false;
    for (int attempt = 0; attempt < sizeRaceAttempts; ++attempt)
    {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        // One spare byte: a stored string need not end in a zero byte.
        std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
        DWORD got = size;
        const LONG status =
            RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS || type != REG_SZ || got > size)
            return false;
        text.assign(buffer.data(), std::strlen(buffer.data()));
        return true;
    }
    return false;
}

void writeValue(HKEY root, const std::string& name, DWORD type, const BYTE* data, DWORD size)
{
    SettingsKey key;
    if (key.openForWriting(root))
        RegSetValueExA(key.get(), name.c_str(), 0, type, data, size);
}

} // namespace

std::int32_t ReadSettingInt(const std::string& name)
{
    try
    {
        std::int32_t result = -1;
        if (!readInt(HKEY_LOCAL_MACHINE, name, result))
            result = -1;
        if (result == -1 && !readInt(HKEY_CURRENT_USER, name, result))
            result = -1;
        return result;
    }
    catch (...)
    {
        return -1;
    }
}

std::string ReadSettingString(const std::string& name)
{
    try
    {
        std::string result;
        if (!readText(HKEY_LOCAL_MACHINE, name, result))
            result.clear();
        if (result.empty() && !readText(HKEY_CURRENT_USER, name, result))
            result.clear();
        return result;
    }
    catch (...)
    {
        return {};
    }
}

void WriteSettingInt(const std::string& name, std::int32_t value)
{
    DWORD data = 0;
    std::memcpy(&data, &value, sizeof data);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        writeValue(root, name, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

void WriteSettingString(const std::string& name, const std::string& text)
{
    // A registry string ends at its first zero byte; store exactly that much.
    const DWORD size = static_cast<DWORD>(std::strlen(text.c_str()) + 1);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        writeValue(root, name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), size);
}

} // namespace tam
