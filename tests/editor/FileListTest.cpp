// The file list on a temporary folder, the load flow's messages, and the
// choosers, with a stand-in for the desktop's chooser (never a real dialog).
#include "EditorFixture.h"
#include "support/FileNameParameters.h"

#include "editor/Desktop.h"

#include <filesystem>
#include <fstream>

namespace tam::test
{
namespace
{

namespace fs = std::filesystem;

/// What the stand-in chooser answers, set by the test.
struct ChooserScript
{
    FileChooser::Status status = FileChooser::Status::running;
    std::string path;
    std::string message;
    int started = 0;
    std::string startFolder;
};

class ScriptedChooser final : public FileChooser
{
public:
    explicit ScriptedChooser(ChooserScript& s) : script(s) {}
    Status poll() override { return script.status; }
    const std::string& path() const override { return script.path; }
    const std::string& message() const override { return script.message; }

private:
    ChooserScript& script;
};

/// The platform's listing, a scripted chooser, the editor's own alerts.
class ScriptedDesktop final : public Desktop
{
public:
    explicit ScriptedDesktop(ChooserScript& s) : script(s) {}
    std::unique_ptr<FileChooser> chooseFile(const FileChooserOptions& options, NativeWindow*) override
    {
        ++script.started;
        script.startFolder = options.startFolder;
        return std::make_unique<ScriptedChooser>(script);
    }
    bool showAlert(const std::string&, NativeWindow*) override { return false; }
    std::vector<std::string> listWaveFiles(const std::string& folder, std::size_t limit) override
    {
        return platform->listWaveFiles(folder, limit);
    }

private:
    ChooserScript& script;
    std::unique_ptr<Desktop> platform = Desktop::create();
};

struct FileListTest : EditorFixture
{
    std::unique_ptr<TPluginEditorWindow> window = openWindow();
    ChooserScript script;
    std::string folder = dir.file("irs") + "/";

    FileListTest()
    {
        window->setDesktop(std::make_unique<ScriptedDesktop>(script));
        fs::create_directories(folder);
    }
    /// A short response in the folder.
    std::string response(const std::string& name, float peak = 0.5f)
    {
        std::vector<float> samples(2 * 3000, 0.0f);
        samples[0] = samples[1] = peak;
        writeFloatWav(folder + name, 44100, 2, samples);
        return folder + name;
    }
    /// Names a file through the parameters, as a host restoring a project does.
    void hostNames(const std::string& path)
    {
        sendFileName(*plugin, path, ChecksumOrder::last);
        window->loadMirror();
        window->updaterTimer();
    }
    Point row(int r) const { return {560 + 10, 32 + 17 * r + 8 - window->ScrollBox1.getScrollTop()}; }
    bool highlighted(int r) { return window->PaintBox2.picture().pixel({150, 17 * r + 8}) == colors::grey; }
};

TEST_F(FileListTest, ListsVisibleWavFilesOfAnyCaseSortedAndHighlightsOnlyAnExactMatch)
{
    response("b.wav");
    response("A.WAV");
    response("c.Wav");
    response(".hidden.wav");
    std::ofstream(folder + "notes.txt") << "x";
    window->loadFile(folder + "b.wav", false);
    EXPECT_EQ(window->files().listed(), (std::vector<std::string>{"A.WAV", "b.wav", "c.Wav"}));
    EXPECT_EQ(window->PaintBox2.height(), 3 * 17 + 2);
    EXPECT_FALSE(highlighted(0));
    EXPECT_TRUE(highlighted(1));

    hostNames(folder + "B.wav"); // another case: another file, which does not exist
    EXPECT_FALSE(highlighted(0) || highlighted(1) || highlighted(2));
}

TEST_F(FileListTest, AnEmptyFolderGivesAnEmptyListAndAFullOneStopsAt501)
{
    hostNames(folder + "gone.wav");
    EXPECT_EQ(window->files().count(), 0);
    EXPECT_EQ(window->PaintBox2.height(), 2);

    const std::string many = dir.file("many") + "/";
    fs::create_directories(many);
    for (int i = 0; i < 502; ++i)
        std::ofstream(many + "r" + std::to_string(1000 + i) + ".wav") << "x";
    hostNames(many + "r1000.wav");
    EXPECT_EQ(window->files().count(), 501);
    EXPECT_TRUE(std::is_sorted(window->files().listed().begin(), window->files().listed().end()));
}

TEST_F(FileListTest, AClickLoadsTheRowUnderTheReleaseAndBelowTheLastRowNothing)
{
    response("a.wav");
    const std::string second = response("b.wav", 0.25f);
    window->loadFile(folder + "a.wav", false);
    window->onMouseDown({row(1), 1, false});
    EXPECT_TRUE(window->Panel1.isVisible()) << "loading...";
    window->onMouseUp({row(1), 1, false});
    EXPECT_FALSE(window->Panel1.isVisible());
    EXPECT_EQ(plugin->requestedFileName(), second);
    EXPECT_EQ(window->shownResponse().fileName, second);

    const auto generation = plugin->store().getGeneration();
    click(*window, row(5));
    EXPECT_EQ(plugin->store().getGeneration(), generation);
    EXPECT_FALSE(window->Panel1.isVisible());
}

TEST_F(FileListTest, ADialogLoadScrollsTheFileToTheMiddleAListLoadKeepsThePosition)
{
    for (int i = 0; i < 100; ++i)
        response("r" + std::to_string(100 + i) + ".wav");
    script.status = FileChooser::Status::chosen;
    script.path = folder + "r150.wav";
    click(*window, window->open);
    EXPECT_EQ(window->ScrollBox1.getScrollTop(), 50 * 17 - 426 / 2);

    window->ScrollBox1.scrollTo(100);
    click(*window, row(6));
    EXPECT_EQ(plugin->requestedFileName(), folder + "r106.wav");
    EXPECT_EQ(window->ScrollBox1.getScrollTop(), 100);

    // The bar: a press below the thumb pages down, the thumb drags to the end.
    const Rect list = window->ScrollBox1.absoluteRect();
    click(*window, Point{list.right - 5, list.bottom - 3});
    EXPECT_EQ(window->ScrollBox1.getScrollTop(), 100 + list.height());
    window->ScrollBox1.scrollTo(0);
    drag(*window, Point{list.right - 5, list.top + 4}, 0, list.height());
    EXPECT_EQ(window->ScrollBox1.getScrollTop(), window->ScrollBox1.maxScrollTop());
}

TEST_F(FileListTest, TheLoadFlowExplainsEveryFailureAndKeepsTheResponseInUse)
{
    const std::string good = response("good.wav");
    window->loadFile(good, true);
    const auto generation = plugin->store().getGeneration();

    window->loadFile(folder + "missing.wav", true);
    EXPECT_EQ(window->currentMessage(), "ERROR: \"" + folder + "missing.wav\" file not existent.");
    window->alertBox.dismiss();

    std::ofstream(folder + "text.wav") << "not a wave file at all";
    window->loadFile(folder + "text.wav", true);
    EXPECT_EQ(window->currentMessage().rfind("ERROR: Cannot load file:Error", 0), 0u) << window->currentMessage();
    EXPECT_NE(window->currentMessage().find(": " + folder + "text.wav"), std::string::npos);
    window->alertBox.dismiss();
    EXPECT_EQ(plugin->store().getGeneration(), generation);
    EXPECT_EQ(plugin->requestedFileName(), good);
    EXPECT_FALSE(plugin->isLoading());

    writeFloatWav(folder + "long.wav", 44100, 1, std::vector<float>(960100, 0.01f));
    window->loadFile(folder + "long.wav", true);
    EXPECT_EQ(window->currentMessage(), "WAV file too long, the rear part is cut off!");
    EXPECT_EQ(plugin->requestedFileName(), folder + "long.wav") << "loaded anyway";
}

TEST_F(FileListTest, AClippedFileSwitchesAutogainOn)
{
    plugin->setParameter(param::autogain, 0.0f);
    window->loadMirror();
    clearAutomations();
    window->loadFile(response("hot.wav", 1.5f), true);
    EXPECT_FLOAT_EQ(plugin->getParameter(param::autogain), 1.0f);
    EXPECT_FLOAT_EQ(window->mirrorValue(param::autogain), 1.0f);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::autogain, 1.0f}}));
}

