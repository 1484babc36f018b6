// The editor on a real X server, opened into a window of the test (standing
// in for the host) through the dispatcher of the built plug-in module.
// Skipped without a display; CTest runs these cases once more under Xvfb.
#include "EditorFixture.h"

#include "editor/APluginEditor.h"
#include "support/PluginHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <cstdlib>
#include <thread>
#include <vector>

namespace tam::test
{
namespace
{

int hostErrors = 0;

int countHostError(Display*, XErrorEvent*)
{
    ++hostErrors;
    return 0;
}

struct X11Editor : ::testing::Test
{
    TempDir dir;
    ScopedEnv machineRoot{"XDG_CONFIG_DIRS", dir.file("machine")};
    ScopedEnv userRoot{"XDG_CONFIG_HOME", dir.file("user")};
    Display* display = nullptr;
    Window parent = 0;
    XErrorHandler previousHandler = nullptr;

    void SetUp() override
    {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0' || (display = XOpenDisplay(nullptr)) == nullptr)
            GTEST_SKIP() << "no X display";
        hostErrors = 0;
        previousHandler = XSetErrorHandler(&countHostError);
        parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 600, 0, 0, 0);
        XMapWindow(display, parent);
        XSync(display, False);
    }

    void TearDown() override
    {
        if (display == nullptr)
            return;
        if (parent != 0)
            XDestroyWindow(display, parent);
        XSync(display, False);
        XSetErrorHandler(previousHandler);
        XCloseDisplay(display);
    }

    void* hostWindow() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent)); }

    std::vector<Window> children()
    {
        XSync(display, False);
        Window root = 0;
        Window up = 0;
        Window* list = nullptr;
        unsigned count = 0;
        std::vector<Window> result;
        if (XQueryTree(display, parent, &root, &up, &list, &count) != 0)
        {
            result.assign(list, list + count);
            if (list != nullptr)
                XFree(list);
        }
        return result;
    }

    XWindowAttributes attributes(Window w)
    {
        XWindowAttributes a{};
        XGetWindowAttributes(display, w, &a);
        return a;
    }

    void sendClick(Window target, Point p)
    {
        XEvent event{};
        event.xbutton.type = ButtonPress;
        event.xbutton.display = display;
        event.xbutton.window = target;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.x = p.x;
        event.xbutton.y = p.y;
        event.xbutton.button = Button1;
        event.xbutton.same_screen = True;
        XSendEvent(display, target, False, ButtonPressMask, &event);
        event.xbutton.type = ButtonRelease;
        event.xbutton.state = Button1Mask;
        XSendEvent(display, target, False, ButtonReleaseMask, &event);
        XSync(display, False);
    }

    /// Whether the pixel reaches the colour while the host keeps idling (the
    /// editor's drawing reaches the server on its own connection, so a read
    /// on ours may come first).
    bool eventually(PluginHost& host, Window w, Point p, Color expected)
    {
        for (int attempt = 0; attempt < 200; ++attempt)
        {
            if (near(pixel(w, p), expected))
                return true;
            host.dispatch(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    /// Equal within the rounding of a 16-bit screen.
    static bool near(Color a, Color b)
    {
        return std::abs(a.r - b.r) <= 8 && std::abs(a.g - b.g) <= 8 && std::abs(a.b - b.b) <= 8;
    }

    Color pixel(Window w, Point p)
    {
        XImage* image = XGetImage(display, w, p.x, p.y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr)
            return colors::black;
        const unsigned long v = XGetPixel(image, 0, 0);
        auto component = [v](unsigned long mask)
        {
            int shift = 0;
            while (mask != 0 && (mask & 1) == 0)
            {
                mask >>= 1;
                ++shift;
            }
            return mask == 0 ? 0 : static_cast<int>(((v >> shift) & mask) * 255 / mask);
        };
        const Color c = rgb(component(image->red_mask), component(image->green_mask), component(image->blue_mask));
        XDestroyImage(image);
        return c;
    }
};

TEST_F(X11Editor, OpensAMappedBorderlessChildOfTheDesignSizeAndClosesIt)
{
    PluginModule module(pluginPath());
    PluginHost host(module);
    ASSERT_NE(host.effect()->flags & vst::effFlagsHasEditor, 0);
    vst::ERect* rect = nullptr;
    ASSERT_EQ(host.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 736);
    EXPECT_EQ(rect->bottom, 464);

    ASSERT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1);
    const auto kids = children();
    ASSERT_EQ(kids.size(), 1u);
    const XWindowAttributes a = attributes(kids[0]);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 736);
    EXPECT_EQ(a.height, 464);
    EXPECT_EQ(a.border_width, 0);
    EXPECT_EQ(a.map_state, IsViewable);
    for (int i = 0; i < 5; ++i)
        host.dispatch(vst::effEditIdle);

    host.dispatch(vst::effEditClose);
    EXPECT_TRUE(children().empty());
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, ExtraOpensKeepOneWindowUntilAsManyCloses)
{
    PluginModule module(pluginPath());
    PluginHost host(module);
    ASSERT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1);
    ASSERT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1);
    ASSERT_EQ(children().size(), 1u);
    host.dispatch(vst::effEditClose);
    const auto kids = children();
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(attributes(kids[0]).map_state, IsUnmapped) << "hidden, not destroyed";
    host.dispatch(vst::effEditClose);
    EXPECT_TRUE(children().empty());
    host.dispatch(vst::effEditClose);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, HundredOpenCloseCyclesLeaveNothingBehind)
{
    PluginModule module(pluginPath());
    PluginHost host(module);
    for (int cycle = 0; cycle < 100; ++cycle)
    {
        ASSERT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1) << cycle;
        host.dispatch(vst::effEditIdle);
        host.dispatch(vst::effEditClose);
    }
    EXPECT_TRUE(children().empty());
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, EditorsOnTwoThreadsLeaveTheHostsErrorHandlerInPlace)
{
    // Xlib has one error handler for the whole process: however the two
    // instances' open, idle and close interleave, the host's must be the one
    // installed afterwards.
    const PluginModule& module = builtModule();
    auto cycles = [&] {
        PluginHost host(module);
        for (int cycle = 0; cycle < 40; ++cycle)
        {
            host.dispatch(vst::effEditOpen, 0, 0, hostWindow());
            host.dispatch(vst::effEditIdle);
            host.dispatch(vst::effEditClose);
        }
    };
    std::thread first(cycles);
    std::thread second(cycles);
    first.join();
    second.join();
    ASSERT_EQ(XSetErrorHandler(&countHostError), &countHostError);
    XDestroyWindow(display, 0x7FFFFFF0); // no such window: an error on the host's own connection
    XSync(display, False);
    EXPECT_EQ(hostErrors, 1);
}

