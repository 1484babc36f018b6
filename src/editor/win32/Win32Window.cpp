// Win32 window layer: a borderless WS_CHILD window of the host's window. The
// host's message loop dispatches its messages; every handled message ends
// with the frame's service callback, which composes and presents the frame,
// and a window timer (SetTimer, on the UI thread) drives the 100 ms refresh.
//
// The window class is registered per loaded module (its name carries the
// module's address, so two copies of the plug-in, 32- and 64-bit builds or
// two files, never share one) while at least one editor window exists, and
// unregistered with the last one.
#include "editor/win32/Win32Window.h"
#include "editor/win32/GdiCanvas.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tam
{

namespace
{

constexpr UINT_PTR refreshTimerId = 1;

std::atomic<int> trappedTotal{0}; ///< window-system failures survived so far

HINSTANCE moduleInstance()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&moduleInstance), &module);
    return module;
}

/// The module's window class, held by every live window.
class WindowClass
{
public:
    /// Registers the class for the first holder; null name on failure.
    static const char* acquire(WNDPROC procedure)
    {
        std::lock_guard guard(lock);
        if (holders == 0)
        {
            std::snprintf(name, sizeof name, "TAMEditorWindow_%p", static_cast<void*>(moduleInstance()));
            WNDCLASSEXA description{};
            description.cbSize = sizeof description;
            description.lpfnWndProc = procedure;
            description.hInstance = moduleInstance();
            description.hCursor = LoadCursor(nullptr, IDC_ARROW);
            description.lpszClassName = name;
            // No background brush (every pixel is painted) and no
            // CS_DBLCLKS: a quick second click is an ordinary press.
            // Still there when a window of it outlived its release (a failed
            // unregistration): then it is ours to use.
            if (RegisterClassExA(&description) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
                return nullptr;
        }
        ++holders;
        return name;
    }
    static void release()
    {
        std::lock_guard guard(lock);
        if (holders > 0 && --holders == 0)
            UnregisterClassA(name, moduleInstance());
    }

private:
    static inline std::mutex lock;
    static inline int holders = 0;
    static inline char name[64] = {};
};

class Win32Window final : public NativeWindow
{
public:
    Win32Window(HWND parent, int width, int height, WindowListener& receiver) : listener(receiver), size{width, height}
    {
        className = WindowClass::acquire(&Win32Window::procedure);
        if (className == nullptr)
            return;
        handle = CreateWindowExA(0, className, "", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width, height,
                                 parent, nullptr, moduleInstance(), nullptr);
        if (handle == nullptr)
            return;
        SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DragAcceptFiles(handle, TRUE); // files dropped from Explorer load like chosen ones
    }

    ~Win32Window() override
    {
        if (handle != nullptr && !gone)
        {
            // Detach first: the messages of the destruction go to the
            // default procedure, never into a half-destroyed object.
            SetWindowLongPtrA(handle, GWLP_USERDATA, 0);
            KillTimer(handle, refreshTimerId);
            if (GetCapture() == handle)
                ReleaseCapture();
            DestroyWindow(handle);
        }
        if (className != nullptr)
            WindowClass::release();
    }

    bool usable() const { return handle != nullptr; }