TEST_F(FileListTest, OneChooserAtATimeAndItsEndingsAreHandled)
{
    const std::string first = response("first.wav");
    window->loadFile(first, true);
    click(*window, window->open);
    click(*window, window->open);
    click(*window, window->marlo_blue_slider10);
    EXPECT_EQ(script.started, 1) << "a second click while the chooser is open does nothing";
    EXPECT_EQ(script.startFolder, folder);
    EXPECT_TRUE(window->open.getButtondown());
    window->processEvents();
    EXPECT_TRUE(window->chooserOpen());

    script.status = FileChooser::Status::cancelled;
    window->processEvents();
    EXPECT_FALSE(window->chooserOpen());
    EXPECT_FALSE(window->open.getButtondown());
    EXPECT_EQ(plugin->requestedFileName(), first) << "Cancel changes nothing";

    script.status = FileChooser::Status::failed;
    script.message = "No file dialog program was found.";
    click(*window, window->open);
    EXPECT_EQ(window->currentMessage(), script.message);
}

TEST_F(FileListTest, TheDefaultFileDialogSetsClearsAndRefusesWhatCannotBeKept)
{
    window->showSetup(true);
    script.status = FileChooser::Status::chosen;
    script.path = folder + "default.wav";
    click(*window, window->marlo_blue_slider10);
    EXPECT_EQ(plugin->getDefaultFileText(), script.path);

    script.path = "/" + std::string(260, 'x') + ".wav";
    click(*window, window->marlo_blue_slider10);
    EXPECT_NE(window->currentMessage().find("longer than the 254 characters"), std::string::npos);
    window->alertBox.dismiss();
    EXPECT_EQ(plugin->getDefaultFileText(), folder + "default.wav");

    script.status = FileChooser::Status::cancelled;
    click(*window, window->marlo_blue_slider10);
    EXPECT_EQ(plugin->getDefaultFileText(), "<none>");
}

TEST_F(FileListTest, ADroppedFileGoesThroughTheLoadFlow)
{
    const std::string good = response("dropped here.wav");
    window->onFilesDropped({good, folder + "ignored.wav"}, {100, 100});
    EXPECT_EQ(plugin->requestedFileName(), good);
    std::ofstream(folder + "readme.txt") << "text";
    window->onFilesDropped({folder + "readme.txt"}, {100, 100});
    EXPECT_EQ(window->currentMessage().rfind("ERROR: Cannot load file:Error", 0), 0u);
    EXPECT_EQ(plugin->requestedFileName(), good);
}

} // namespace
} // namespace tam::test
