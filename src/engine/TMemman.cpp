#include "engine/TMemman.h"

#include <limits>
#include <new>

namespace tam {

TMemman::~TMemman()
{
    for (TMemEntry& entry : list)
        ::operator delete(entry.raw);
}

void* TMemman::alloc(std::size_t bytes, const std::string& name)
{
    if (bytes > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) - alignmentBytes)
        throw std::bad_alloc();
    // Everything that may throw happens before the heap call, so a block is
    // never lost between obtaining and recording it.
    std::string label = name.substr(0, maxNameLength);
    list.reserve(list.size() + 1);
    void* raw = ::operator new(bytes + alignmentBytes, std::nothrow);
    if (raw == nullptr)
        throw std::bad_alloc();
    // Always step forward, even from an aligned address: the block keeps its
    // 16 spare bytes in front, whatever the heap returned.
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    void* aligned = reinterpret_cast<void*>((address & ~std::uintptr_t{alignmentBytes - 1}) + alignmentBytes);
    TMemEntry entry;
    entry.name = std::move(label);
    entry.raw = raw;
    entry.aligned = aligned;
    entry.size = static_cast<std::int32_t>(bytes + alignmentBytes);
    list.push_back(std::move(entry));
    return aligned;
}

} // namespace tam
