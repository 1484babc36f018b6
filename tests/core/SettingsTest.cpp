#include "core/Settings.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

// The registry side is exercised under wine; these cases cover the files.
#if !defined(_WIN32)

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tam {
namespace {

namespace fs = std::filesystem;

constexpr const char* dcc = "using_dcc";
constexpr const char* defaultFile = "default_file";

class SettingsFiles : public ::testing::Test
{
protected:
    test::TempDir temp;
    fs::path machine = temp.path() / "machine";
    fs::path user = temp.path() / "user";
    // A second, never used entry shows that only the first one counts.
    test::ScopedEnv machineEnv{"XDG_CONFIG_DIRS", machine.string() + ":" + (temp.path() / "other").string()};
    test::ScopedEnv userEnv{"XDG_CONFIG_HOME", user.string()};

    static fs::path fileUnder(const fs::path& root) { return root / "Veldrana_Software" / "TAM" / "settings.conf"; }

    static void put(const fs::path& root, const std::string& content)
    {
        fs::create_directories(fileUnder(root).parent_path());
        std::ofstream(fileUnder(root), std::ios::binary) << content;
    }

    static std::string contentOf(const fs::path& root)
    {
        std::ifstream in(fileUnder(root), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(SettingsFiles, NothingStoredReadsAsDefaultsAndCreatesNothing)
{
    EXPECT_EQ(ReadSettingInt(dcc), -1);
    EXPECT_EQ(ReadSettingString(defaultFile), "");
    EXPECT_FALSE(fs::exists(machine));
    EXPECT_FALSE(fs::exists(user));
}

TEST_F(SettingsFiles, WritesReachBothRootsAndReadBack)
{
    WriteSettingInt(dcc, 0);
    EXPECT_EQ(ReadSettingInt(dcc), 0);
    EXPECT_EQ(contentOf(machine), "using_dcc=dword:0\n");
    EXPECT_EQ(contentOf(user), "using_dcc=dword:0\n");

    const std::string awkward = "C:\\Impulses\\a=b #1\nsecond line\r\\n\xe4.wav";
    WriteSettingString(defaultFile, awkward);
    WriteSettingInt(dcc, -7);
    EXPECT_EQ(ReadSettingString(defaultFile), awkward);
    EXPECT_EQ(ReadSettingInt(dcc), -7);
    // One line per value, updated in place.
    EXPECT_EQ(contentOf(user),
              "using_dcc=dword:-7\ndefault_file=sz:C:\\\\Impulses\\\\a=b #1\\nsecond line\\r\\\\n\xe4.wav\n");
}

TEST_F(SettingsFiles, MachineWideValueWinsUnlessItIsMinusOneOrMissing)
{
    put(machine, "using_dcc=dword:0\n");
    put(user, "using_dcc=dword:1\n");
    EXPECT_EQ(ReadSettingInt(dcc), 0);

    put(machine, "using_dcc=dword:-1\n");
    EXPECT_EQ(ReadSettingInt(dcc), 1);

    put(machine, "default_file=sz:/m.wav\n");
    EXPECT_EQ(ReadSettingInt(dcc), 1);

    fs::remove_all(machine);
    EXPECT_EQ(ReadSettingInt(dcc), 1);
}

TEST_F(SettingsFiles, EmptyMachineWideTextFallsThroughToThePerUserOne)
{
    put(machine, "default_file=sz:\n");
    put(user, "default_file=sz:/home/u/hall.wav\n");
    EXPECT_EQ(ReadSettingString(defaultFile), "/home/u/hall.wav");

    put(machine, "default_file=sz:/shared/room.wav\n");
    EXPECT_EQ(ReadSettingString(defaultFile), "/shared/room.wav");
}

TEST_F(SettingsFiles, ValueOfAnotherTypeCountsAsAbsent)
{
    put(machine, "using_dcc=sz:0\ndefault_file=dword:3\n");
    EXPECT_EQ(ReadSettingInt(dcc), -1);
    EXPECT_EQ(ReadSettingString(defaultFile), "");

    put(user, "using_dcc=dword:1\ndefault_file=sz:/u.wav\n");
    EXPECT_EQ(ReadSettingInt(dcc), 1);
    EXPECT_EQ(ReadSettingString(defaultFile), "/u.wav");

    fs::remove_all(temp.path());
    fs::create_directories(temp.path());
    WriteSettingInt("shared_name", 5);
    EXPECT_EQ(ReadSettingString("shared_name"), "");
    WriteSettingString("shared_name", "5");
    EXPECT_EQ(ReadSettingInt("shared_name"), -1);
}

TEST_F(SettingsFiles, DamagedLinesCountAsAbsent)
{
    const struct
    {
        const char* content;
        std::int32_t expected;
    } intCases[] = {
        {"using_dcc=dword:12", -1},           // truncated: no line end
        {"using_dcc=dword:12x\n", -1},        // trailing garbage
        {"using_dcc=dword:\n", -1},           // no digits
        {"using_dcc=dword:+3\n", -1},         // only a minus sign is allowed
        {"using_dcc=dword:4294967296\n", -1}, // out of range
        {"using_dcc=dword:-2147483648\n", -2147483647 - 1},
        {"using_dcc=dword:3\r\n", 3},                  // CR LF line ends
        {"using_dcc=dword:1\nusing_dcc=dword:2\n", 2}, // the last line decides
        {"#using_dcc=dword:4\n", -1},                  // comment
        {"\x01\xff\xfe garbage\n\nusing_dcc dword:4\nusing_dcc=dword:6\n", 6},
        {"using_dcc=dword:6\nusing_dcc=dwo", 6}, // a truncated later line is ignored
    };
    for (const auto& item : intCases)
    {
        put(machine, item.content);
        EXPECT_EQ(ReadSettingInt(dcc), item.expected) << item.content;
    }

    const struct
    {
        const char* content;
        const char* expected;
    } textCases[] = {
        {"default_file=sz:/a.wav", ""},      // truncated
        {"default_file=sz:/a\\q.wav\n", ""}, // unknown escape
        {"default_file=sz:/a.wav\\\n", ""},  // lone backslash at the end
        {"default_file=sz:\\\\srv\\\\x.wav\n", "\\srv\\x.wav"},
    };
    for (const auto& item : textCases)
    {
        put(machine, item.content);
        EXPECT_EQ(ReadSettingString(defaultFile), item.expected) << item.content;
    }

    // A folder where the file should be, and names that cannot be keys.
    fs::remove(fileUnder(machine));
    fs::create_directories(fileUnder(machine));
    EXPECT_EQ(ReadSettingInt(dcc), -1);
    EXPECT_EQ(ReadSettingInt("bad=name"), -1);
    WriteSettingInt("bad=name", 1);
    WriteSettingInt("", 1);
    EXPECT_FALSE(fs::exists(user));
}

TEST_F(SettingsFiles, WritingKeepsOtherLinesAndDropsATruncatedOne)
{
    put(user, "# kept comment\nother=sz:x\nusing_dcc=dword:1\nusing_dcc=dword:3\ndefault_file=sz:/a.w");
    WriteSettingInt(dcc, 0);
    EXPECT_EQ(contentOf(user), "# kept comment\nother=sz:x\nusing_dcc=dword:0\n");
    EXPECT_EQ(ReadSettingString("other"), "x");
}

TEST_F(SettingsFiles, ReplacesTheFileWholeAndKeepsItsPermissions)
{
    WriteSettingInt(dcc, 1);
    fs::permissions(fileUnder(user), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (int i = 0; i < 5; ++i)
        WriteSettingString(defaultFile, "/x" + std::to_string(i));

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fileUnder(user).parent_path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"settings.conf", "settings.lock"})) << "no temporary left behind";
    EXPECT_EQ(fs::status(fileUnder(user)).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsFiles, MachineRootThatCannotHoldAFolderIsSkipped)
{
    // Works for every user, root included: nothing can be created below a file.
    std::ofstream(machine) << "not a folder";
    WriteSettingInt(dcc, 1);
    WriteSettingString(defaultFile, "/u.wav");
    EXPECT_EQ(ReadSettingInt(dcc), 1);
    EXPECT_EQ(ReadSettingString(defaultFile), "/u.wav");
    EXPECT_TRUE(fs::is_regular_file(machine));
}

TEST_F(SettingsFiles, ReadOnlyMachineRootIsSkipped)
{
    fs::create_directories(machine);
    fs::permissions(machine, fs::perms::owner_read | fs::perms::owner_exec);
    const std::string probe = (machine / "probe").string();
    const int probeFd = ::open(probe.c_str(), O_WRONLY | O_CREAT, 0600);
    if (probeFd >= 0)
    {
        ::close(probeFd);
        fs::remove(probe);
        fs::permissions(machine, fs::perms::owner_all);
        GTEST_SKIP() << "folder permissions are not enforced for this user";
    }
    WriteSettingInt(dcc, 1);
    fs::permissions(machine, fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(machine / "Veldrana_Software"));
    EXPECT_EQ(contentOf(user), "using_dcc=dword:1\n");
}

TEST_F(SettingsFiles, FallsBackToHomeAndSkipsRelativeEntries)
{
    const fs::path home = temp.path() / "home";
    const test::ScopedEnv homeEnv("HOME", home.string());
    const test::ScopedEnv relativeUser("XDG_CONFIG_HOME", "relative/config");
    const test::ScopedEnv dirs("XDG_CONFIG_DIRS", "relative/xdg:" + machine.string());
    WriteSettingInt(dcc, 1);
    EXPECT_EQ(contentOf(home / ".config"), "using_dcc=dword:1\n");
    EXPECT_EQ(contentOf(machine), "using_dcc=dword:1\n");
    EXPECT_FALSE(fs::exists("relative"));
}

/// Whether every line of a settings file is whole and one of the two values.
bool wellFormed(const std::string& content)
{
    if (content.empty() || content.back() != '\n')
        return false;
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind("using_dcc=dword:", 0) != 0 && line.rfind("default_file=sz:/f", 0) != 0)
            return false;
    return true;
}

/// Repeatedly reads both values while writers run: each must only ever
/// count up (an older value reappearing means a lost update) and the file
/// must always parse.
struct Watcher
{
    int lastCount = -1;
    int lastText = -1;
    int failures = 0;

    void look(const fs::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            return;
        std::ostringstream text;
        text << in.rdbuf();
        if (!wellFormed(text.str()))
            ++failures;
        const int count = ReadSettingInt(dcc);
        const std::string name = ReadSettingString(defaultFile);
        const int textValue = name.empty() ? -1 : std::stoi(name.substr(2));
        if (count < lastCount || textValue < lastText)
            ++failures;
        lastCount = count;
        lastText = textValue;
    }
};

constexpr int racingWrites = 150;

void writeCounts()
{
    for (int i = 0; i < racingWrites; ++i)
        WriteSettingInt(dcc, i);
}

void writeNames()
{
    for (int i = 0; i < racingWrites; ++i)
        WriteSettingString(defaultFile, "/f" + std::to_string(i));
}

TEST_F(SettingsFiles, ConcurrentThreadsWritingDifferentValuesLoseNothing)
{
    std::atomic<int> running{2};
    std::thread counts([&] { writeCounts(), --running; });
    std::thread names([&] { writeNames(), --running; });
    Watcher watcher;
    while (running > 0)
        watcher.look(fileUnder(user));
    counts.join();
    names.join();
    EXPECT_EQ(watcher.failures, 0);
    EXPECT_EQ(ReadSettingInt(dcc), racingWrites - 1);
    EXPECT_EQ(ReadSettingString(defaultFile), "/f" + std::to_string(racingWrites - 1));
    EXPECT_TRUE(wellFormed(contentOf(machine)));
}

TEST_F(SettingsFiles, ConcurrentProcessesWritingDifferentValuesLoseNothing)
{
    pid_t children[2] = {};
    for (int c = 0; c < 2; ++c)
    {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0)
        {
            if (c == 0)
                writeCounts();
            else
                writeNames();
            _exit(0);
        }
    }
    Watcher watcher;
    int finished = 0;
    while (finished < 2)
    {
        watcher.look(fileUnder(user));
        for (pid_t& child : children)
        {
            int status = 0;
            if (child > 0 && waitpid(child, &status, WNOHANG) == child)
            {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                child = 0;
                ++finished;
            }
        }
    }
    EXPECT_EQ(watcher.failures, 0);
    EXPECT_EQ(ReadSettingInt(dcc), racingWrites - 1);
    EXPECT_EQ(ReadSettingString(defaultFile), "/f" + std::to_string(racingWrites - 1));
    EXPECT_TRUE(wellFormed(contentOf(user)));
    EXPECT_TRUE(wellFormed(contentOf(machine)));
}

} // namespace
} // namespace tam

#endif
