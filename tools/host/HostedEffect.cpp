#include "host/HostedEffect.h"

#include <algorithm>
#include <cstring>

namespace tam::host {

namespace {

constexpr std::size_t textBufferSize = 256; ///< far beyond the interface's limits: plug-ins overrun them
constexpr const char* hostProduct = "tam-render";
constexpr const char* hostVendor = "TAM tools";

/// The instance whose entry call is in progress: the plug-in may call back
/// before the host has its effect record.
thread_local HostedEffect* constructing = nullptr;

} // namespace

HostedEffect::HostedEffect(const PluginLibrary& library, float sampleRate, int maxBlockSize)
    : rate(sampleRate), maxBlock(maxBlockSize)
{
    PluginLibrary::EntryProc entry = library.entry("VSTPluginMain");
    if (entry == nullptr)
        entry = library.entry("main");
    if (entry == nullptr)
        throw HostError("the plug-in " + library.path() + " has no VST 2 entry (VSTPluginMain or main)");

    constructing = this;
    effect = entry(&HostedEffect::callback);
    constructing = nullptr;
    if (effect == nullptr)
        throw HostError("the plug-in " + library.path() + " returned no effect");
    if (effect->magic != vst::kEffectMagic)
    {
        effect = nullptr; // not a record we may call: leave it alone
        throw HostError("the plug-in " + library.path() + " returned something that is not a VST 2 effect");
    }
    // The host's reserved word finds this object again in the callback.
    effect->resvd1 = reinterpret_cast<vst::VstIntPtr>(this);

    dispatch(vst::effOpen);
    dispatch(vst::effSetSampleRate, 0, 0, nullptr, rate);
    dispatch(vst::effSetBlockSize, 0, maxBlock);
}

HostedEffect::~HostedEffect()
{
    if (effect == nullptr)
        return;
    if (resumed)
        suspend();
    dispatch(vst::effClose);
}

vst::VstIntPtr HostedEffect::dispatch(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                      float opt)
{
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

std::string HostedEffect::text(vst::VstInt32 opcode, vst::VstInt32 index)
{
    char buffer[textBufferSize] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[textBufferSize - 1] = '\0';
    return buffer;
}

void HostedEffect::setParameter(int index, float value)
{
    effect->setParameter(effect, index, value);
}

float HostedEffect::getParameter(int index)
{
    return effect->getParameter(effect, index);
}

void HostedEffect::resume()
{
    dispatch(vst::effMainsChanged, 0, 1);
    resumed = true;
}

void HostedEffect::suspend()
{
    dispatch(vst::effMainsChanged, 0, 0);
    resumed = false;
}

void HostedEffect::process(float* const* inputs, float* const* outputs, int frames)
{
    // The interface's pointers are not const; the plug-in only reads inputs.
    auto** in = const_cast<float**>(inputs);
    auto** out = const_cast<float**>(outputs);
    if ((effect->flags & vst::effFlagsCanReplacing) != 0 && effect->processReplacing != nullptr)
    {
        effect->processReplacing(effect, in, out, frames);
        return;
    }
    for (int c = 0; c < effect->numOutputs; ++c)
        std::fill(out[c], out[c] + frames, 0.0f);
    effect->process(effect, in, out, frames);
}

vst::VstIntPtr TAM_VST_CALL HostedEffect::callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32,
                                                   vst::VstIntPtr, void* ptr, float)
{
    HostedEffect* host = constructing;
    if (effect != nullptr && effect->resvd1 != 0)
        host = reinterpret_cast<HostedEffect*>(effect->resvd1);
    if (opcode == vst::audioMasterVersion)
        return hostVersion;
    return host != nullptr ? host->answer(opcode, ptr) : 0;
}

vst::VstIntPtr HostedEffect::answer(vst::VstInt32 opcode, void* ptr)
{
    switch (opcode)
    {
    case vst::audioMasterGetSampleRate:
        return static_cast<vst::VstIntPtr>(rate);
    case vst::audioMasterGetBlockSize:
        return maxBlock;
    case vst::audioMasterGetCurrentProcessLevel:
        return offlineProcessLevel;
    case vst::audioMasterGetProductString:
        if (ptr != nullptr)
            std::strcpy(static_cast<char*>(ptr), hostProduct);
        return 1;
    case vst::audioMasterGetVendorString:
        if (ptr != nullptr)
            std::strcpy(static_cast<char*>(ptr), hostVendor);
        return 1;
    case vst::audioMasterGetVendorVersion:
        return 1;
    default:
        // Automation reports, idle requests, time info, MIDI wishes: an
        // offline render has nothing to do with them.
        return 0;
    }
}

} // namespace tam::host
