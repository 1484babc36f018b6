#include "frame/AudioEffectX.h"

#include "frame/AEffEditor.h"

#include <cmath>

namespace tam {

using namespace vst;

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    auto* text = static_cast<char*>(ptr);
    switch (opcode)
    {
    case effProcessEvents:
        return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated:
        return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
        return text != nullptr && string2parameter(index, text) ? 1 : 0;
    case effGetNumProgramCategories:
        return getNumCategories();
    case effGetProgramNameIndexed:
        return text != nullptr && getProgramNameIndexed(static_cast<VstInt32>(value), index, text) ? 1 : 0;
    case effCopyProgram:
        return copyProgram(index) ? 1 : 0;
    case effConnectInput:
        inputConnected(index, value != 0);
        return 1;
    case effConnectOutput:
        outputConnected(index, value != 0);
        return 1;
    case effGetInputProperties:
        return ptr != nullptr && getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
        return ptr != nullptr && getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
        return getPlugCategory();
    case effGetCurrentPosition:
        return reportCurrentPosition();
    case effGetDestinationBuffer:
        return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
    case effOfflineNotify:
        return offlineNotify(static_cast<VstAudioFile*>(ptr), static_cast<VstInt32>(value), index != 0) ? 1 : 0;
    case effOfflinePrepare:
        return offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
    case effOfflineRun:
        return offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
    case effProcessVarIo:
        return processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
    case effSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                     static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case effSetBlockSizeAndSampleRate:
        setBlockSizeAndSampleRate(static_cast<VstInt32>(value), opt);
        return 1;
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
        return text != nullptr && getEffectName(text) ? 1 : 0;
    case effGetErrorText:
        return text != nullptr && getErrorText(text) ? 1 : 0;
    case effGetVendorString:
        return text != nullptr && getVendorString(text) ? 1 : 0;
    case effGetProductString:
        return text != nullptr && getProductString(text) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        return text != nullptr ? canDo(text) : 0;
    case effGetTailSize:
        return getGetTailSize();
    case effIdle:
        return fxIdle();
    case effGetIcon:
        return reinterpret_cast<VstIntPtr>(getIcon());
    case effSetViewPosition:
        return setViewPosition(index, static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetParameterProperties:
        return ptr != nullptr && getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
    case effKeysRequired:
        return keysRequired() ? 0 : 1;
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp:
        if (editor != nullptr)
        {
            // Built here for the duration of the call only.
            VstKeyCode key{};
            key.character = index;
            key.virt = static_cast<unsigned char>(value & 0xFF);
            key.modifier = static_cast<unsigned char>(static_cast<long>(std::lround(opt)) & 0xFF);
            return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        }
        return 0;
    case effSetEditKnobMode:
        return editor != nullptr ? editor->setKnobMode(static_cast<VstInt32>(value)) : 0;
    case effGetMidiProgramName:
        return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram:
        return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory:
        return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged:
        return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName:
        return getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    default:
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

// Host-call wrappers: neutral answers without a callback (callHost tests it).

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter)
{
    return reinterpret_cast<VstTimeInfo*>(callHost(audioMasterGetTime, 0, filter));
}

VstInt32 AudioEffectX::tempoAt(VstInt32 pos)
{
    return static_cast<VstInt32>(callHost(audioMasterTempoAt, 0, pos));
}

VstInt32 AudioEffectX::getNumAutomatableParameters()
{
    return static_cast<VstInt32>(callHost(audioMasterGetNumAutomatableParameters));
}

VstInt32 AudioEffectX::getParameterQuantization()
{
    return static_cast<VstInt32>(callHost(audioMasterGetParameterQuantization));
}

bool AudioEffectX::ioChanged()
{
    return callHost(audioMasterIOChanged) != 0;
}

bool AudioEffectX::needIdle()
{
    return callHost(audioMasterNeedIdle) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height)
{
    return callHost(audioMasterSizeWindow, width, height) != 0;
}

float AudioEffectX::updateSampleRate()
{
    callHost(audioMasterGetSampleRate); // the answer is not stored
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize()
{
    callHost(audioMasterGetBlockSize); // the answer is not stored
    return blockSize;
}

VstInt32 AudioEffectX::getInputLatency()
{
    return static_cast<VstInt32>(callHost(audioMasterGetInputLatency));
}

VstInt32 AudioEffectX::getOutputLatency()
{
    return static_cast<VstInt32>(callHost(audioMasterGetOutputLatency));
}

AEffect* AudioEffectX::getPreviousPlug(VstInt32 input)
{
    (void)input;
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug));
}

AEffect* AudioEffectX::getNextPlug(VstInt32 output)
{
    (void)output;
    return reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug));
}

