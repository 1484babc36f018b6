// One complete set of impulse-response partition spectra, and the lock-free
// hand-over of such sets from the thread that computes them to the audio
// thread.
//
// Spectrum layout (the engine's own): every partition is one buffer of
// 32768 floats holding the half spectra (bins 0..8192) of the two response
// channels, channel 1 in floats 0..16383, channel 2 in floats 16384..32767.
// The spectra of real signals are conjugate-symmetric, so bins 8193..16383
// carry nothing new; bins 0 and 8192 are real and share one complex slot:
// float 0 = Re H[0], float 1 = Re H[8192], floats 2k, 2k+1 = H[k] for
// k = 1..8191. Half the bytes of full mid/side spectra, which is what the
// memory-bound multiply-accumulate is paid in.
//
// Hand-over protocol (two sets, never a copy):
// - The writer (serialised by its owner; never the audio thread) asks
//   beginWrite() for the set it may overwrite, fills it and offer()s it.
// - The audio thread takes an offered set with take(): at its next period
//   boundary, or at once when it holds none or the offer says so.
// - beginWrite() first retracts an offer the engine has not taken (an
//   exchange on the same atomic the engine takes with), so a set is written
//   only while the engine can neither hold it nor take it. A set the engine
//   dropped by taking a newer one is free again: the writer reuses it, so
//   memory is allocated once per set and never churns.
#pragma once

#include <atomic>
#include <cstdint>

namespace tam {

struct PartitionSet
{
    static constexpr int maxPartitions = 117;
    static constexpr int partitionFloats = 32768;  ///< floats per partition buffer
    static constexpr int halfSpectrumFloats = 16384; ///< one channel's packed half spectrum

    std::int32_t partitionCount = 0; ///< partitions in use, 1..117 once written
    float autoGain = 0.2f;           ///< gain suggested for this response
    std::int32_t allocated = 0;      ///< leading entries of `partitions` that hold buffers
    float* partitions[maxPartitions] = {};
};

class PartitionHandover
{
public:
    // --- writer side (one writer at a time, never the audio thread) ---

    /// The set that may be overwritten now.
    PartitionSet* beginWrite();
    /// Publishes a completely written set. `takeAtOnce` asks the engine not
    /// to wait for a period boundary (the response it holds is obsolete).
    void offer(PartitionSet* set, bool takeAtOnce);

    /// The two sets, for labelling and inspection.
    const PartitionSet* setAt(int index) const { return &sets[index]; }

    // --- audio thread ---

    /// Whether a set is waiting that should be taken without waiting for a
    /// boundary (also true when the caller holds no set at all).
    bool urgentOffer(bool holdingNone) const
    {
        return offered.load(std::memory_order_acquire) != nullptr &&
               (holdingNone || offeredAtOnce.load(std::memory_order_acquire));
    }
    /// The waiting set, or null; a set returned here belongs to the caller
    /// until it takes the next one.
    PartitionSet* take()
    {
        if (offered.load(std::memory_order_relaxed) == nullptr)
            return nullptr;
        return offered.exchange(nullptr, std::memory_order_acq_rel);
    }

private:
    PartitionSet sets[2];
    std::atomic<PartitionSet*> offered{nullptr};
    std::atomic<bool> offeredAtOnce{false};
    // Writer-side bookkeeping only.
    PartitionSet* engineHolds = nullptr; ///< last set known to be taken by the engine
    PartitionSet* pendingOffer = nullptr; ///< offered and not known to be taken
};

} // namespace tam
