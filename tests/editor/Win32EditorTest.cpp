// The editor on the Win32 window system, opened into a top-level window of
// the test (standing in for the host): through the built module's dispatcher
// where the host's view matters, in process where the editor's inner state
// does. Needs a desktop (under wine, a DISPLAY); without one the cases skip.
//
// TAM_EDITOR_REFERENCE names a PPM picture of the Linux editor in the same
// state (tam-snapshot); TAM_EDITOR_CAPTURE a PPM file for the Windows one.
#include "core/APlugin.h"
#include "editor/APluginEditor.h"
#include "editor/Desktop.h"
#include "editor/TPluginEditorWindow.h"
#include "editor/win32/Win32Window.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tam::test
{
namespace
{

using Pixels = std::vector<Color>; ///< 736 x 464, row by row

constexpr int editorWidth = 736;
constexpr int editorHeight = 464;
constexpr Point wetFader{507, 300}; ///< inside the wet fader's track, window coordinates

/// Lets the window system deliver what is pending for `ms` milliseconds.
void pump(int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(2);
    } while (static_cast<LONG>(GetTickCount() - end) < 0);
}

/// Live GDI objects of the process. wine 8's GetGuiResources answers 0; its
/// handle table also accepts a bare 16-bit index, so there every live object
/// is found by asking GetObjectType about each index.
int liveGdiObjects()
{
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0)
        return static_cast<int>(reported);
    int count = 0;
    for (std::uintptr_t index = 1; index < 0x10000; ++index)
        count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0 ? 1 : 0;
    return count;
}

BOOL CALLBACK countOwnWindow(HWND window, LPARAM total)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId())
    {
        ++*reinterpret_cast<int*>(total);
        EnumChildWindows(window, &countOwnWindow, total);
    }
    return TRUE;
}

/// Windows of the process, children included.
int liveWindows()
{
    int count = 0;
    EnumWindows(&countOwnWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

/// Whether the module's editor window class is registered.
bool editorClassRegistered()
{
    HMODULE module = GetModuleHandleA("tam.dll");
    if (module == nullptr)
        module = GetModuleHandleA(nullptr); // in-process cases: the class belongs to the test program
    char name[64];
    std::snprintf(name, sizeof name, "TAMEditorWindow_%p", static_cast<void*>(module));
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    return GetClassInfoExA(module, name, &info) != 0;
}

void sendMouse(DWORD flags, Point screen = {})
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_ABSOLUTE)
    {
        input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    SendInput(1, &input, sizeof input);
    pump(30);
}

Pixels readPpm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get();
    if (magic != "P6" || width != editorWidth || height != editorHeight || maximum != 255)
        return {};
    Pixels pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (Color& c : pixels)
    {
        char bytes[3];
        in.read(bytes, 3);
        c = rgb(static_cast<unsigned char>(bytes[0]), static_cast<unsigned char>(bytes[1]),
                static_cast<unsigned char>(bytes[2]));
    }
    return in ? pixels : Pixels{};
}

void writePpm(const std::string& path, const Pixels& pixels)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << editorWidth << " " << editorHeight << "\n255\n";
    for (const Color c : pixels)
        out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
}

struct Win32Editor : ::testing::Test
{
    TempDir dir;
    SettingsSandbox settings{dir}; // for the module's instances as well: the redirection is per process
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(&versionOnlyHost);
    HWND host = nullptr;

    Win32Editor() { APluginEditor::attachTo(*plugin); }

    static LRESULT CALLBACK hostProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

