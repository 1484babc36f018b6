#include "frame/PluginEntry.h"

#include "frame/AudioEffect.h"

namespace tam {

vst::AEffect* pluginMain(vst::audioMasterCallback audioMaster)
{
    if (audioMaster == nullptr)
        return nullptr;
    // No object exists yet, so the record pointer passed here is null.
    if (audioMaster(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;
    AudioEffect* effect = nullptr;
    try
    {
        effect = createEffectInstance(audioMaster);
    }
    catch (...)
    {
        return nullptr;
    }
    return effect != nullptr ? effect->getAeffect() : nullptr;
}

} // namespace tam
