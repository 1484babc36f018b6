// The settings store on Windows: the registry key under both roots, the value
// types, and the lookup and write order. Each case runs in a registry sandbox
// (both roots redirected to private keys for this process).
#include "core/Settings.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace tam {
namespace {

constexpr const char* dcc = "using_dcc";
constexpr const char* defaultFile = "default_file";
constexpr const char* settingsKey = "Software\\Veldrana_Software\\TAM";

bool keyExists(HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, settingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

struct Stored
{
    bool found = false;
    DWORD type = 0;
    std::vector<unsigned char> data;
};

Stored stored(HKEY root, const char* name)
{
    Stored s;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, settingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return s;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS)
    {
        s.data.assign(size, 0);
        s.found = RegQueryValueExA(key, name, nullptr, &s.type, s.data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return s;
}

void put(HKEY root, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, settingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void putDword(HKEY root, const char* name, std::int32_t value)
{
    put(root, name, REG_DWORD, &value, sizeof value);
}

void putText(HKEY root, const char* name, const std::string& text)
{
    put(root, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

struct RegistrySettings : ::testing::Test
{
    test::TempDir dir;
    test::SettingsSandbox sandbox{dir};
};

} // namespace

TEST_F(RegistrySettings, NothingStoredReadsAsDefaultsAndReadingCreatesNoKey)
{
    EXPECT_EQ(ReadSettingInt(dcc), -1);
    EXPECT_EQ(ReadSettingString(defaultFile), "");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER));
}

TEST_F(RegistrySettings, WritesCreateTheKeyUnderBothRootsWithTheTypesHostsExpect)
{
    WriteSettingInt(dcc, 0);
    WriteSettingString(defaultFile, "C:\\Impulses\\Hall A.wav");
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
    {
        const Stored number = stored(root, dcc);
        ASSERT_TRUE(number.found);
        EXPECT_EQ(number.type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(number.data, (std::vector<unsigned char>{0, 0, 0, 0}));
        const Stored text = stored(root, defaultFile);
        ASSERT_TRUE(text.found);
        EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
        const std::string expected("C:\\Impulses\\Hall A.wav");
        EXPECT_EQ(text.data, std::vector<unsigned char>(expected.c_str(), expected.c_str() + expected.size() + 1))
            << "the text and one terminating zero";
    }
    WriteSettingInt(dcc, -7);
    EXPECT_EQ(ReadSettingInt(dcc), -7);
    EXPECT_EQ(ReadSettingString(defaultFile), "C:\\Impulses\\Hall A.wav");

    // Stored like a registry string: up to the first zero byte.
    WriteSettingString(defaultFile, std::string("cut\0off", 7));
    EXPECT_EQ(stored(HKEY_CURRENT_USER, defaultFile).data, (std::vector<unsigned char>{'c', 'u', 't', 0}));
}

TEST_F(RegistrySettings, MachineWideValueWinsUnlessItIsMinusOneOrMissing)
{
    putDword(HKEY_LOCAL_MACHINE, dcc, 0);
    putDword(HKEY_CURRENT_USER, dcc, 1);
    EXPECT_EQ(ReadSettingInt(dcc), 0);
    putDword(HKEY_LOCAL_MACHINE, dcc, -1);
    EXPECT_EQ(ReadSettingInt(dcc), 1);
    putText(HKEY_LOCAL_MACHINE, dcc, "0"); // another type: absent
    EXPECT_EQ(ReadSettingInt(dcc), 1);

    putText(HKEY_LOCAL_MACHINE, defaultFile, "");
    putText(HKEY_CURRENT_USER, defaultFile, "C:\\user.wav");
    EXPECT_EQ(ReadSettingString(defaultFile), "C:\\user.wav");
    putText(HKEY_LOCAL_MACHINE, defaultFile, "C:\\shared.wav");
    EXPECT_EQ(ReadSettingString(defaultFile), "C:\\shared.wav");
}

TEST_F(RegistrySettings, ValuesOfAnotherTypeOrSizeCountAsAbsent)
{
    const std::int64_t wide = 1;
    const unsigned char twoBytes[2] = {1, 0};
    const unsigned char binary[4] = {1, 0, 0, 0};
    put(HKEY_CURRENT_USER, dcc, REG_QWORD, &wide, sizeof wide);
    EXPECT_EQ(ReadSettingInt(dcc), -1);
    put(HKEY_CURRENT_USER, dcc, REG_BINARY, binary, sizeof binary);
    EXPECT_EQ(ReadSettingInt(dcc), -1);
    put(HKEY_CURRENT_USER, dcc, REG_DWORD, twoBytes, sizeof twoBytes);
    EXPECT_EQ(ReadSettingInt(dcc), -1);

    putDword(HKEY_CURRENT_USER, defaultFile, 3);
    EXPECT_EQ(ReadSettingString(defaultFile), "");
    const char expand[] = "%TEMP%\\x.wav";
    put(HKEY_CURRENT_USER, defaultFile, REG_EXPAND_SZ, expand, sizeof expand);
    EXPECT_EQ(ReadSettingString(defaultFile), "");
    put(HKEY_CURRENT_USER, defaultFile, REG_MULTI_SZ, "a\0b\0", 5);
    EXPECT_EQ(ReadSettingString(defaultFile), "");
}

TEST_F(RegistrySettings, TextsAreReadWholeWhateverTheirLengthOrEnding)
{
    // Written by another program without the terminating zero.
    put(HKEY_CURRENT_USER, defaultFile, REG_SZ, "C:\\a.wav", 8);
    EXPECT_EQ(ReadSettingString(defaultFile), "C:\\a.wav");
    const std::string longName = "C:\\" + std::string(3000, 'x') + ".wav";
    putText(HKEY_CURRENT_USER, defaultFile, longName);
    EXPECT_EQ(ReadSettingString(defaultFile), longName);
    put(HKEY_CURRENT_USER, defaultFile, REG_SZ, "C:\\b.wav\0junk", 14);
    EXPECT_EQ(ReadSettingString(defaultFile), "C:\\b.wav");
}

TEST(RegistrySettingsRefused, MachineWideRootThatCannotBeOpenedIsSkipped)
{
    test::TempDir dir;
    test::SettingsSandbox sandbox(dir, false);
    WriteSettingInt(dcc, 1);
    WriteSettingString(defaultFile, "C:\\u.wav");
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(stored(HKEY_CURRENT_USER, dcc).data, (std::vector<unsigned char>{1, 0, 0, 0}));
    EXPECT_EQ(ReadSettingInt(dcc), 1);
    EXPECT_EQ(ReadSettingString(defaultFile), "C:\\u.wav");
}

} // namespace tam
