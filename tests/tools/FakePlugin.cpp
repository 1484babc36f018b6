// Broken plug-in modules for tam-render's error paths: built with
// TAM_FAKE_ENTRY the module's entry returns no effect; without it the module
// has no entry at all.
#include "frame/VstAbi.h"

extern "C" {

#if defined(TAM_FAKE_ENTRY)
__attribute__((visibility("default"))) tam::vst::AEffect* VSTPluginMain(tam::vst::audioMasterCallback)
{
    return nullptr;
}
#else
__attribute__((visibility("default"))) int tamFakeNotAnEntry()
{
    return 0;
}
#endif
}
