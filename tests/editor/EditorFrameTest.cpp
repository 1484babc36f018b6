// The editor frame with a stand-in for the window system: open and close
// counting, the rectangle, the closed flag, the refresh rhythm and updates
// arriving from other threads.
#include "EditorFixture.h"

#include "editor/APluginEditor.h"

#include <chrono>
#include <deque>
#include <thread>

namespace tam::test
{
namespace
{

/// What the stand-in window system saw.
struct WindowSystem
{
    int created = 0;
    int destroyed = 0;
    int shows = 0;
    int hides = 0;
    int presents = 0;
    Rect presented;
    void* lastParent = nullptr;
    bool refuse = false;
    std::deque<MouseEvent> pendingClicks; ///< each becomes a press and a release
};

class FakeWindow final : public NativeWindow
{
public:
    FakeWindow(WindowSystem& system, WindowListener& receiver) : log(system), listener(receiver) { ++log.created; }
    ~FakeWindow() override { ++log.destroyed; }

    void show() override
    {
        shown = true;
        ++log.shows;
    }
    void hide() override
    {
        shown = false;
        ++log.hides;
    }
    bool isShown() const override { return shown; }
    Size clientSize() const override { return {736, 464}; }
    void present(const Canvas& frame, const Rect& area) override
    {
        EXPECT_EQ(frame.width(), 736);
        ++log.presents;
        log.presented = log.presented.unite(area);
    }
    void processEvents() override
    {
        while (!log.pendingClicks.empty())
        {
            const MouseEvent click = log.pendingClicks.front();
            log.pendingClicks.pop_front();
            listener.onMouseDown(click);
            listener.onMouseUp(click);
        }
    }
    bool alive() const override { return true; }

private:
    WindowSystem& log;
    WindowListener& listener;
    bool shown = false;
};

struct EditorFrameTest : EditorFixture
{
    WindowSystem system;
    APluginEditor& editor = *static_cast<APluginEditor*>(plugin->getEditor());
    void* const hostWindow = reinterpret_cast<void*>(std::uintptr_t{0x4200001});