VstInt32 AudioEffectX::willProcessReplacing()
{
    return static_cast<VstInt32>(callHost(audioMasterWillReplaceOrAccumulate));
}

VstInt32 AudioEffectX::getCurrentProcessLevel()
{
    return static_cast<VstInt32>(callHost(audioMasterGetCurrentProcessLevel));
}

VstInt32 AudioEffectX::getAutomationState()
{
    return static_cast<VstInt32>(callHost(audioMasterGetAutomationState));
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource)
{
    return callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, VstInt32 option)
{
    return callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles, VstInt32 numNewAudioFiles)
{
    return callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}

VstInt32 AudioEffectX::offlineGetCurrentPass()
{
    return callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}

VstInt32 AudioEffectX::offlineGetCurrentMetaPass()
{
    return callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}

void AudioEffectX::setOutputSamplerate(float rate)
{
    callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** input, VstSpeakerArrangement** output)
{
    return callHost(audioMasterGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(input), output) != 0;
}

bool AudioEffectX::getHostVendorString(char* text)
{
    return callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text)
{
    return callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion()
{
    return static_cast<VstInt32>(callHost(audioMasterGetVendorVersion));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt)
{
    return callHost(audioMasterVendorSpecific, arg1, arg2, ptr, opt);
}

VstInt32 AudioEffectX::canHostDo(char* text)
{
    return callHost(audioMasterCanDo, 0, 0, text) != 0 ? 1 : 0;
}

VstInt32 AudioEffectX::getHostLanguage()
{
    return static_cast<VstInt32>(callHost(audioMasterGetLanguage));
}

void* AudioEffectX::openWindow(void* window)
{
    return reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window));
}

