#include "core/APlugin.h"

#include "frame/PluginEntry.h"

#include <new>

namespace tam {

APlugin::APlugin(vst::audioMasterCallback hostCallback) : AudioEffectX(hostCallback, 1, 173)
{
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    setUniqueID(vst::fourCharCode('4', '5', '6', 'c'));
    setInitialDelay(8960);
}

void APlugin::process(float**, float**, vst::VstInt32) {}

AudioEffect* createEffectInstance(vst::audioMasterCallback audioMaster)
{
    return new (std::nothrow) APlugin(audioMaster);
}

} // namespace tam
