// The editor bridge between the host's editor requests and the editor
// window. UI thread only, except update(), which any thread may call.
#pragma once

#include "frame/AEffEditor.h"

namespace tam {

class APlugin;

class APluginEditor : public AEffEditor
{
public:
    static constexpr int windowWidth = 736;
    static constexpr int windowHeight = 464;

    explicit APluginEditor(APlugin* owner);

    vst::VstInt32 getRect(vst::ERect** rect) override;
    vst::VstInt32 open(void* ptr) override;
    void close() override;
    void idle() override {}
    void update() override {}

    /// Whether this build can show a window at all.
    static bool windowSupported() { return false; }

private:
    APlugin* plugin;
    vst::ERect rect{};
    vst::VstInt32 openCount = 0;
};

} // namespace tam
