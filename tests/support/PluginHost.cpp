#include "support/PluginHost.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>


namespace tam::test {

namespace {

std::mutex registryMutex;
std::map<vst::AEffect*, std::vector<HostCall>>& callLog()
{
    static std::map<vst::AEffect*, std::vector<HostCall>> log;
    return log;
}
std::atomic<vst::VstIntPtr> pendingVersionAnswer{2400};

} // namespace

std::string pluginPath()
{
    if (const char* overridePath = std::getenv("TAM_PLUGIN"))
        return overridePath;
#ifdef TAM_PLUGIN_PATH
    return TAM_PLUGIN_PATH;
#else
    return "tam.so";
#endif
}

const PluginModule& builtModule()
{
    static PluginModule loaded(pluginPath());
    return loaded;
}

vst::VstIntPtr TAM_VST_CALL versionOnlyHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*,
                                            float)
{
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

PluginHost::PluginHost(const PluginModule& module, vst::VstIntPtr versionAnswer, const char* entryName)
{
    auto main = module.entry(entryName);
    if (main == nullptr)
        throw std::runtime_error(std::string("no entry ") + entryName);
    pendingVersionAnswer = versionAnswer;
    fx = main(&PluginHost::callback);
    if (fx != nullptr)
    {
        std::lock_guard lock(registryMutex);
        callLog()[fx];
    }
}

PluginHost::~PluginHost()
{
    if (fx != nullptr)
        close();
}

vst::VstIntPtr PluginHost::dispatch(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                    float opt)
{
    return fx->dispatcher(fx, opcode, index, value, ptr, opt);
}

std::string PluginHost::dispatchText(vst::VstInt32 opcode, vst::VstInt32 index)
{
    char text[256];
    std::memset(text, 0x7F, sizeof text);
    text[sizeof text - 1] = 0;
    dispatch(opcode, index, 0, text);
    return std::string(text);
}

vst::VstIntPtr PluginHost::close()
{
    vst::AEffect* closing = fx;
    fx = nullptr;
    const auto result = closing->dispatcher(closing, vst::effClose, 0, 0, nullptr, 0.0f);
    std::lock_guard lock(registryMutex);
    callLog().erase(closing);
    return result;
}

void PluginHost::run(std::vector<float>& left, std::vector<float>& right, int blockSize, bool replacing)
{
    const auto total = static_cast<int>(std::min(left.size(), right.size()));
    for (int start = 0; start < total; start += blockSize)
    {
        const int frames = std::min(blockSize, total - start);
        float* io[2] = {left.data() + start, right.data() + start};
        if (replacing)
            fx->processReplacing(fx, io, io, frames);
        else
            fx->process(fx, io, io, frames);
    }
}

std::vector<HostCall> PluginHost::calls() const
{
    std::lock_guard lock(registryMutex);
    return callLog()[fx];
}

void PluginHost::clearCalls()
{
    std::lock_guard lock(registryMutex);
    callLog()[fx].clear();
}

vst::VstIntPtr TAM_VST_CALL PluginHost::callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                 vst::VstIntPtr value, void*, float opt)
{
    if (opcode == vst::audioMasterVersion)
        return effect == nullptr ? pendingVersionAnswer.load() : 2400;
    std::lock_guard lock(registryMutex);
    callLog()[effect].push_back(HostCall{opcode, index, value, opt});
    return 0;
}

} // namespace tam::test
