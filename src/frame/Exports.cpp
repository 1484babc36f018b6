// The symbols a host looks up in the module. Everything else stays hidden.
#include "frame/PluginEntry.h"

#if defined(_WIN32)
#define TAM_EXPORT
#else
#define TAM_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

TAM_EXPORT tam::vst::AEffect* TAM_VST_CALL VSTPluginMain(tam::vst::audioMasterCallback audioMaster)
{
    return tam::pluginMain(audioMaster);
}

// Older hosts look the entry up as "main". C++ reserves that name for the
// program entry, so the function gets another name and the symbol is set by
// the assembler label (ELF) or by the module definition file (Windows).
#if defined(_WIN32)
tam::vst::AEffect* TAM_VST_CALL tamLegacyMain(tam::vst::audioMasterCallback audioMaster)
#else
TAM_EXPORT tam::vst::AEffect* tamLegacyMain(tam::vst::audioMasterCallback audioMaster) __asm__("main");
TAM_EXPORT tam::vst::AEffect* tamLegacyMain(tam::vst::audioMasterCallback audioMaster)
#endif
{
    return tam::pluginMain(audioMaster);
}
}
