// The plug-in's single program: a write-through copy of every parameter
// value plus a name. Every parameter set stores its value here too, and
// applying the program sets every parameter from it.
//
// Threading: values are atomics (parameters may be set from the audio
// thread); the name belongs to the host's main thread.
#pragma once

#include "core/Parameters.h"

#include <array>
#include <atomic>
#include <string>

namespace tam {

class APluginProgram
{
public:
    static constexpr int nameCapacity = 52; ///< bytes, terminator included

    /// Fresh defaults; with a configured default file, its encoded name and
    /// checksum in the file-name slots.
    explicit APluginProgram(const std::string& defaultFile);

    float value(int index) const { return values[static_cast<std::size_t>(index)].load(std::memory_order_relaxed); }
    void setValue(int index, float v) { values[static_cast<std::size_t>(index)].store(v, std::memory_order_relaxed); }

    const char* getName() const { return name; }
    void setName(const char* text);

private:
    std::array<std::atomic<float>, parameterCount> values;
    char name[nameCapacity] = {};
};

} // namespace tam
