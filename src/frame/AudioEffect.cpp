#include "frame/AudioEffect.h"

#include "frame/AEffEditor.h"

#include <cmath>

namespace tam {

namespace {

AudioEffect* objectOf(vst::AEffect* effect)
{
    return effect != nullptr ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

// The plain entry functions stored in the effect record. Nothing thrown may
// cross into the host, so each one contains whatever escapes the object.
vst::VstIntPtr TAM_VST_CALL dispatcherEntry(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                            vst::VstIntPtr value, void* ptr, float opt)
{
    AudioEffect* object = objectOf(effect);
    if (object == nullptr)
        return 0;
    try
    {
        if (opcode == vst::effClose)
        {
            object->dispatcher(opcode, index, value, ptr, opt);
            delete object;
            return 1;
        }
        return object->dispatcher(opcode, index, value, ptr, opt);
    }
    catch (...)
    {
        return 0;
    }
}

void TAM_VST_CALL processEntry(vst::AEffect* effect, float** inputs, float** outputs, vst::VstInt32 sampleFrames)
{
    if (AudioEffect* object = objectOf(effect))
        object->process(inputs, outputs, sampleFrames);
}

void TAM_VST_CALL processReplacingEntry(vst::AEffect* effect, float** inputs, float** outputs,
                                        vst::VstInt32 sampleFrames)
{
    if (AudioEffect* object = objectOf(effect))
        object->processReplacing(inputs, outputs, sampleFrames);
}

void TAM_VST_CALL setParameterEntry(vst::AEffect* effect, vst::VstInt32 index, float value)
{
    AudioEffect* object = objectOf(effect);
    if (object == nullptr)
        return;
    try
    {
        object->setParameter(index, value);
    }
    catch (...)
    {
    }
}

float TAM_VST_CALL getParameterEntry(vst::AEffect* effect, vst::VstInt32 index)
{
    AudioEffect* object = objectOf(effect);
    return object != nullptr ? object->getParameter(index) : 0.0f;
}

} // namespace

AudioEffect::AudioEffect(vst::audioMasterCallback hostCallback, vst::VstInt32 programCount,
                         vst::VstInt32 parameterCount)
    : numPrograms(programCount), numParams(parameterCount), audioMaster(hostCallback)
{
    cEffect.magic = vst::kEffectMagic;
    cEffect.dispatcher = dispatcherEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.numPrograms = programCount;
    cEffect.numParams = parameterCount;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = 0;
    cEffect.ioRatio = 1;
    cEffect.object = this;
    cEffect.uniqueID = vst::fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEntry;
}

AudioEffect::~AudioEffect()
{
    delete editor;
}

void AudioEffect::setEditor(AEffEditor* newEditor)
{
    editor = newEditor;
    setFlag(vst::effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(vst::VstInt32 flag, bool state)
{
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

vst::VstIntPtr AudioEffect::callHost(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                     float opt)
{
    if (audioMaster == nullptr)
        return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(vst::VstInt32 index, float value)
{
    setParameter(index, value);
    callHost(vst::audioMasterAutomate, index, 0, nullptr, value);
}

vst::VstInt32 AudioEffect::getMasterVersion()
{
    if (audioMaster == nullptr)
        return 1;
    const auto version = static_cast<vst::VstInt32>(callHost(vst::audioMasterVersion));
    return version != 0 ? version : 1;
}

vst::VstInt32 AudioEffect::getCurrentUniqueId()
{
    return static_cast<vst::VstInt32>(callHost(vst::audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    callHost(vst::audioMasterIdle);
}

bool AudioEffect::isInputConnected(vst::VstInt32 input)
{
    if (audioMaster == nullptr)
        return false;
    return callHost(vst::audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(vst::VstInt32 output)
{
    if (audioMaster == nullptr)
        return false;
    return callHost(vst::audioMasterPinConnected, output, 1) == 0;
}

vst::VstIntPtr AudioEffect::dispatcher(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                       float opt)
{
    auto* text = static_cast<char*>(ptr);
    switch (opcode)
    {
    case vst::effOpen:
        open();
        return 0;
    case vst::effClose:
        close();
        return 0;
    case vst::effSetProgram:
        // Negative numbers go on to setProgram, which rejects them; -1 stands
        // for any of them so that a 64-bit value cannot wrap into range.
        if (value < numPrograms)
            setProgram(value < 0 ? -1 : static_cast<vst::VstInt32>(value));
        return 0;
    case vst::effGetProgram:
        return getProgram();
    case vst::effSetProgramName:
        if (text != nullptr)
            setProgramName(text);
        return 0;
    case vst::effGetProgramName:
        if (text != nullptr)
            getProgramName(text);
        return 0;
    case vst::effGetParamLabel:
        if (text != nullptr)
            getParameterLabel(index, text);
        return 0;
    case vst::effGetParamDisplay:
        if (text != nullptr)
            getParameterDisplay(index, text);
        return 0;
    case vst::effGetParamName:
        if (text != nullptr)
            getParameterName(index, text);
        return 0;
    case vst::effGetVu:
        // Round to nearest, ties to even (the default floating-point mode).
        return static_cast<vst::VstIntPtr>(std::lrint(static_cast<double>(getVu()) * 32767.0));
    case vst::effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case vst::effSetBlockSize:
        setBlockSize(static_cast<vst::VstInt32>(value));
        return 0;
    case vst::effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case vst::effEditGetRect:
        if (editor != nullptr && ptr != nullptr)
            return editor->getRect(static_cast<vst::ERect**>(ptr));
        return 0;
    case vst::effEditOpen:
        if (editor != nullptr)
            return editor->open(ptr);
        return 0;
    case vst::effEditClose:
        if (editor != nullptr)
            editor->close();
        return 0;
    case vst::effEditIdle:
        if (editor != nullptr)
            editor->idle();
        return 0;
    case vst::effIdentify:
        return vst::fourCharCode('N', 'v', 'E', 'f');
    case vst::effGetChunk:
        if (ptr == nullptr)
            return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case vst::effSetChunk:
        if (ptr == nullptr)
            return 0;
        return setChunk(ptr, static_cast<vst::VstInt32>(value), index != 0);
    default:
        // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep and
        // every unknown opcode.
        return 0;
    }
}

} // namespace tam
