#include "host/PluginLibrary.h"

#include <windows.h>

namespace tam::host {

PluginLibrary::PluginLibrary(const std::string& path) : modulePath(path)
{
    handle = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (handle == nullptr)
        throw HostError("cannot load the plug-in " + path + ": error " + std::to_string(GetLastError()));
}

PluginLibrary::~PluginLibrary()
{
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
}

void* PluginLibrary::symbol(const char* name) const
{
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

} // namespace tam::host
