// Assembles the plug-in a host gets: the processing object of core with the
// editor attached. Only the module knows both.
#include "core/APlugin.h"
#include "editor/APluginEditor.h"
#include "frame/PluginEntry.h"

#include <memory>

namespace tam {

AudioEffect* createEffectInstance(vst::audioMasterCallback audioMaster)
{
    try
    {
        auto plugin = std::make_unique<APlugin>(audioMaster);
        APluginEditor::attachTo(*plugin);
        return plugin.release();
    }
    catch (...)
    {
        // Out of memory or no thread: everything built so far has been
        // released by the destructors; the host gets no instance.
        return nullptr;
    }
}

} // namespace tam
