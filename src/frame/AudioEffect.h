// Base class of the plug-in object: owns the effect record the host calls
// through and turns the host's basic requests (opcodes 0 to 24) into virtual
// operations. The five plain entry functions stored in the record forward to
// the object found in the record's `object` field.
//
// Threading: the dispatcher runs on the host's main/UI thread, the process
// entries on its audio thread; setParameter may arrive on either.
#pragma once

#include "frame/VstAbi.h"

namespace tam {

class AEffEditor;

class AudioEffect
{
public:
    AudioEffect(vst::audioMasterCallback hostCallback, vst::VstInt32 programCount, vst::VstInt32 parameterCount);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // Virtual operations, in the order the host interface fixes them.
    virtual void setSampleRate(float rate) { sampleRate = rate; }
    virtual void setBlockSize(vst::VstInt32 size) { blockSize = size; }
    virtual void setParameter(vst::VstInt32 index, float value)
    {
        (void)index;
        (void)value;
    }
    virtual float getParameter(vst::VstInt32 index)
    {
        (void)index;
        return 0.0f;
    }
    virtual void setParameterAutomated(vst::VstInt32 index, float value);
    virtual void process(float** inputs, float** outputs, vst::VstInt32 sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, vst::VstInt32 sampleFrames)
    {
        (void)inputs;
        (void)outputs;
        (void)sampleFrames;
    }
    virtual vst::VstIntPtr dispatcher(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                      float opt);
    virtual void open() {}
    virtual void close() {}
    virtual vst::VstInt32 getProgram() { return curProgram; }
    virtual void setProgram(vst::VstInt32 program) { curProgram = program; }
    virtual void setProgramName(char* name) { (void)name; }
    virtual void getProgramName(char* name) { (void)name; }
    virtual void getParameterLabel(vst::VstInt32 index, char* label)
    {
        (void)index;
        (void)label;
    }
    virtual void getParameterDisplay(vst::VstInt32 index, char* text)
    {
        (void)index;
        (void)text;
    }
    virtual void getParameterName(vst::VstInt32 index, char* text)
    {
        (void)index;
        (void)text;
    }
    virtual float getVu() { return 0.0f; }
    virtual vst::VstInt32 getChunk(void** data, bool isPreset)
    {
        (void)data;
        (void)isPreset;
        return 0;
    }
    virtual vst::VstInt32 setChunk(void* data, vst::VstInt32 byteSize, bool isPreset)
    {
        (void)data;
        (void)byteSize;
        (void)isPreset;
        return 0;
    }
    virtual void suspend() {}
    virtual void resume() {}
    virtual void setUniqueID(vst::VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(vst::VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(vst::VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void hasVu(bool state) { setFlag(vst::effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(vst::effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(vst::effFlagsCanMono, state); }
    virtual void canProcessReplacing(bool state) { setFlag(vst::effFlagsCanReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(vst::effFlagsProgramChunks, state); }
    virtual void setRealtimeQualities(vst::VstInt32 qualities) { cEffect.realQualities = qualities; }
    virtual void setOfflineQualities(vst::VstInt32 qualities) { cEffect.offQualities = qualities; }
    virtual void setInitialDelay(vst::VstInt32 samples) { cEffect.initialDelay = samples; }
    virtual vst::VstInt32 getMasterVersion();
    virtual vst::VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(vst::VstInt32 input);
    virtual bool isOutputConnected(vst::VstInt32 output);

    /// Stores the editor (owned from now on) and announces it through the flags.
    void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() const { return editor; }
    vst::AEffect* getAeffect() { return &cEffect; }
    float getSampleRate() const { return sampleRate; }
    vst::VstInt32 getBlockSize() const { return blockSize; }

protected:
    /// Calls the host callback, if any, with this object's effect record.
    vst::VstIntPtr callHost(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                            void* ptr = nullptr, float opt = 0.0f);
    void setFlag(vst::VstInt32 flag, bool state);

    vst::AEffect cEffect{};
    float sampleRate = 44100.0f;
    AEffEditor* editor = nullptr; ///< owned
    vst::VstInt32 numPrograms;
    vst::VstInt32 numParams;
    vst::VstInt32 curProgram = 0;
    vst::VstInt32 blockSize = 1024;
    vst::audioMasterCallback audioMaster; ///< may be null; every use tests it
};

} // namespace tam