    void SetUp() override
    {
        WNDCLASSA description{};
        description.lpfnWndProc = &hostProcedure;
        description.hInstance = GetModuleHandleA(nullptr);
        description.lpszClassName = "TAMTestHost";
        RegisterClassA(&description);
        RECT frame{0, 0, editorWidth + 40, editorHeight + 40};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        host = CreateWindowExA(0, "TAMTestHost", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        if (host == nullptr)
            GTEST_SKIP() << "no desktop";
        SetForegroundWindow(host);
        pump(50);
    }

    void TearDown() override
    {
        if (host != nullptr && IsWindow(host))
            DestroyWindow(host);
        pump(10);
    }

    APluginEditor& editor() { return *static_cast<APluginEditor*>(plugin->getEditor()); }
    HWND child() const { return GetWindow(host, GW_CHILD); }

    Point onScreen(Point window) const
    {
        POINT p{window.x, window.y};
        ClientToScreen(child(), &p);
        return {p.x, p.y};
    }

    /// The editor's pixels as the screen shows them.
    Pixels capture() const
    {
        HDC screen = GetDC(child());
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), editorWidth, -editorHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, editorWidth, editorHeight, screen, 0, 0, SRCCOPY);
        GdiFlush();
        Pixels pixels;
        for (int i = 0; i < editorWidth * editorHeight; ++i)
        {
            const std::uint32_t v = static_cast<const std::uint32_t*>(bits)[i];
            pixels.push_back(rgb((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF));
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(child(), screen);
        return pixels;
    }
};

TEST_F(Win32Editor, OpensAVisibleBorderlessChildOfTheDesignSizeThatLooksLikeTheLinuxEditor)
{
    PluginHost fx(builtModule());
    ASSERT_EQ(fx.effect()->flags, 0x19);
    ASSERT_EQ(fx.dispatch(vst::effEditOpen, 0, 0, host), 1);
    pump(300);
    ASSERT_NE(child(), nullptr);
    EXPECT_TRUE(IsWindowVisible(child()));
    const LONG style = GetWindowLongA(child(), GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_BORDER | WS_CAPTION | WS_THICKFRAME), WS_CHILD);
    RECT client{};
    GetClientRect(child(), &client);
    EXPECT_EQ(client.right, editorWidth);
    EXPECT_EQ(client.bottom, editorHeight);
    POINT origin{0, 0};
    MapWindowPoints(child(), host, &origin, 1);
    EXPECT_EQ(origin.x, 0);
    EXPECT_EQ(origin.y, 0);

    const Pixels shown = capture();
    if (const char* out = std::getenv("TAM_EDITOR_CAPTURE"))
        writePpm(out, shown);
    if (const char* reference = std::getenv("TAM_EDITOR_REFERENCE"))
    {
        const Pixels linux = readPpm(reference);
        ASSERT_EQ(linux.size(), shown.size()) << "unreadable reference " << reference;
        // Texts are set by another font engine, so pixels differ where
        // letters are (about 3 % of the window); shapes and colours match to
        // the pixel.
        int identical = 0;
        int clearlyDifferent = 0;
        for (std::size_t i = 0; i < shown.size(); ++i)
        {
            const int d = std::abs(shown[i].r - linux[i].r) + std::abs(shown[i].g - linux[i].g) +
                          std::abs(shown[i].b - linux[i].b);
            identical += d == 0 ? 1 : 0;
            clearlyDifferent += d > 96 ? 1 : 0;
        }
        const int total = editorWidth * editorHeight;
        std::printf("editor picture: %d of %d pixels identical, %d clearly different\n", identical, total,
                    clearlyDifferent);
        EXPECT_GT(identical, total / 100 * 93);
        EXPECT_LT(clearlyDifferent, total / 100 * 4);
    }

    fx.dispatch(vst::effEditClose);
    EXPECT_EQ(child(), nullptr);
    EXPECT_FALSE(editorClassRegistered()) << "unregistered with the last window";
}

