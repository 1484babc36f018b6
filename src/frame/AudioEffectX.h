// Extension layer of the host interface: the requests with opcodes 25 to 68
// and wrappers for the extended host callback requests. Adds no fields.
#pragma once

#include "frame/AudioEffect.h"

namespace tam {

class AudioEffectX : public AudioEffect
{
public:
    using AudioEffect::AudioEffect;

    vst::VstIntPtr dispatcher(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                              float opt) override;

    // Virtual operations added here, in the order the host interface fixes them.
    virtual vst::VstTimeInfo* getTimeInfo(vst::VstInt32 filter);
    virtual vst::VstInt32 tempoAt(vst::VstInt32 pos);
    virtual vst::VstInt32 processEvents(vst::VstEvents* events);
    virtual vst::VstInt32 getNumAutomatableParameters();
    virtual vst::VstInt32 getParameterQuantization();
    virtual bool canParameterBeAutomated(vst::VstInt32 index);
    virtual bool string2parameter(vst::VstInt32 index, char* text);
    virtual float getChannelParameter(vst::VstInt32 channel, vst::VstInt32 index);
    virtual vst::VstInt32 getNumCategories();
    virtual bool getProgramNameIndexed(vst::VstInt32 category, vst::VstInt32 index, char* text);
    virtual bool copyProgram(vst::VstInt32 destination);
    virtual bool ioChanged();
    virtual bool needIdle();
    virtual bool sizeWindow(vst::VstInt32 width, vst::VstInt32 height);
    virtual float updateSampleRate();
    virtual vst::VstInt32 updateBlockSize();
    virtual vst::VstInt32 getInputLatency();
    virtual vst::VstInt32 getOutputLatency();
    virtual vst::AEffect* getPreviousPlug(vst::VstInt32 input);
    virtual vst::AEffect* getNextPlug(vst::VstInt32 output);
    virtual void inputConnected(vst::VstInt32 index, bool state);
    virtual void outputConnected(vst::VstInt32 index, bool state);
    virtual bool getInputProperties(vst::VstInt32 index, vst::VstPinProperties* properties);
    virtual bool getOutputProperties(vst::VstInt32 index, vst::VstPinProperties* properties);
    virtual vst::VstInt32 getPlugCategory();
    virtual vst::VstInt32 willProcessReplacing();
    virtual vst::VstInt32 getCurrentProcessLevel();
    virtual vst::VstInt32 getAutomationState();
    virtual void wantAsyncOperation(bool state);
    virtual void hasExternalBuffer(bool state);
    virtual vst::VstInt32 reportCurrentPosition();
    virtual float* reportDestinationBuffer();
    virtual bool offlineRead(vst::VstOfflineTask* offline, vst::VstInt32 option, bool readSource);
    virtual bool offlineWrite(vst::VstOfflineTask* offline, vst::VstInt32 option);
    virtual bool offlineStart(vst::VstAudioFile* audioFiles, vst::VstInt32 numAudioFiles,
                              vst::VstInt32 numNewAudioFiles);
    virtual vst::VstInt32 offlineGetCurrentPass();
    virtual vst::VstInt32 offlineGetCurrentMetaPass();
    virtual bool offlineNotify(vst::VstAudioFile* files, vst::VstInt32 numFiles, bool start);
    virtual bool offlinePrepare(vst::VstOfflineTask* offline, vst::VstInt32 count);
    virtual bool offlineRun(vst::VstOfflineTask* offline, vst::VstInt32 count);
    virtual vst::VstInt32 offlineGetNumPasses();
    virtual vst::VstInt32 offlineGetNumMetaPasses();
    virtual void setOutputSamplerate(float rate);
    virtual bool getSpeakerArrangement(vst::VstSpeakerArrangement** input, vst::VstSpeakerArrangement** output);
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual vst::VstInt32 getHostVendorVersion();
    virtual vst::VstIntPtr hostVendorSpecific(vst::VstInt32 arg1, vst::VstIntPtr arg2, void* ptr, float opt);
    virtual vst::VstInt32 canHostDo(char* text);
    virtual void isSynth(bool state);
    virtual void noTail(bool state);
    virtual vst::VstInt32 getHostLanguage();
    virtual void* openWindow(void* window);
    virtual bool closeWindow(void* window);
    virtual void* getDirectory();
    virtual bool updateDisplay();
    virtual bool processVariableIo(vst::VstVariableIo* varIo);
    virtual bool setSpeakerArrangement(vst::VstSpeakerArrangement* input, vst::VstSpeakerArrangement* output);
    virtual void setBlockSizeAndSampleRate(vst::VstInt32 size, float rate);
    virtual bool setBypass(bool onOff);
    virtual bool getEffectName(char* name);
    virtual bool getErrorText(char* text);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual vst::VstInt32 getVendorVersion();
    virtual vst::VstIntPtr vendorSpecific(vst::VstInt32 arg1, vst::VstIntPtr arg2, void* ptr, float opt);
    virtual vst::VstInt32 canDo(char* text);
    virtual void* getIcon();
    virtual bool setViewPosition(vst::VstInt32 x, vst::VstInt32 y);
    virtual vst::VstInt32 getGetTailSize();
    virtual vst::VstInt32 fxIdle();
    virtual bool getParameterProperties(vst::VstInt32 index, vst::VstParameterProperties* properties);
    virtual bool keysRequired();
    virtual vst::VstInt32 getVstVersion();
    virtual vst::VstInt32 getMidiProgramName(vst::VstInt32 channel, vst::MidiProgramName* name);
    virtual vst::VstInt32 getCurrentMidiProgram(vst::VstInt32 channel, vst::MidiProgramName* current);
    virtual vst::VstInt32 getMidiProgramCategory(vst::VstInt32 channel, vst::MidiProgramCategory* category);
    virtual bool hasMidiProgramsChanged(vst::VstInt32 channel);
    virtual bool getMidiKeyName(vst::VstInt32 channel, vst::MidiKeyName* keyName);
    virtual bool beginSetProgram();
    virtual bool endSetProgram();
    virtual bool beginEdit(vst::VstInt32 index);
    virtual bool endEdit(vst::VstInt32 index);
    virtual bool openFileSelector(vst::VstFileSelect* selector);

    /// Asks the host for MIDI events (audioMasterWantMidi with the filter).
    void wantEvents(vst::VstInt32 filter = 1);
};

} // namespace tam
