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
// Hand-over protocol (sets change hands by pointer, never by copy). The
// engine owns the hand-over; whoever computes sets gets a PartitionWriter.
// - One store writes to a hand-over (the sets come to hold its buffers).
//   The writer (serialised by its owner; never the audio thread) asks
//   beginWrite() for a set it may overwrite, fills it and offer()s it;
//   withdraw() says that the response held so far is obsolete and no
//   complete one exists yet (a new file is being prepared).
// - The audio thread take()s an offered set and release()s a set it no
//   longer reads. It holds at most two at a time (the old and the new
//   response while it crossfades), so of the three sets one is always free.
// - The offered set, the at-once flag, the writer's readiness and the
//   engine's holdings live in one atomic word: taking an offer and
//   recording the holding are one step, so the writer never sees a set as
//   free that the engine has just taken. beginWrite() retracts an offer the
//   engine has not taken yet and rewrites that set; a set the engine
//   released is free again, so memory is allocated once per set and never
//   churns.
// - offer() also publishes the set's auto gain on its own (written by the
//   writer alone), so the engine can choose its gain factor for a set it
//   has not taken yet; once taken, the gain travels with the set.
#pragma once

#include "engine/TransformLayout.h"

#include <atomic>
#include <cstdint>

namespace tam {

struct PartitionSet
{
    static constexpr int maxPartitions = 117;
    static constexpr float initialAutoGain = 0.2f;   ///< the gain while no response was computed

    std::int32_t partitionCount = 0; ///< partitions in use, 1..117 once written
    float autoGain = initialAutoGain; ///< gain suggested for this response
    std::int32_t allocated = 0;      ///< leading entries of `partitions` that hold buffers
    float* partitions[maxPartitions] = {};
};

class PartitionWriter;

class PartitionHandover
{
public:
    static constexpr int setCount = 3;

    /// The handle for the one thread (at a time) that computes sets.
    PartitionWriter writer();

    // --- audio thread ---

    /// The writer has offered a complete response since it last withdrew.
    bool responseReady() const { return (state.load(std::memory_order_acquire) & readyBit) != 0; }
    /// Whether a set is offered, and whether it asks to be taken at once.
    bool hasOffer() const { return offeredIndex(state.load(std::memory_order_acquire)) >= 0; }
    bool offerIsUrgent() const
    {
        const unsigned s = state.load(std::memory_order_acquire);
        return offeredIndex(s) >= 0 && (s & atOnceBit) != 0;
    }
    /// The auto gain of the set offered last (meaningful while one is offered).
    float offeredAutoGain() const { return offeredGain.load(std::memory_order_acquire); }
    /// The offered set, now held by the caller; null when none is offered.
    PartitionSet* take();
    /// The caller no longer reads this set.
    void release(const PartitionSet* set);

private:
    friend class PartitionWriter;

    static constexpr unsigned offerMask = 3u;  ///< offered set index + 1, 0 for none
    static constexpr unsigned atOnceBit = 4u;
    static constexpr unsigned readyBit = 8u;
    static constexpr unsigned heldShift = 4u; ///< one bit per set the engine holds

    PartitionSet* beginWrite();
    void offer(PartitionSet* set, bool takeAtOnce);
    void withdraw() { state.fetch_and(~readyBit, std::memory_order_acq_rel); }

    static int offeredIndex(unsigned s) { return static_cast<int>(s & offerMask) - 1; }
    int indexOf(const PartitionSet* set) const { return static_cast<int>(set - sets); }

    PartitionSet sets[setCount];
    std::atomic<unsigned> state{0};
    std::atomic<float> offeredGain{PartitionSet::initialAutoGain}; ///< written by the writer only
};

/// The writer's side of a hand-over: what a store needs to publish sets.
class PartitionWriter
{
public:
    explicit PartitionWriter(PartitionHandover& target) : handover(&target) {}

    /// A set the engine neither holds nor can take: free to overwrite.
    PartitionSet* beginWrite() { return handover->beginWrite(); }
    /// Publishes a completely written set with its auto gain. `takeAtOnce`
    /// asks the engine not to wait or crossfade (the response it holds is
    /// obsolete).
    void offer(PartitionSet* set, bool takeAtOnce) { handover->offer(set, takeAtOnce); }
    /// The response offered so far is obsolete; the next offer replaces it.
    void withdraw() { handover->withdraw(); }
    /// Which of the sets this is (0..setCount-1), for labelling.
    int indexOf(const PartitionSet* set) const { return handover->indexOf(set); }

private:
    PartitionHandover* handover;
};

inline PartitionWriter PartitionHandover::writer()
{
    return PartitionWriter(*this);
}

} // namespace tam
