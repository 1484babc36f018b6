// The editor frame: the bridge between the host's editor requests and the
// editor window. It creates, sizes, shows, refreshes and destroys one
// TPluginEditorWindow inside the window the host supplies.
//
// Threading: everything runs on the host's UI thread, except update(), which
// the plug-in calls after parameter changes from any thread (the audio thread
// and its worker included): it only raises an atomic flag, and the UI thread
// copies the parameters into the window's mirror at its next refresh.
//
// Where the window system pumps events itself (Windows), a timer of the
// window runs the refresh every 100 ms and idle() does nothing. Elsewhere
// (X11) the refresh runs from idle(): hosts send the editor idle request
// regularly while an editor is open, and every request runs the window's
// pending events and, once 100 ms have passed, one step of its update timer.
//
// A window closed while one of its handlers still runs (a modal dialog
// inside a click, say) is hidden at once and destroyed when the handler has
// returned.
#pragma once

#include "editor/NativeWindow.h"
#include "frame/AEffEditor.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace tam
{

class APlugin;
class TPluginEditorWindow;

class APluginEditor : public AEffEditor
{
public:
    explicit APluginEditor(APlugin* owner);
    ~APluginEditor() override;

    vst::VstInt32 getRect(vst::ERect** rect) override;
    /// Opens (or re-shows) the window inside the host window `ptr`; 1 on
    /// success, 0 when no window can be made.
    vst::VstInt32 open(void* ptr) override;
    void close() override;
    void idle() override;
    void update() override;
    /// Keys the host forwards: Return closes an Alert.
    vst::VstInt32 onKeyDown(vst::VstKeyCode& keyCode) override;

    /// Whether this build can show a window at all: true on Linux, false on
    /// Windows until its window layer exists.
    static bool windowSupported();
    /// Builds the editor of plugin and attaches it.
    static void attachTo(APlugin& plugin);

    /// Replaces how native windows are made (tests run without a display).
    void setWindowFactory(NativeWindowFactory factory);

    // Inspection.
    TPluginEditorWindow* getWindow() const { return window.get(); }
    vst::VstInt32 getOpenCount() const { return openCount; }
    void* getParentWindow() const { return parentWindow; }
    bool mirrorUpdatePending() const { return mirrorStale.load(std::memory_order_acquire); }

private:
    using Clock = std::chrono::steady_clock;

    void refresh();
    /// Brings the screen up to date after an event the window system
    /// dispatched itself; `tick` runs one refresh.
    void service(bool tick);
    /// Destroys the closed windows whose handlers have all returned.
    void releaseRetired();

    APlugin* plugin;
    vst::ERect rect{};
    vst::VstInt32 openCount = 0;                 ///< opens not yet matched by a close; never negative
    std::unique_ptr<TPluginEditorWindow> window; ///< while it exists
    void* parentWindow = nullptr;                ///< host window of the last open; null without a window
    std::atomic<bool> mirrorStale{false};        ///< parameters changed since the mirror was loaded
    NativeWindowFactory windowFactory;
    Clock::time_point nextTick{};
    bool selfServiced = false; ///< the window runs its own timer; idle() does nothing
    int servicing = 0;         ///< depth of service() calls on the stack
    std::vector<std::unique_ptr<TPluginEditorWindow>> retired; ///< closed while a handler ran
};

} // namespace tam