bool AudioEffectX::closeWindow(void* window)
{
    return callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

void* AudioEffectX::getDirectory()
{
    return reinterpret_cast<void*>(callHost(audioMasterGetDirectory));
}

bool AudioEffectX::updateDisplay()
{
    return callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::beginEdit(VstInt32 index)
{
    return callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index)
{
    return callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* selector)
{
    if (selector == nullptr)
        return false;
    return callHost(audioMasterOpenFileSelector, 0, 0, selector) != 0;
}

void AudioEffectX::wantEvents(VstInt32 filter)
{
    callHost(audioMasterWantMidi, 0, filter);
}

// Flag setters.

void AudioEffectX::wantAsyncOperation(bool state)
{
    setFlag(effFlagsExtIsAsync, state);
}

void AudioEffectX::hasExternalBuffer(bool state)
{
    setFlag(effFlagsExtHasBuffer, state);
}

void AudioEffectX::isSynth(bool state)
{
    setFlag(effFlagsIsSynth, state);
}

void AudioEffectX::noTail(bool state)
{
    setFlag(effFlagsNoSoundInStop, state);
}

VstInt32 AudioEffectX::getPlugCategory()
{
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

void AudioEffectX::setBlockSizeAndSampleRate(VstInt32 size, float rate)
{
    blockSize = size;
    sampleRate = rate;
}

// Fixed default answers.

VstInt32 AudioEffectX::processEvents(VstEvents* events)
{
    (void)events;
    return 0;
}

bool AudioEffectX::canParameterBeAutomated(VstInt32 index)
{
    (void)index;
    return true;
}

bool AudioEffectX::string2parameter(VstInt32 index, char* text)
{
    (void)index;
    (void)text;
    return false;
}

float AudioEffectX::getChannelParameter(VstInt32 channel, VstInt32 index)
{
    (void)channel;
    (void)index;
    return 0.0f;
}

VstInt32 AudioEffectX::getNumCategories()
{
    return 1;
}

bool AudioEffectX::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text)
{
    (void)category;
    (void)index;
    (void)text;
    return false;
}

bool AudioEffectX::copyProgram(VstInt32 destination)
{
    (void)destination;
    return false;
}

void AudioEffectX::inputConnected(VstInt32 index, bool state)
{
    (void)index;
    (void)state;
}

void AudioEffectX::outputConnected(VstInt32 index, bool state)
{
    (void)index;
    (void)state;
}

bool AudioEffectX::getInputProperties(VstInt32 index, VstPinProperties* properties)
{
    (void)index;
    (void)properties;
    return false;
}

bool AudioEffectX::getOutputProperties(VstInt32 index, VstPinProperties* properties)
{
    (void)index;
    (void)properties;
    return false;
}

VstInt32 AudioEffectX::reportCurrentPosition()
{
    return 0;
}

float* AudioEffectX::reportDestinationBuffer()
{
    return nullptr;
}

bool AudioEffectX::offlineNotify(VstAudioFile* files, VstInt32 numFiles, bool start)
{
    (void)files;
    (void)numFiles;
    (void)start;
    return false;
}

bool AudioEffectX::offlinePrepare(VstOfflineTask* offline, VstInt32 count)
{
    (void)offline;
    (void)count;
    return false;
}

bool AudioEffectX::offlineRun(VstOfflineTask* offline, VstInt32 count)
{
    (void)offline;
    (void)count;
    return false;
}

VstInt32 AudioEffectX::offlineGetNumPasses()
{
    return 0;
}

VstInt32 AudioEffectX::offlineGetNumMetaPasses()
{
    return 0;
}

bool AudioEffectX::processVariableIo(VstVariableIo* varIo)
{
    (void)varIo;
    return false;
}

bool AudioEffectX::setSpeakerArrangement(VstSpeakerArrangement* input, VstSpeakerArrangement* output)
{
    (void)input;
    (void)output;
    return false;
}

bool AudioEffectX::setBypass(bool onOff)
{
    (void)onOff;
    return false;
}

bool AudioEffectX::getEffectName(char* name)
{
    (void)name;
    return false;
}

bool AudioEffectX::getErrorText(char* text)
{
    (void)text;
    return false;
}

bool AudioEffectX::getVendorString(char* text)
{
    (void)text;
    return false;
}

bool AudioEffectX::getProductString(char* text)
{
    (void)text;
    return false;
}

VstInt32 AudioEffectX::getVendorVersion()
{
    return 0;
}

VstIntPtr AudioEffectX::vendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptr, float opt)
{
    (void)arg1;
    (void)arg2;
    (void)ptr;
    (void)opt;
    return 0;
}

VstInt32 AudioEffectX::canDo(char* text)
{
    (void)text;
    return 0;
}

void* AudioEffectX::getIcon()
{
    return nullptr;
}

bool AudioEffectX::setViewPosition(VstInt32 x, VstInt32 y)
{
    (void)x;
    (void)y;
    return false;
}

VstInt32 AudioEffectX::getGetTailSize()
{
    return 0;
}

VstInt32 AudioEffectX::fxIdle()
{
    return 0;
}

bool AudioEffectX::getParameterProperties(VstInt32 index, VstParameterProperties* properties)
{
    (void)index;
    (void)properties;
    return false;
}

bool AudioEffectX::keysRequired()
{
    return false;
}

VstInt32 AudioEffectX::getVstVersion()
{
    return 2200;
}

VstInt32 AudioEffectX::getMidiProgramName(VstInt32 channel, MidiProgramName* name)
{
    (void)channel;
    (void)name;
    return 0;
}

VstInt32 AudioEffectX::getCurrentMidiProgram(VstInt32 channel, MidiProgramName* current)
{
    (void)channel;
    (void)current;
    return -1;
}

VstInt32 AudioEffectX::getMidiProgramCategory(VstInt32 channel, MidiProgramCategory* category)
{
    (void)channel;
    (void)category;
    return 0;
}

bool AudioEffectX::hasMidiProgramsChanged(VstInt32 channel)
{
    (void)channel;
    return false;
}

bool AudioEffectX::getMidiKeyName(VstInt32 channel, MidiKeyName* keyName)
{
    (void)channel;
    (void)keyName;
    return false;
}

bool AudioEffectX::beginSetProgram()
{
    return false;
}

bool AudioEffectX::endSetProgram()
{
    return false;
}

} // namespace tam