    EditorFrameTest()
    {
        editor.setWindowFactory(
            [this](void* parent, int width, int height, WindowListener& listener) -> std::unique_ptr<NativeWindow>
            {
                EXPECT_EQ(width, 736);
                EXPECT_EQ(height, 464);
                system.lastParent = parent;
                if (system.refuse)
                    return nullptr;
                return std::make_unique<FakeWindow>(system, listener);
            });
    }
};

TEST_F(EditorFrameTest, TheLinuxBuildAnnouncesItsEditor)
{
    EXPECT_TRUE(APluginEditor::windowSupported());
    EXPECT_EQ(plugin->getAeffect()->flags, 0x19);
}

TEST_F(EditorFrameTest, TheRectangleIsTheDesignSizeBeforeAnyOpen)
{
    vst::ERect* rect = nullptr;
    EXPECT_EQ(editor.getRect(&rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 464);
    EXPECT_EQ(rect->right, 736);
}

TEST_F(EditorFrameTest, TheWindowSurvivesUnbalancedOpensUntilAsManyCloses)
{
    EXPECT_EQ(editor.open(hostWindow), 1);
    EXPECT_EQ(system.lastParent, hostWindow);
    ASSERT_NE(editor.getWindow(), nullptr);
    TPluginEditorWindow* first = editor.getWindow();
    EXPECT_EQ(editor.getOpenCount(), 1);
    EXPECT_FALSE(plugin->editorClosed.load());
    EXPECT_EQ(system.shows, 1);

    EXPECT_EQ(editor.open(hostWindow), 1);
    EXPECT_EQ(editor.getWindow(), first) << "a second open creates nothing new";
    EXPECT_EQ(system.created, 1);
    EXPECT_EQ(system.shows, 2);
    EXPECT_EQ(editor.getOpenCount(), 2);

    editor.close();
    EXPECT_EQ(system.hides, 1);
    EXPECT_EQ(editor.getWindow(), first) << "hidden, still alive";
    EXPECT_FALSE(plugin->editorClosed.load());

    editor.close();
    EXPECT_EQ(editor.getWindow(), nullptr);
    EXPECT_EQ(system.destroyed, 1);
    EXPECT_EQ(editor.getOpenCount(), 0);
    EXPECT_EQ(editor.getParentWindow(), nullptr);
    EXPECT_TRUE(plugin->editorClosed.load());

    editor.close();
    EXPECT_EQ(editor.getOpenCount(), 0) << "never negative";

    EXPECT_EQ(editor.open(hostWindow), 1);
    EXPECT_EQ(system.created, 2);
    EXPECT_FALSE(plugin->editorClosed.load());
}

TEST_F(EditorFrameTest, AWindowSystemThatCannotMakeAWindowLeavesNothingOpen)
{
    system.refuse = true;
    EXPECT_EQ(editor.open(hostWindow), 0);
    EXPECT_EQ(editor.getWindow(), nullptr);
    EXPECT_EQ(editor.getOpenCount(), 0);
    editor.idle();
    editor.close();
    EXPECT_EQ(editor.getOpenCount(), 0);
}

TEST_F(EditorFrameTest, OpenShowsThePluginStateAtOnceAndPresentsTheWholeWindow)
{
    plugin->setParameter(param::wet, 0.25f);
    plugin->setParameter(param::bypass, 1.0f);
    ASSERT_EQ(editor.open(hostWindow), 1);
    TPluginEditorWindow& window = *editor.getWindow();
    EXPECT_NEAR(window.wetbar.getValue(), 0.25f, 1e-5);
    EXPECT_EQ(window.bypassbtn.getCaption(), "OFF");
    EXPECT_EQ(system.presented, (Rect{0, 0, 736, 464}));
}

TEST_F(EditorFrameTest, UpdatesFromOtherThreadsReachTheMirrorAtTheNextTick)
{
    ASSERT_EQ(editor.open(hostWindow), 1);
    TPluginEditorWindow& window = *editor.getWindow();
    std::thread automation([this] { plugin->setParameter(param::wet, 0.3f); });
    automation.join();
    EXPECT_TRUE(editor.mirrorUpdatePending());
    EXPECT_NE(window.mirrorValue(param::wet), 0.3f) << "update() itself touches no window state";

    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    editor.idle();
    EXPECT_FALSE(editor.mirrorUpdatePending());
    EXPECT_FLOAT_EQ(window.mirrorValue(param::wet), 0.3f);
    EXPECT_NEAR(window.wetbar.getValue(), 0.3f, 1e-5);
}

TEST_F(EditorFrameTest, IdleRefreshesAboutEveryHundredMilliseconds)
{
    ASSERT_EQ(editor.open(hostWindow), 1);
    int ticks = 0;
    editor.getWindow()->stageObserver = [&ticks](const std::string& stage) { ticks += stage == "400" ? 1 : 0; };
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(350);
    while (std::chrono::steady_clock::now() < end)
    {
        editor.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 4);
}

TEST_F(EditorFrameTest, IdleDeliversInputAndPresentsWhatChanged)
{
    ASSERT_EQ(editor.open(hostWindow), 1);
    TPluginEditorWindow& window = *editor.getWindow();
    system.presents = 0;
    system.presented = {};
    system.pendingClicks.push_back({EditorFixture::centre(window.reversebutton), 1, false});
    editor.idle();
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::reverse, 1.0f}}));
    EXPECT_EQ(system.presents, 1);
    EXPECT_FALSE(system.presented.intersect(window.reversebutton.absoluteRect()).empty());
}

TEST_F(EditorFrameTest, DestroyingThePluginWithAnOpenEditorDestroysTheWindow)
{
    ASSERT_EQ(editor.open(hostWindow), 1);
    plugin.reset();
    EXPECT_EQ(system.destroyed, 1);
}

} // namespace
} // namespace tam::test
