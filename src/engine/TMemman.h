// Aligned memory for large buffers, with a named record of every block.
// Blocks are never freed one by one: all of them live until the manager is
// destroyed. Used off the audio thread only (construction, recomputation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tam {

struct TMemEntry
{
    std::string name;      ///< label given to alloc, at most 60 characters
    void* raw = nullptr;   ///< block obtained from the heap
    void* aligned = nullptr; ///< address handed out: raw rounded down to 16, plus 16
    std::int32_t size = 0; ///< bytes obtained from the heap: requested + 16
};

class TMemman
{
public:
    static constexpr std::size_t alignmentBytes = 16;
    static constexpr std::size_t maxNameLength = 60;

    TMemman() = default;
    ~TMemman();
    TMemman(const TMemman&) = delete;
    TMemman& operator=(const TMemman&) = delete;

    /// Returns a 16-byte-aligned block of `bytes` bytes (not cleared).
    /// Throws std::bad_alloc when the heap refuses; nothing is recorded then.
    void* alloc(std::size_t bytes, const std::string& name);

    const std::vector<TMemEntry>& entries() const { return list; }

private:
    std::vector<TMemEntry> list; ///< in order of allocation
};

} // namespace tam