TEST_F(X11Editor, TheWindowLayerCatchesNoErrorsInNormalUse)
{
    // In process, so that the layer's own error count is visible.
    APlugin plugin(&recordingHost);
    APluginEditor::attachTo(plugin);
    auto& editor = *static_cast<APluginEditor*>(plugin.getEditor());
    const int before = NativeWindow::trappedErrorCount();
    for (int cycle = 0; cycle < 10; ++cycle)
    {
        ASSERT_EQ(editor.open(hostWindow()), 1);
        editor.idle();
        editor.close();
    }
    EXPECT_EQ(NativeWindow::trappedErrorCount(), before);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, ClicksOnTheScreenBecomeAutomationAndThePictureFollows)
{
    PluginModule module(pluginPath());
    PluginHost host(module);
    ASSERT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1);
    host.dispatch(vst::effEditIdle);
    const auto kids = children();
    ASSERT_EQ(kids.size(), 1u);
    const Point reverseFace{485, 69}; // inside the reverse button, clear of its caption
    EXPECT_TRUE(eventually(host, kids[0], reverseFace, rgb(115, 149, 212)));

    host.clearCalls();
    sendClick(kids[0], {509, 72}); // reverse
    bool automated = false;
    for (int attempt = 0; attempt < 200 && !automated; ++attempt)
    {
        host.dispatch(vst::effEditIdle); // the click reaches the editor's connection in its own time
        for (const HostCall& call : host.calls())
            automated = automated ||
                        (call.opcode == vst::audioMasterAutomate && call.index == param::reverse && call.opt == 1.0f);
        if (!automated)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(automated);
    EXPECT_FLOAT_EQ(host.getParameter(param::reverse), 1.0f);
    EXPECT_TRUE(eventually(host, kids[0], reverseFace, shade(rgb(115, 149, 212), 0.25))) << "lit";

    host.dispatch(vst::effEditClose);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, AHostWindowDestroyedBeforeTheCloseHurtsNobody)
{
    PluginModule module(pluginPath());
    PluginHost host(module);
    ASSERT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1);
    XDestroyWindow(display, parent);
    XSync(display, False);
    parent = 0;
    host.dispatch(vst::effEditIdle);
    host.dispatch(vst::effEditClose);
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(X11Editor, AnInvalidHostWindowGivesNoEditor)
{
    const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(display, gone);
    XSync(display, False);
    PluginModule module(pluginPath());
    PluginHost host(module);
    EXPECT_EQ(host.dispatch(vst::effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<std::uintptr_t>(gone))), 0);
    host.dispatch(vst::effEditIdle);
    host.dispatch(vst::effEditClose);
    EXPECT_EQ(hostErrors, 0);
    // A later open into a good window works.
    EXPECT_EQ(host.dispatch(vst::effEditOpen, 0, 0, hostWindow()), 1);
    host.dispatch(vst::effEditClose);
}