TEST_F(Win32Editor, AFaderDraggedWithTheRealMouseIsAutomatedAndAPressAloneChangesNothing)
{
    PluginHost fx(builtModule());
    ASSERT_EQ(fx.dispatch(vst::effEditOpen, 0, 0, host), 1);
    pump(200);
    const float before = fx.getParameter(param::wet);
    const Point press = onScreen(wetFader);
    fx.clearCalls();
    sendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, press);
    sendMouse(MOUSEEVENTF_LEFTDOWN);
    sendMouse(MOUSEEVENTF_LEFTUP);
    pump(150);
    for (const HostCall& call : fx.calls())
        EXPECT_NE(call.opcode, vst::audioMasterAutomate) << "a press without movement";
    EXPECT_EQ(fx.getParameter(param::wet), before);

    sendMouse(MOUSEEVENTF_LEFTDOWN);
    sendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, {press.x, press.y - 40});
    sendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, {press.x + 300, press.y - 60}); // outside: captured
    sendMouse(MOUSEEVENTF_LEFTUP);
    pump(150);
    const float after = fx.getParameter(param::wet);
    EXPECT_GT(after, before) << "dragged up";
    bool automated = false;
    for (const HostCall& call : fx.calls())
        automated = automated || (call.opcode == vst::audioMasterAutomate && call.index == param::wet && call.opt == after);
    EXPECT_TRUE(automated);
    fx.dispatch(vst::effEditClose);
}

TEST_F(Win32Editor, HundredOpenCloseCyclesLeaveNoGdiOrUserObjectsBehind)
{
    PluginHost fx(builtModule());
    auto cycle = [&](int ms)
    {
        ASSERT_EQ(fx.dispatch(vst::effEditOpen, 0, 0, host), 1);
        pump(ms);
        fx.dispatch(vst::effEditIdle);
        fx.dispatch(vst::effEditClose);
    };
    cycle(150); // fonts and the measuring bitmap are made once per module
    const int gdiBefore = liveGdiObjects();
    const int windowsBefore = liveWindows();
    for (int i = 0; i < 100; ++i)
        cycle(i % 10 == 0 ? 150 : 5); // now and then long enough for the timer to run
    pump(10);
    EXPECT_EQ(liveGdiObjects(), gdiBefore);
    EXPECT_EQ(liveWindows(), windowsBefore);
    EXPECT_GT(gdiBefore, 0) << "the count sees objects at all";
}

TEST_F(Win32Editor, AWindowClosedInsideItsOwnRefreshGoesWhenTheRefreshEnds)
{
    ASSERT_EQ(editor().open(host), 1);
    const int gdiOpen = liveGdiObjects();
    bool closed = false;
    editor().getWindow()->stageObserver = [&](const std::string&)
    {
        if (closed)
            return;
        closed = true;
        editor().close(); // as a host would from the loop of a message box
        EXPECT_FALSE(IsWindowVisible(child()));
        EXPECT_NE(child(), nullptr) << "not destroyed under the running refresh";
    };
    pump(300);
    ASSERT_TRUE(closed);
    EXPECT_EQ(child(), nullptr);
    EXPECT_EQ(editor().getWindow(), nullptr);
    EXPECT_LT(liveGdiObjects(), gdiOpen);
    EXPECT_EQ(editor().open(host), 1) << "and opens again";
    editor().close();
}

TEST_F(Win32Editor, AnEditorClosedWhileItsFileDialogIsOpenGoesWhenTheDialogReturns)
{
    struct Cancelled final : FileChooser
    {
        Status poll() override { return Status::cancelled; }
        const std::string& path() const override { return none; }
        const std::string& message() const override { return none; }
        std::string none;
    };
    // The host closes the editor from the dialog's message loop.
    struct ClosingDesktop final : Desktop
    {
        ClosingDesktop(APluginEditor& e, bool& alive) : editor(e), ownerAlive(alive) {}
        std::unique_ptr<FileChooser> chooseFile(const FileChooserOptions&, NativeWindow* owner) override
        {
            editor.close();
            ownerAlive = owner->alive();
            return std::make_unique<Cancelled>();
        }
        bool showAlert(const std::string&, NativeWindow*) override { return true; }
        std::vector<std::string> listWaveFiles(const std::string&, std::size_t) override { return {}; }
        APluginEditor& editor;
        bool& ownerAlive;
    };
    ASSERT_EQ(editor().open(host), 1);
    bool ownerAlive = false;
    editor().getWindow()->setDesktop(std::make_unique<ClosingDesktop>(editor(), ownerAlive));
    const LPARAM openButton = MAKELPARAM(643, 16);
    SendMessageA(child(), WM_LBUTTONDOWN, MK_LBUTTON, openButton);
    SendMessageA(child(), WM_LBUTTONUP, 0, openButton);
    EXPECT_TRUE(ownerAlive) << "not destroyed under the dialog";
    EXPECT_EQ(child(), nullptr) << "destroyed once the click's handler returned";
    EXPECT_EQ(editor().getWindow(), nullptr);
    EXPECT_EQ(editor().open(host), 1) << "and opens again";
    editor().close();
}

