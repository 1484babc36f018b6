// Generic editor contract of the host interface. The plug-in's own editor
// derives from it; the dispatcher reaches it through effEdit* requests.
// Threading: every operation runs on the host's user-interface thread.
#pragma once

#include "frame/VstAbi.h"

namespace tam {

class AudioEffect;

class AEffEditor
{
public:
    explicit AEffEditor(AudioEffect* owner) : effect(owner) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    /// Stores the address of a rectangle in *rect; 0 means "no rectangle".
    virtual vst::VstInt32 getRect(vst::ERect** rect)
    {
        (void)rect;
        return 0;
    }
    virtual vst::VstInt32 open(void* ptr)
    {
        systemWindow = ptr;
        return 0;
    }
    virtual void close() {}
    virtual void idle()
    {
        if (updateFlag != 0)
        {
            updateFlag = 0;
            update();
        }
    }
    virtual void update() {}
    virtual void postUpdate() { updateFlag = 1; }
    virtual vst::VstInt32 onKeyDown(vst::VstKeyCode& keyCode)
    {
        (void)keyCode;
        return -1;
    }
    virtual vst::VstInt32 onKeyUp(vst::VstKeyCode& keyCode)
    {
        (void)keyCode;
        return -1;
    }
    virtual vst::VstInt32 setKnobMode(vst::VstInt32 mode)
    {
        (void)mode;
        return 0;
    }
    virtual bool onWheel(float distance)
    {
        (void)distance;
        return false;
    }

protected:
    AudioEffect* effect;           ///< the owning plug-in; never changes
    void* systemWindow = nullptr;  ///< host window of the last open (base behaviour only)
    vst::VstInt32 updateFlag = 0;  ///< an update was posted and not yet delivered
};

} // namespace tam
