// The library's entry: the host calls it with its callback and receives the
// effect record of a new plug-in instance, or null.
#pragma once

#include "frame/VstAbi.h"

namespace tam {

class AudioEffect;

/// Builds the plug-in object. Defined by the plug-in core; returns null when
/// the instance cannot be built (for example when memory runs out).
AudioEffect* createEffectInstance(vst::audioMasterCallback audioMaster);

/// What the exported entries do: asks the host for its version, refuses hosts
/// that answer 0, builds the object and returns its effect record.
vst::AEffect* pluginMain(vst::audioMasterCallback audioMaster);

} // namespace tam
