// Xlib window layer. The editor opens a display connection of its own per
// window, so its events never mix with the host's: the host keeps its event
// loop, and the editor reads its own queue when the host calls the editor's
// idle request.
//
// Every Xlib call on that connection runs inside an XErrorTrap. Xlib reports
// errors through one process-wide handler, whose default ends the process;
// the trap catches the errors of this connection (a host that destroyed its
// window before closing the editor, for example) and hands everything else
// to whatever handler the host had installed.
#include "editor/NativeWindow.h"
#include "editor/x11/CairoCanvas.h"
#include "editor/x11/XdndReceiver.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tam
{

namespace
{

using ErrorHandler = int (*)(Display*, XErrorEvent*);

std::atomic<int> trappedTotal{0}; ///< errors caught by every trap so far
using IoErrorHandler = int (*)(Display*);

/// Catches X errors of one display connection while it exists. Xlib's
/// handlers are process-wide, while traps live on any thread (an editor per
/// instance, each on the thread that opens it), so the set of open traps is
/// process-wide too and locked: the handlers go in when the first trap opens
/// and the host's come back when the last one closes, in whatever order the
/// threads open and close them.
class XErrorTrap
{
public:
    explicit XErrorTrap(Display* trapped) : display(trapped)
    {
        std::lock_guard lock(guard);
        if (newest == nullptr)
        {
            hostHandler = XSetErrorHandler(&XErrorTrap::onError);
            hostIoHandler = XSetIOErrorHandler(&XErrorTrap::onIoError);
        }
        older = newest;
        if (older != nullptr)
            older->newer = this;
        newest = this;
    }
    ~XErrorTrap()
    {
        std::lock_guard lock(guard);
        if (newer != nullptr)
            newer->older = older;
        else
            newest = older;
        if (older != nullptr)
            older->newer = newer;
        if (newest == nullptr)
        {
            XSetErrorHandler(hostHandler);
            XSetIOErrorHandler(hostIoHandler);
        }
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    /// Waits until the server has handled every request so far; false when
    /// any of them failed.
    bool sync()
    {
        XSync(display, False);
        return errorCount() == 0;
    }
    int errorCount() const { return errors.load(std::memory_order_relaxed); }

private:
    /// The newest open trap of the connection; the caller holds the lock.
    static XErrorTrap* find(Display* d)
    {
        for (XErrorTrap* t = newest; t != nullptr; t = t->older)
            if (t->display == d)
                return t;
        return nullptr;
    }
    static int onError(Display* d, XErrorEvent* event)
    {
        ErrorHandler previous = nullptr;
        {
            std::lock_guard lock(guard);
            if (XErrorTrap* trap = find(d))
            {
                trap->errors.fetch_add(1, std::memory_order_relaxed);
                trappedTotal.fetch_add(1, std::memory_order_relaxed);
                return 0;
            }
            previous = hostHandler;
        }
        // Outside the lock: the host's handler may do anything.
        return previous != nullptr ? previous(d, event) : 0;
    }
    static int onIoError(Display* d)
    {
        IoErrorHandler previous = nullptr;
        {
            std::lock_guard lock(guard);
            if (find(d) != nullptr)
                return 0; // the per-display exit handler below keeps the process alive
            previous = hostIoHandler;
        }
        return previous != nullptr ? previous(d) : 0;
    }

    Display* display;
    XErrorTrap* older = nullptr; ///< links of the open traps, under `guard`
    XErrorTrap* newer = nullptr;
    std::atomic<int> errors{0};

    static std::mutex guard;
    static XErrorTrap* newest;
    static ErrorHandler hostHandler;     ///< installed before the first trap opened
    static IoErrorHandler hostIoHandler;
};

std::mutex XErrorTrap::guard;
XErrorTrap* XErrorTrap::newest = nullptr;
ErrorHandler XErrorTrap::hostHandler = nullptr;
IoErrorHandler XErrorTrap::hostIoHandler = nullptr;

class X11Window final : public NativeWindow
{
public:
    X11Window(Window parent, int width, int height, WindowListener& receiver) : listener(receiver), size{width, height}
    {
        display = XOpenDisplay(nullptr);
        if (display == nullptr)
            return;
        // Without this Xlib ends the process when the connection breaks.
        XSetIOErrorExitHandler(display, &X11Window::onConnectionLost, this);

        XErrorTrap trap(display);
        XWindowAttributes parentAttributes{};
        if (parent == 0 || XGetWindowAttributes(display, parent, &parentAttributes) == 0 || !trap.sync())
            return;

        XSetWindowAttributes attributes{};
        attributes.background_pixmap = None; // the editor paints every pixel; no flash of a background
        attributes.bit_gravity = NorthWestGravity;
        attributes.event_mask =
            ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | StructureNotifyMask | KeyPressMask;
        window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                               CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap | CWBitGravity | CWEventMask,
                               &attributes);
        if (!trap.sync())
        {
            window = 0;
            return;
        }
        XWindowAttributes own{};
        if (XGetWindowAttributes(display, window, &own) == 0)
            return;
        visual = own.visual;
        depth = own.depth;
        gc = XCreateGC(display, window, 0, nullptr);
        // Files dropped from the desktop's file manager.
        dropTarget = std::make_unique<XdndReceiver>(
            display, window,
            [this](const std::vector<std::string>& paths, Point at) { listener.onFilesDropped(paths, at); });
        valid = visual != nullptr && visual->c_class == TrueColor && trap.sync();
    }

    ~X11Window() override
    {
        if (display == nullptr)
            return;
        {
            XErrorTrap trap(display);
            dropTarget.reset();
            if (gc != nullptr)
                XFreeGC(display, gc);
            if (window != 0 && !gone && !lost)
            {
                XDestroyWindow(display, window);
                XSync(display, False);
            }
            XCloseDisplay(display);
        }
    }

    bool usable() const { return valid; }

    void show() override
    {
        if (!alive())
            return;
        XErrorTrap trap(display);
        XMapRaised(display, window);
        // Wait for the map so that the first frame, presented right after,
        // reaches the screen when the host's window is already visible.
        trap.sync();
        shown = true;
    }

    void hide() override
    {
        if (!alive())
            return;
        XErrorTrap trap(display);
        XUnmapWindow(display, window);
        trap.sync(); // hidden when the host's close request returns
        shown = false;
    }

    bool isShown() const override { return shown && alive(); }
    Size clientSize() const override { return size; }

    void present(const Canvas& frame, const Rect& area) override
    {
        if (!alive() || !shown)
            return;
        Rect r = area;
        const auto* canvas = presentable<CairoCanvas>(frame, r, size);
        if (canvas == nullptr)
            return;
        XErrorTrap trap(display);
        XImage* image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                     static_cast<unsigned>(r.width()), static_cast<unsigned>(r.height()), 32, 0);
        if (image == nullptr)
            return;
        image->data = static_cast<char*>(
            std::malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(r.height())));
        if (image->data == nullptr)
        {
            XDestroyImage(image);
            return;
        }
        convert(*canvas, r, *image);
        XPutImage(display, window, gc, image, 0, 0, r.left, r.top, static_cast<unsigned>(r.width()),
                  static_cast<unsigned>(r.height()));
        XDestroyImage(image); // frees the pixels too
        XFlush(display);
    }

    void processEvents() override
    {
        if (!alive())
            return;
        XErrorTrap trap(display);
        Rect exposed;
        while (!lost && XPending(display) > 0)
        {
            XEvent event;
            XNextEvent(display, &event);
            if (event.xany.window != window)
                continue;
            if (dropTarget && dropTarget->handle(event))
                continue;
            switch (event.type)
            {
            case Expose:
                exposed = exposed.unite(
                    Rect::fromSize(event.xexpose.x, event.xexpose.y, event.xexpose.width, event.xexpose.height));
                if (event.xexpose.count == 0)
                {
                    listener.onExpose(exposed);
                    exposed = {};
                }
                break;
            case ButtonPress:
                pressed(event.xbutton);
                break;
            case ButtonRelease:
                if (event.xbutton.button >= Button1 && event.xbutton.button <= Button3)
                    listener.onMouseUp(
                        mouse(event.xbutton.x, event.xbutton.y, event.xbutton.button, event.xbutton.state));
                break;
            case MotionNotify:
                moved(event);
                break;
            case KeyPress:
            {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                listener.onKeyDown(key == XK_Return || key == XK_KP_Enter ? Key::enter : Key::other);
                break;
            }
            case DestroyNotify:
                if (event.xdestroywindow.window == window)
                    gone = true; // with the host's window
                break;
            default:
                break;
            }
            if (gone)
                break;
        }
        if (!exposed.empty())
            listener.onExpose(exposed);
    }

    bool alive() const override { return valid && !gone && !lost; }

private:
    /// Copies an area of the frame (0x00RRGGBB words) into an image in the
    /// window's pixel format.
    void convert(const CairoCanvas& canvas, const Rect& r, XImage& image) const
    {
        cairo_surface_t* surface = canvas.surface();
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned long rgbMasks = image.red_mask | image.green_mask | image.blue_mask;
        // Bits outside the colour masks (the alpha of a 32-bit visual) are
        // set, so compositing hosts show the editor opaque.
        const unsigned long extra = depth >= 32 ? (0xFFFFFFFFul & ~rgbMasks) : 0ul;
        const bool direct = image.bits_per_pixel == 32 && image.red_mask == 0xFF0000ul &&
                            image.green_mask == 0xFF00ul && image.blue_mask == 0xFFul &&
                            image.byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
        for (int y = 0; y < r.height(); ++y)
        {
            const auto* source =
                reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(r.top + y) * stride) + r.left;
            if (direct)
            {
                auto* target = reinterpret_cast<std::uint32_t*>(image.data +
                                                                static_cast<std::ptrdiff_t>(y) * image.bytes_per_line);
                for (int x = 0; x < r.width(); ++x)
                    target[x] = source[x] | static_cast<std::uint32_t>(extra);
                continue;
            }
            for (int x = 0; x < r.width(); ++x)
            {
                const std::uint32_t v = source[x];
                const unsigned long pixel = scaled((v >> 16) & 0xFF, image.red_mask) |
                                            scaled((v >> 8) & 0xFF, image.green_mask) |
                                            scaled(v & 0xFF, image.blue_mask) | extra;
                XPutPixel(&image, x, y, pixel);
            }
        }
    }

    /// An 8-bit component placed into the bits of `mask`.
    static unsigned long scaled(unsigned component, unsigned long mask)
    {
        if (mask == 0)
            return 0;
        const int shift = std::countr_zero(mask);
        const unsigned long maximum = mask >> shift;
        return ((component * maximum + 127) / 255) << shift;
    }

    static void onConnectionLost(Display*, void* self) { static_cast<X11Window*>(self)->lost = true; }

    static MouseEvent mouse(int x, int y, unsigned button, unsigned state)
    {
        return {{x, y}, static_cast<int>(button), (state & ShiftMask) != 0};
    }

    void pressed(const XButtonEvent& event)
    {
        // The press itself grabs the pointer for this window until the last
        // button is released, so drags keep arriving outside the window.
        if (event.button >= Button1 && event.button <= Button3)
        {
            // A click gives the editor the keyboard (Enter closes an Alert).
            XSetInputFocus(display, window, RevertToParent, event.time);
            listener.onMouseDown(mouse(event.x, event.y, event.button, event.state));
        }
        else if (event.button == Button4)
            listener.onWheel({event.x, event.y}, -1);
        else if (event.button == Button5)
            listener.onWheel({event.x, event.y}, 1);
    }

    void moved(XEvent& event)
    {
        // Only the newest of consecutive moves matters.
        while (XEventsQueued(display, QueuedAlready) > 0)
        {
            XEvent next;
            XPeekEvent(display, &next);
            if (next.type != MotionNotify || next.xany.window != window)
                break;
            XNextEvent(display, &event);
        }
        listener.onMouseMove(mouse(event.xmotion.x, event.xmotion.y, 0, event.xmotion.state));
    }

    WindowListener& listener;
    Display* display = nullptr;
    Window window = 0;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc = nullptr;
    std::unique_ptr<XdndReceiver> dropTarget;
    Size size;
    bool valid = false;
    bool shown = false;
    bool gone = false;
    bool lost = false;
};

} // namespace

bool NativeWindow::supported()
{
    return true;
}

int NativeWindow::trappedErrorCount()
{
    return trappedTotal.load(std::memory_order_relaxed);
}

std::unique_ptr<NativeWindow> NativeWindow::create(void* parent, int width, int height, WindowListener& listener)
{
    const auto parentId = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent));
    auto window = std::make_unique<X11Window>(parentId, width, height, listener);
    if (!window->usable())
        return nullptr;
    return window;
}

} // namespace tam
