#include "host/PluginLibrary.h"

#include <dlfcn.h>

namespace tam::host {

PluginLibrary::PluginLibrary(const std::string& path) : modulePath(path)
{
    // RTLD_LOCAL: the plug-in's symbols must not satisfy or clash with ours.
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
    {
        const char* reason = dlerror();
        throw HostError("cannot load the plug-in " + path + ": " + (reason != nullptr ? reason : "unknown reason"));
    }
}

PluginLibrary::~PluginLibrary()
{
    dlclose(handle);
}

void* PluginLibrary::symbol(const char* name) const
{
    return dlsym(handle, name);
}

} // namespace tam::host
