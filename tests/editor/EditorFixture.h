// A real plug-in object whose host records every automation request, with
// its settings in a temporary folder, and helpers that drive the editor
// window with the mouse the way a user would.
#pragma once

#include "core/APlugin.h"
#include "editor/APluginEditor.h"
#include "editor/Palette.h"
#include "editor/TPluginEditorWindow.h"
#include "impulse/TWAVfile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace tam::test
{

struct Automation
{
    int index;
    float value;
    friend bool operator==(const Automation&, const Automation&) = default;
};

inline std::mutex& automationLock()
{
    static std::mutex lock;
    return lock;
}

inline std::vector<Automation>& automations()
{
    static std::vector<Automation> log;
    return log;
}

inline vst::VstIntPtr TAM_VST_CALL recordingHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index,
                                                 vst::VstIntPtr, void*, float opt)
{
    if (opcode == vst::audioMasterAutomate)
    {
        std::lock_guard lock(automationLock());
        automations().push_back({index, opt});
    }
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

inline std::ostream& operator<<(std::ostream& out, const Automation& a)
{
    return out << "(" << a.index << ", " << a.value << ")";
}

struct EditorFixture : ::testing::Test
{
    TempDir dir;
    ScopedEnv machineRoot{"XDG_CONFIG_DIRS", dir.file("machine")};
    ScopedEnv userRoot{"XDG_CONFIG_HOME", dir.file("user")};
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(&recordingHost);

    EditorFixture()
    {
        APluginEditor::attachTo(*plugin);
        clearAutomations();
    }

    static void clearAutomations()
    {
        std::lock_guard lock(automationLock());
        automations().clear();
    }
    static std::vector<Automation> sent()
    {
        std::lock_guard lock(automationLock());
        return automations();
    }

    /// A window as the frame opens it: mirror loaded, shown, one refresh.
    std::unique_ptr<TPluginEditorWindow> openWindow()
    {
        auto window = std::make_unique<TPluginEditorWindow>(*plugin);
        window->loadMirror();
        window->showWindow();
        window->updaterTimer();
        return window;
    }

    /// Writes a 44.1 kHz float WAV file of the given frames into the test folder.
    std::string writeResponse(const std::string& name, const std::vector<float>& interleaved, int channels = 2)
    {
        const std::string path = dir.file(name);
        writeFloatWav(path, 44100, channels, interleaved);
        return path;
    }

    /// Counts the pixels of `colour` in an area of a picture.
    static int count(const Canvas& picture, const Rect& area, Color colour)
    {
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                n += picture.pixel({x, y}) == colour ? 1 : 0;
        return n;
    }

    /// Counts the near-white pixels (text is smoothed) in an area.
    static int countBright(const Canvas& picture, const Rect& area, int above = 200)
    {
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
            {
                const Color c = picture.pixel({x, y});
                n += c.r > above && c.g > above && c.b > above ? 1 : 0;
            }
        return n;
    }

    static Point centre(const Widget& w)
    {
        const Rect r = w.absoluteRect();
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    static void click(TPluginEditorWindow& window, Point p, int button = 1)
    {
        window.onMouseDown({p, button, false});
        window.onMouseUp({p, button, false});
    }
    static void click(TPluginEditorWindow& window, const Widget& w) { click(window, centre(w)); }
    /// Presses at `from`, moves by (dx, dy) and releases there.
    static void drag(TPluginEditorWindow& window, Point from, int dx, int dy, bool shift = false)
    {
        window.onMouseDown({from, 1, false});
        const Point to{from.x + dx, from.y + dy};
        window.onMouseMove({to, 1, shift});
        window.onMouseUp({to, 1, shift});
    }
};

} // namespace tam::test