TEST_F(Win32Editor, AHostWindowDestroyedBeforeTheCloseHurtsNobody)
{
    PluginHost fx(builtModule());
    ASSERT_EQ(fx.dispatch(vst::effEditOpen, 0, 0, host), 1);
    pump(150);
    DestroyWindow(host);
    host = nullptr;
    pump(150);
    fx.dispatch(vst::effEditIdle);
    fx.dispatch(vst::effEditClose);
    EXPECT_FALSE(editorClassRegistered());
    EXPECT_EQ(fx.dispatch(vst::effEditOpen, 0, 0, nullptr), 0) << "no window to open into";
}

TEST_F(Win32Editor, FilesDroppedOnTheWindowReachTheEditorWithTheDropPoint)
{
    struct Recorder final : WindowListener
    {
        void onMouseDown(const MouseEvent&) override {}
        void onMouseMove(const MouseEvent&) override {}
        void onMouseUp(const MouseEvent&) override {}
        void onWheel(Point, int) override {}
        void onExpose(const Rect&) override {}
        void onFilesDropped(const std::vector<std::string>& paths, Point point) override
        {
            dropped = paths;
            at = point;
        }
        std::vector<std::string> dropped;
        Point at;
    } recorder;
    const auto window = NativeWindow::create(host, editorWidth, editorHeight, recorder);
    ASSERT_NE(window, nullptr);
    // What Explorer hands over: a DROPFILES header and a double-NUL list.
    constexpr char names[] = "C:\\irs\\hall.wav\0C:\\irs\\plate room.wav\0";
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + sizeof names);
    auto* header = static_cast<DROPFILES*>(GlobalLock(drop));
    header->pFiles = sizeof(DROPFILES);
    header->pt = {12, 34};
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), names, sizeof names);
    GlobalUnlock(drop);
    SendMessageA(windowHandle(window.get()), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    EXPECT_EQ(recorder.dropped, (std::vector<std::string>{"C:\\irs\\hall.wav", "C:\\irs\\plate room.wav"}));
    EXPECT_EQ(recorder.at, (Point{12, 34}));
}

TEST(Win32Desktop, TheFolderSearchListsOrdinaryWavFilesOnly)
{
    TempDir dir;
    const std::string folder = dir.file("irs");
    std::filesystem::create_directories(folder + "/folder.wav");
    for (const char* name : {"a.wav", "B.WAV", "hidden.wav", "system.wav", "notes.txt", "long.wave"})
        std::ofstream(folder + "/" + name) << "x";
    SetFileAttributesA((folder + "/hidden.wav").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA((folder + "/system.wav").c_str(), FILE_ATTRIBUTE_SYSTEM);
    const auto desktop = Desktop::create();
    auto names = desktop->listWaveFiles(folder, 501);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"B.WAV", "a.wav"}));
    EXPECT_EQ(desktop->listWaveFiles(folder + "\\", 1).size(), 1u);
    EXPECT_TRUE(desktop->listWaveFiles(dir.file("nowhere"), 501).empty());
}

} // namespace
} // namespace tam::test
