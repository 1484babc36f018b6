#include "engine/PartitionSet.h"

namespace tam {

PartitionSet* PartitionHandover::beginWrite()
{
    unsigned s = state.load(std::memory_order_acquire);
    // Retract an offer the engine has not taken: it was never read.
    while (offeredIndex(s) >= 0)
    {
        const unsigned retracted = s & ~(offerMask | atOnceBit);
        if (state.compare_exchange_weak(s, retracted, std::memory_order_acq_rel, std::memory_order_acquire))
            return &sets[offeredIndex(s)];
    }
    // Nothing is offered now, so the holdings can only shrink from here on.
    for (int i = 0; i < setCount; ++i)
    {
        if ((s & (1u << (heldShift + static_cast<unsigned>(i)))) == 0)
            return &sets[i];
    }
    return nullptr; // unreachable: the engine never holds all three
}

void PartitionHandover::offer(PartitionSet* set, bool takeAtOnce)
{
    offeredGain.store(set->autoGain, std::memory_order_release);
    unsigned s = state.load(std::memory_order_acquire);
    unsigned next;
    do
    {
        next = (s & ~(offerMask | atOnceBit)) | static_cast<unsigned>(indexOf(set) + 1) | (takeAtOnce ? atOnceBit : 0u) |
               readyBit;
    } while (!state.compare_exchange_weak(s, next, std::memory_order_acq_rel, std::memory_order_acquire));
}

PartitionSet* PartitionHandover::take()
{
    unsigned s = state.load(std::memory_order_acquire);
    for (;;)
    {
        const int index = offeredIndex(s);
        if (index < 0)
            return nullptr;
        const unsigned next =
            (s & ~(offerMask | atOnceBit)) | (1u << (heldShift + static_cast<unsigned>(index)));
        if (state.compare_exchange_weak(s, next, std::memory_order_acq_rel, std::memory_order_acquire))
            return &sets[index];
    }
}

void PartitionHandover::release(const PartitionSet* set)
{
    if (set != nullptr)
        state.fetch_and(~(1u << (heldShift + static_cast<unsigned>(indexOf(set)))), std::memory_order_acq_rel);
}

} // namespace tam
