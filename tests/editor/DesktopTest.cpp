// The Linux desktop services: the chooser run as a child program, here fake
// zenity and kdialog scripts on PATH, and the folder listing.
#include "editor/Desktop.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tam::test
{
namespace
{

namespace fs = std::filesystem;

struct DesktopTest : ::testing::Test
{
    TempDir dir;
    std::string bin = dir.file("bin");
    ScopedEnv path{"PATH", bin};
    std::unique_ptr<Desktop> desktop = Desktop::create();

    DesktopTest() { fs::create_directories(bin); }

    /// A fake chooser program: logs its arguments, then runs `body`.
    void program(const std::string& name, const std::string& body)
    {
        const std::string file = bin + "/" + name;
        std::ofstream(file) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << dir.file(name + ".args")
                            << "'\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all);
    }
    std::string argumentsOf(const std::string& name)
    {
        std::ifstream in(dir.file(name + ".args"));
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static FileChooser::Status finish(FileChooser& chooser)
    {
        for (int i = 0; i < 500 && chooser.poll() == FileChooser::Status::running; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return chooser.poll();
    }
};

TEST_F(DesktopTest, ZenityRunsBesideTheEditorAndBringsThePath)
{
    program("zenity", "/bin/sleep 0.2; printf '/music/halls/Grand Hall \\303\\274.wav\\n'");
    program("kdialog", "exit 9");
    auto chooser = desktop->chooseFile({"Open File", "/music/halls"}, nullptr);
    EXPECT_EQ(chooser->poll(), FileChooser::Status::running) << "start and poll never wait for the program";
    ASSERT_EQ(finish(*chooser), FileChooser::Status::chosen) << chooser->message();
    EXPECT_EQ(chooser->path(), "/music/halls/Grand Hall \xC3\xBC.wav");
    const std::string args = argumentsOf("zenity");
    EXPECT_NE(args.find("--file-selection\n"), std::string::npos);
    EXPECT_NE(args.find("--filename=/music/halls/\n"), std::string::npos);
    EXPECT_NE(args.find("--file-filter=Wave files (*.wav) | *.wav"), std::string::npos);
}

TEST_F(DesktopTest, KdialogStandsInWhenZenityIsMissing)
{
    program("kdialog", "echo /a/b.wav");
    auto chooser = desktop->chooseFile({"Open File", "/a"}, nullptr);
    ASSERT_EQ(finish(*chooser), FileChooser::Status::chosen);
    EXPECT_EQ(chooser->path(), "/a/b.wav");
    EXPECT_NE(argumentsOf("kdialog").find("--getopenfilename\n/a/\n*.wav"), std::string::npos);
}

TEST_F(DesktopTest, CancelFailureAndNoProgramAreToldApart)
{
    program("zenity", "exit 1");
    EXPECT_EQ(finish(*desktop->chooseFile({}, nullptr)), FileChooser::Status::cancelled);
    program("zenity", "exit 0");
    EXPECT_EQ(finish(*desktop->chooseFile({}, nullptr)), FileChooser::Status::cancelled) << "nothing printed";
    program("zenity", "echo /half/printed.wav; exit 3");
    auto broken = desktop->chooseFile({}, nullptr);
    EXPECT_EQ(finish(*broken), FileChooser::Status::failed);
    EXPECT_NE(broken->message().find("exit status 3"), std::string::npos);

    fs::remove(bin + "/zenity");
    auto none = desktop->chooseFile({}, nullptr);
    EXPECT_EQ(none->poll(), FileChooser::Status::failed);
    EXPECT_NE(none->message().find("zenity or kdialog"), std::string::npos);
}

TEST_F(DesktopTest, AChooserStillOpenWhenTheEditorClosesIsEnded)
{
    program("zenity", "echo $$ > '" + dir.file("pid") + "'; trap '' TERM; while :; do /bin/sleep 1; done");
    auto chooser = desktop->chooseFile({}, nullptr);
    int pid = 0;
    for (int i = 0; i < 500 && pid == 0; ++i)
    {
        std::ifstream(dir.file("pid")) >> pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GT(pid, 0);
    const auto start = std::chrono::steady_clock::now();
    chooser.reset(); // even a program that ignores the polite request
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(::kill(pid, 0), 0) << "gone and reaped";
}

TEST_F(DesktopTest, TheListingHasRegularVisibleWavFilesOfAnyCase)
{
    const std::string folder = dir.file("irs");
    fs::create_directories(folder + "/folder.wav");
    for (const char* name : {"a.wav", "B.WAV", "c.Wav", ".hidden.wav", "notes.txt", "wav"})
        std::ofstream(folder + "/" + name) << "x";
    fs::create_symlink(folder + "/missing.wav", folder + "/broken.wav");
    auto names = desktop->listWaveFiles(folder, 501);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"B.WAV", "a.wav", "c.Wav"}));
    EXPECT_EQ(desktop->listWaveFiles(folder, 2).size(), 2u);
    EXPECT_TRUE(desktop->listWaveFiles(dir.file("nowhere"), 501).empty());
}

} // namespace
} // namespace tam::test
