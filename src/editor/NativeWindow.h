// The editor's windowing layer: one borderless child window inside a window
// of the host, mouse input with the Shift state, expose requests, and copying
// a finished frame (a Canvas) onto the screen.
//
// The platform layer implements it: Xlib on Linux (its own display
// connection, events pumped by processEvents from the host's idle calls),
// Win32 on Windows (the host's message loop dispatches the window's input,
// and a timer of the window runs the refresh).
//
// Threading: the host's UI thread only. Nothing here ever terminates or
// signals the host process: failures of the window system are reported as
// "no window" or as a window that is gone.
#pragma once

#include "editor/Canvas.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tam
{

struct MouseEvent
{
    Point point;    ///< in the receiver's coordinates
    int button = 1; ///< 1 left, 2 middle, 3 right
    bool shift = false;
};

/// The keys the editor reacts to.
enum class Key
{
    enter,
    other,
};

/// Receives the window's input; the editor window implements it.
class WindowListener
{
public:
    virtual void onMouseDown(const MouseEvent& event) = 0;
    virtual void onMouseMove(const MouseEvent& event) = 0;
    virtual void onMouseUp(const MouseEvent& event) = 0;
    /// Wheel steps at a point: positive scrolls towards the end.
    virtual void onWheel(Point point, int steps) = 0;
    /// Part of the window needs its pixels again.
    virtual void onExpose(const Rect& area) = 0;
    /// A key pressed while the window has the keyboard.
    virtual void onKeyDown(Key key) { (void)key; }
    /// Files dropped onto the window from the desktop (full paths in the
    /// platform's file-name encoding), at `point`.
    virtual void onFilesDropped(const std::vector<std::string>& paths, Point point)
    {
        (void)paths;
        (void)point;
    }

protected:
    ~WindowListener() = default;
};

/// For a window's present: the part of `area` a window of `size` shows of
/// `frame`, when the frame is the platform's canvas type. Null when there is
/// nothing to copy.
template <class PlatformCanvas>
const PlatformCanvas* presentable(const Canvas& frame, Rect& area, Size size)
{
    const auto* canvas = dynamic_cast<const PlatformCanvas*>(&frame);
    if (canvas == nullptr)
        return nullptr;
    area = area.intersect({0, 0, std::min(size.width, canvas->width()), std::min(size.height, canvas->height())});
    return area.empty() ? nullptr : canvas;
}

class NativeWindow
{
public:
    NativeWindow() = default;
    virtual ~NativeWindow() = default;
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;

    /// Whether this build can show windows at all (a compile-time property).
    static bool supported();
    /// A hidden borderless child of the host window `parent` (an X11 window
    /// id on Linux, a window handle on Windows) at (0, 0) with the given
    /// client size; null when no window can be made.
    static std::unique_ptr<NativeWindow> create(void* parent, int width, int height, WindowListener& listener);
    /// Errors of the window system that the layer caught and survived so far
    /// (diagnostics; 0 in a healthy session).
    static int trappedErrorCount();

    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;
    virtual Size clientSize() const = 0;
    /// Copies `area` of `frame` (window-sized) onto the window.
    virtual void present(const Canvas& frame, const Rect& area) = 0;
    /// Delivers the pending input and expose events to the listener.
    virtual void processEvents() = 0;
    /// False once the window system has destroyed the window (for example
    /// with the host's window) or the connection is lost.
    virtual bool alive() const = 0;

    /// Called by event-driven window systems after each event of the window
    /// they dispatched themselves: `tick` is true for the refresh timer. The
    /// frame brings the screen up to date from it, and may destroy a window
    /// closed meanwhile (the caller touches nothing of itself afterwards).
    using ServiceCallback = std::function<void(bool tick)>;
    /// Starts the window's own timer and event callbacks; false where the
    /// frame has to pump events and tick from the host's idle calls instead.
    virtual bool serviceItself(int tickIntervalMs, ServiceCallback callback)
    {
        (void)tickIntervalMs;
        (void)callback;
        return false;
    }
    /// True while a handler of this window is running, for example one that
    /// waits in a modal dialog: the window must not be destroyed under it.
    virtual bool dispatching() const { return false; }
};

/// How the editor frame makes its windows; tests substitute their own.
using NativeWindowFactory =
    std::function<std::unique_ptr<NativeWindow>(void* parent, int width, int height, WindowListener& listener)>;

} // namespace tam
