// One plug-in instance driven the way a host drives it: created through the
// module's entry function, then only the effect record's dispatcher,
// parameter and process functions are used. The host callback answers what
// an offline host knows (version, rate, block size, process level).
//
// One thread drives the instance (it is both the host's main and audio
// thread, as in an offline render). Never used by the plug-in itself.
#pragma once

#include "frame/VstAbi.h"
#include "host/PluginLibrary.h"

#include <string>

namespace tam::host {

class HostedEffect
{
public:
    static constexpr vst::VstIntPtr hostVersion = 2400;
    static constexpr vst::VstIntPtr offlineProcessLevel = 4;

    /// Calls the entry ("VSTPluginMain", else "main"), opens the effect and
    /// announces the rate and the largest block. Throws HostError when there
    /// is no entry, the entry returns no effect, or the record is not one.
    HostedEffect(const PluginLibrary& library, float sampleRate, int maxBlockSize);
    /// Switches the effect off if it is on and closes it.
    ~HostedEffect();
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    vst::AEffect& record() { return *effect; }
    const vst::AEffect& record() const { return *effect; }

    vst::VstIntPtr dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                            void* ptr = nullptr, float opt = 0.0f);
    /// A text request (names, labels, displays, strings): the answer, cut at
    /// the buffer's end even if the plug-in forgets the terminating zero.
    std::string text(vst::VstInt32 opcode, vst::VstInt32 index = 0);

    void setParameter(int index, float value);
    float getParameter(int index);

    /// effMainsChanged: on before processing, off before closing.
    void resume();
    void suspend();
    bool isResumed() const { return resumed; }

    /// Overwrites `outputs` with the effect's output for `frames` frames
    /// (processReplacing, or the accumulating process on cleared outputs for
    /// effects without it). Input and output buffers must not overlap.
    void process(float* const* inputs, float* const* outputs, int frames);

    float sampleRate() const { return rate; }
    int blockSize() const { return maxBlock; }
    int latency() const { return effect->initialDelay; }

private:
    static vst::VstIntPtr TAM_VST_CALL callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                vst::VstIntPtr value, void* ptr, float opt);
    vst::VstIntPtr answer(vst::VstInt32 opcode, void* ptr);

    vst::AEffect* effect = nullptr;
    float rate;
    int maxBlock;
    bool resumed = false;
};

} // namespace tam::host