/// The source side of a drag, run on the test's own connection: enter,
/// position and drop, then answering the editor's request for the list.
struct DragSource
{
    Display* display;
    Window target;
    Window source;
    Atom atom(const char* name) const { return XInternAtom(display, name, False); }

    DragSource(Display* d, Window t)
        : display(d), target(t), source(XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0))
    {
        XSetSelectionOwner(display, atom("XdndSelection"), source, CurrentTime);
    }
    ~DragSource() { XDestroyWindow(display, source); }

    void send(const char* type, long l1, long l2, long l3 = 0, long l4 = 0)
    {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = target;
        e.xclient.message_type = atom(type);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(source);
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(display, target, False, NoEventMask, &e);
        XFlush(display);
    }

    /// Runs the exchange while the host idles the editor; true when the
    /// editor accepted the position and finished the drop with success.
    bool dropUriList(const std::string& list, const std::function<void()>& idle)
    {
        send("XdndEnter", 5L << 24, static_cast<long>(atom("text/uri-list")));
        send("XdndPosition", 0, (100L << 16) | 100L, CurrentTime, static_cast<long>(atom("XdndActionCopy")));
        bool accepted = false;
        bool finished = false;
        bool dropped = false;
        for (int attempt = 0; attempt < 400 && !finished; ++attempt)
        {
            idle();
            while (XPending(display) > 0)
            {
                XEvent e;
                XNextEvent(display, &e);
                if (e.type == ClientMessage && e.xclient.message_type == atom("XdndStatus"))
                    accepted = (e.xclient.data.l[1] & 1) != 0;
                else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndFinished"))
                    finished = true;
                else if (e.type == SelectionRequest)
                {
                    const XSelectionRequestEvent& r = e.xselectionrequest;
                    XChangeProperty(display, r.requestor, r.property, r.target, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(list.data()), static_cast<int>(list.size()));
                    XEvent answer{};
                    answer.xselection.type = SelectionNotify;
                    answer.xselection.requestor = r.requestor;
                    answer.xselection.selection = r.selection;
                    answer.xselection.target = r.target;
                    answer.xselection.property = r.property;
                    answer.xselection.time = r.time;
                    XSendEvent(display, r.requestor, False, NoEventMask, &answer);
                    XFlush(display);
                }
            }
            if (accepted && !dropped)
            {
                send("XdndDrop", 0, CurrentTime);
                dropped = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return accepted && finished;
    }
};

TEST_F(X11Editor, AFileDroppedFromTheDesktopIsLoadedAndANonWavFileExplained)
{
    APlugin plugin(&recordingHost);
    APluginEditor::attachTo(plugin);
    auto& editor = *static_cast<APluginEditor*>(plugin.getEditor());
    ASSERT_EQ(editor.open(hostWindow()), 1);
    const auto kids = children();
    ASSERT_EQ(kids.size(), 1u);
    const std::string folder = dir.file("Große Halle") + "/";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "hall 2 \xC3\xBC.wav";
    std::vector<float> samples(2 * 3000, 0.0f);
    samples[0] = 0.5f;
    writeFloatWav(path, 44100, 2, samples);

    DragSource drag(display, kids[0]);
    std::string uri = "file://";
    for (const unsigned char c : path)
    {
        static const char hex[] = "0123456789ABCDEF";
        if (std::isalnum(c) || c == '/' || c == '.' || c == '-')
            uri.push_back(static_cast<char>(c));
        else
        {
            uri.push_back('%');
            uri.push_back(hex[c >> 4]);
            uri.push_back(hex[c & 15]);
        }
    }
    ASSERT_TRUE(drag.dropUriList("# dropped\r\n" + uri + "\r\n", [&editor] { editor.idle(); }));
    EXPECT_EQ(plugin.requestedFileName(), path);

    const std::string text = dir.file("notes.txt");
    std::ofstream(text) << "no wave here";
    ASSERT_TRUE(drag.dropUriList("file://" + text + "\r\n", [&editor] { editor.idle(); }));
    EXPECT_EQ(editor.getWindow()->currentMessage().rfind("ERROR: Cannot load file:Error", 0), 0u);
    EXPECT_EQ(plugin.requestedFileName(), path) << "the response in use stays";

    XEvent key{};
    key.xkey.type = KeyPress;
    key.xkey.window = kids[0];
    key.xkey.root = DefaultRootWindow(display);
    key.xkey.keycode = XKeysymToKeycode(display, XK_Return);
    key.xkey.same_screen = True;
    XSendEvent(display, kids[0], False, KeyPressMask, &key);
    XSync(display, False);
    for (int attempt = 0; attempt < 200 && !editor.getWindow()->currentMessage().empty(); ++attempt)
    {
        editor.idle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(editor.getWindow()->currentMessage(), "") << "Enter closes the Alert";
    editor.close();
    EXPECT_EQ(hostErrors, 0);
}

} // namespace
} // namespace tam::test
