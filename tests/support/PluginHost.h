// A minimal VST 2 host for tests: loads the built plug-in module through its
// exported entry exactly as a host does, answers the callback and records
// what the plug-in asked of it.
#pragma once

#include "frame/VstAbi.h"
#include "host/PluginLibrary.h"

#include <atomic>
#include <string>
#include <vector>

namespace tam::test {

struct HostCall
{
    vst::VstInt32 opcode;
    vst::VstInt32 index;
    vst::VstIntPtr value;
    float opt;
};

/// The module loader of the command-line host.
using PluginModule = host::PluginLibrary;

/// The entry a host calls: the Windows module exports only "main".
#if defined(_WIN32)
inline constexpr const char* defaultEntryName = "main";
#else
inline constexpr const char* defaultEntryName = "VSTPluginMain";
#endif

/// One loaded instance. The callback answers audioMasterVersion with
/// `versionAnswer` and records every request.
class PluginHost
{
public:
    explicit PluginHost(const PluginModule& module, vst::VstIntPtr versionAnswer = 2400,
                        const char* entryName = defaultEntryName);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    vst::AEffect* effect() const { return fx; }
    vst::VstIntPtr dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                            void* ptr = nullptr, float opt = 0.0f);
    std::string dispatchText(vst::VstInt32 opcode, vst::VstInt32 index = 0);
    void setParameter(vst::VstInt32 index, float value) { fx->setParameter(fx, index, value); }
    float getParameter(vst::VstInt32 index) { return fx->getParameter(fx, index); }
    /// Sends effClose; the instance is gone afterwards.
    vst::VstIntPtr close();

    /// Runs processReplacing (or process) over whole buffers in host blocks.
    void run(std::vector<float>& left, std::vector<float>& right, int blockSize, bool replacing = true);

    std::vector<HostCall> calls() const;
    void clearCalls();

    static vst::VstIntPtr TAM_VST_CALL callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                vst::VstIntPtr value, void* ptr, float opt);

private:
    vst::AEffect* fx = nullptr;
};

/// Path of the built plug-in module.
std::string pluginPath();

/// The built module, loaded once per test program.
const PluginModule& builtModule();

/// A host callback that answers the version request and nothing else.
vst::VstIntPtr TAM_VST_CALL versionOnlyHost(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                            vst::VstIntPtr value, void* ptr, float opt);

} // namespace tam::test
