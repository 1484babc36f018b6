#include "engine/PartitionSet.h"

namespace tam {

PartitionSet* PartitionHandover::beginWrite()
{
    // After this exchange the engine can take nothing until the next offer.
    PartitionSet* retracted = offered.exchange(nullptr, std::memory_order_acq_rel);
    if (retracted != nullptr)
    {
        // Never seen by the engine; it still holds engineHolds (or nothing).
        pendingOffer = nullptr;
        return retracted;
    }
    if (pendingOffer != nullptr)
    {
        // The offer is gone without our retracting it: the engine took it and
        // has let go of whatever it held before.
        engineHolds = pendingOffer;
        pendingOffer = nullptr;
    }
    return engineHolds == &sets[0] ? &sets[1] : &sets[0];
}

void PartitionHandover::offer(PartitionSet* set, bool takeAtOnce)
{
    pendingOffer = set;
    offeredAtOnce.store(takeAtOnce, std::memory_order_release);
    offered.store(set, std::memory_order_release);
}

} // namespace tam
