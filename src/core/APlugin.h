// The plug-in object (placeholder while the core is built up).
#pragma once

#include "frame/AudioEffectX.h"

namespace tam {

class APlugin : public AudioEffectX
{
public:
    explicit APlugin(vst::audioMasterCallback audioMaster);
    void process(float** inputs, float** outputs, vst::VstInt32 sampleFrames) override;
};

} // namespace tam