    void show() override
    {
        if (!alive())
            return;
        SetWindowPos(handle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        shown = true;
        if (service)
            SetTimer(handle, refreshTimerId, static_cast<UINT>(tickIntervalMs), nullptr);
    }

    void hide() override
    {
        if (!alive())
            return;
        KillTimer(handle, refreshTimerId); // a hidden window needs no refresh
        if (GetCapture() == handle)
            ReleaseCapture();
        ShowWindow(handle, SW_HIDE);
        shown = false;
    }

    bool isShown() const override { return shown && alive(); }
    Size clientSize() const override { return size; }

    void present(const Canvas& frame, const Rect& area) override
    {
        if (!alive() || !shown)
            return;
        Rect r = area;
        const auto* canvas = presentable<GdiCanvas>(frame, r, size);
        if (canvas == nullptr)
            return;
        HDC target = GetDC(handle);
        if (target == nullptr)
        {
            trappedTotal.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        if (!BitBlt(target, r.left, r.top, r.width(), r.height(), canvas->deviceContext(), r.left, r.top, SRCCOPY))
            trappedTotal.fetch_add(1, std::memory_order_relaxed);
        ReleaseDC(handle, target);
    }

    void processEvents() override {} // the host's message loop dispatches them

    bool alive() const override { return handle != nullptr && !gone; }

    bool serviceItself(int intervalMs, ServiceCallback callback) override
    {
        tickIntervalMs = std::max(1, intervalMs);
        service = std::move(callback);
        return true;
    }

    bool dispatching() const override { return depth > 0; }

    HWND windowHandle() const { return handle; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr)
            return DefWindowProcA(window, message, wParam, lParam);
        if (message == WM_ERASEBKGND)
            return 1; // every pixel is painted from the frame
        ++self->depth;
        const bool handled = self->onMessage(message, wParam, lParam);
        --self->depth;
        if (!handled)
            return DefWindowProcA(window, message, wParam, lParam);
        if (self->service)
        {
            // The callback may destroy this window: nothing of it is used
            // after the call.
            const ServiceCallback callback = self->service;
            callback(message == WM_TIMER);
        }
        return 0;
    }

    /// One message; false for those left to the default procedure.
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message)
        {
        case WM_PAINT:
        {
            PAINTSTRUCT paint;
            if (BeginPaint(handle, &paint) != nullptr)
            {
                const RECT& r = paint.rcPaint;
                listener.onExpose({r.left, r.top, r.right, r.bottom});
                EndPaint(handle, &paint);
            }
            return true;
        }
        case WM_TIMER:
            return wParam == refreshTimerId;
        case WM_LBUTTONDOWN:
            pressed(1, lParam, wParam);
            return true;
        case WM_MBUTTONDOWN:
            pressed(2, lParam, wParam);
            return true;
        case WM_RBUTTONDOWN:
            pressed(3, lParam, wParam);
            return true;
        case WM_LBUTTONUP:
            released(1, lParam, wParam);
            return true;
        case WM_MBUTTONUP:
            released(2, lParam, wParam);
            return true;
        case WM_RBUTTONUP:
            released(3, lParam, wParam);
            return true;
        case WM_MOUSEMOVE:
            lastPoint = point(lParam);
            listener.onMouseMove({lastPoint, 0, (wParam & MK_SHIFT) != 0});
            return true;
        case WM_CAPTURECHANGED:
            if (heldButton != 0 && reinterpret_cast<HWND>(lParam) != handle)
            {
                // Another window took the mouse mid-gesture: end the gesture
                // where the mouse was last seen, so no control stays pressed.
                const int button = heldButton;
                heldButton = 0;
                listener.onMouseUp({lastPoint, button, false});
                return true;
            }
            return false;
        case WM_MOUSEWHEEL:
        {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(handle, &at);
            wheelRest += GET_WHEEL_DELTA_WPARAM(wParam);
            const int steps = wheelRest / WHEEL_DELTA;
            wheelRest -= steps * WHEEL_DELTA;
            if (steps != 0)
                listener.onWheel({at.x, at.y}, -steps); // rolling towards the user scrolls towards the end
            return true;
        }
        case WM_DROPFILES:
            dropped(reinterpret_cast<HDROP>(wParam));
            return true;
        case WM_DESTROY:
            gone = true; // with the host's window
            heldButton = 0;
            return false;
        default:
            return false;
        }
    }

    static Point point(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

    void pressed(int button, LPARAM lParam, WPARAM wParam)
    {
        lastPoint = point(lParam);
        if (heldButton == 0)
        {
            // Moves and the release keep arriving outside the window.
            heldButton = button;
            SetCapture(handle);
        }
        listener.onMouseDown({lastPoint, button, (wParam & MK_SHIFT) != 0});
    }

    void released(int button, LPARAM lParam, WPARAM wParam)
    {
        lastPoint = point(lParam);
        if (button == heldButton)
        {
            heldButton = 0; // before the release, whose capture change is no cancel
            if (GetCapture() == handle)
                ReleaseCapture();
        }
        listener.onMouseUp({lastPoint, button, (wParam & MK_SHIFT) != 0});
    }

    void dropped(HDROP drop)
    {
        std::vector<std::string> paths;
        const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i)
        {
            std::string path(DragQueryFileA(drop, i, nullptr, 0), '\0');
            DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size() + 1));
            paths.push_back(std::move(path));
        }
        POINT at{};
        DragQueryPoint(drop, &at);
        DragFinish(drop);
        if (!paths.empty())
            listener.onFilesDropped(paths, {at.x, at.y});
    }

    WindowListener& listener;
    const char* className = nullptr;
    HWND handle = nullptr;
    Size size;
    ServiceCallback service;
    int tickIntervalMs = 100;
    int depth = 0;      ///< handlers of this window on the stack
    int heldButton = 0; ///< the button whose press took the capture, 0 for none
    int wheelRest = 0;  ///< wheel movement short of a whole step
    Point lastPoint;
    bool shown = false;
    bool gone = false;
};

} // namespace

HWND windowHandle(const NativeWindow* window)
{
    const auto* own = dynamic_cast<const Win32Window*>(window);
    return own != nullptr && own->alive() ? own->windowHandle() : nullptr;
}

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
    const auto parentHandle = static_cast<HWND>(parent);
    if (parentHandle == nullptr || !IsWindow(parentHandle))
        return nullptr;
    auto window = std::make_unique<Win32Window>(parentHandle, width, height, listener);
    if (!window->usable())
        return nullptr;
    return window;
}

} // namespace tam
