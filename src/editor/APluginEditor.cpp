#include "editor/APluginEditor.h"

#include "core/APlugin.h"

namespace tam {

APluginEditor::APluginEditor(APlugin* owner) : AEffEditor(owner), plugin(owner) {}

vst::VstInt32 APluginEditor::getRect(vst::ERect** out)
{
    rect.top = 0;
    rect.left = 0;
    rect.bottom = windowHeight;
    rect.right = windowWidth;
    *out = &rect;
    return 1;
}

vst::VstInt32 APluginEditor::open(void* ptr)
{
    (void)ptr;
    return 0;
}

void APluginEditor::close()
{
    if (openCount > 0)
        --openCount;
}

} // namespace tam
