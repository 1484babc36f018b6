// A plug-in module loaded into the process the way a host loads it, and the
// lookup of its exported entry functions. Used by the command-line host, the
// host-level tests and the end-to-end benchmark; never by the plug-in itself.
#pragma once

#include "frame/VstAbi.h"

#include <stdexcept>
#include <string>

namespace tam::host {

/// Loading or talking to a plug-in failed; the message says what and why.
class HostError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class PluginLibrary
{
public:
    /// Loads the module. Throws HostError with the system's reason.
    explicit PluginLibrary(const std::string& path);
    /// Unloads the module: every instance made from it must be gone.
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    /// Address of an exported function, or null.
    void* symbol(const char* name) const;
    /// The entry function a host calls ("VSTPluginMain", "main"), or null.
    using EntryProc = vst::AEffect*(TAM_VST_CALL*)(vst::audioMasterCallback);
    EntryProc entry(const char* name) const { return reinterpret_cast<EntryProc>(symbol(name)); }
    const std::string& path() const { return modulePath; }

private:
    std::string modulePath;
    void* handle = nullptr;
};

} // namespace tam::host
