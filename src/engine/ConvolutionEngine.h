// The convolution engine: uniformly partitioned overlap-add convolution of
// the stereo input with the current partition set, mixed with the equally
// delayed dry signal, with smoothed gains, meters and the overload state.
//
// Timing: input is collected in periods of 8192 samples. At each period
// boundary the collected block is transformed (left and right packed into
// one complex transform) and stored in a ring of 118 spectrum slots. The
// multiply-accumulate work of a period is cut into steps at evenly spaced
// sample positions, so the cost per host block is bounded whatever the
// host's block size:
// - step 1 (no later than sample 384) multiplies the newest block with
//   partition 0, completing the sums of the block to be released;
// - at sample 768 those sums are inverse-transformed and released, which
//   fixes the latency at 8192 + 768 = 8960 samples; the dry signal is
//   delayed by the same amount;
// - steps 2 and later multiply the older blocks with partitions 1 and up
//   into a second accumulator, for the block of the next period. They are
//   spread evenly over samples 1280..7679, away from both transforms, so a
//   host block of up to 512 samples never carries a transform and a full
//   share of multiplications at once.
//
// Threading:
// - audio thread: process() only. It never allocates, locks, waits or does
//   I/O. Everything it shares is atomic or handed over through atomics.
// - any other thread: requestReset(), setSuspended(), requestDryFade(),
//   requestWetFade(), setDynamicCpu() and the meter/clip readers. Requests
//   are flags the audio thread consumes at the start of its next block;
//   while the host has the plug-in suspended they are carried out at once
//   (under a try-lock that the audio thread never waits on).
// - construction and destruction: the owner's thread, with no audio running.
#pragma once

#include "engine/PartitionSet.h"
#include "impulse/Fft.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace tam {

class TMemman;

/// Values other threads set and the engine reads once per host block.
struct EngineControls
{
    std::atomic<float> dry{1.0f};
    std::atomic<float> wet{0.5f};
    std::atomic<float> add12dB{0.0f};
    std::atomic<float> stereoRouting{1.0f};
    std::atomic<float> bypass{0.0f};
    std::atomic<float> muteDry{0.0f};
    std::atomic<float> autogain{1.0f};
    std::atomic<float> autogainFactor{0.1f}; ///< also written by the engine when it latches the auto gain
    std::atomic<std::int32_t> delaySamples{0}; ///< pre-delay, 0..16383
    std::atomic<bool> loading{false};          ///< a file load is in progress: dry only
};

/// The response side the engine reads: the store's readiness flag, its
/// latest auto gain and the hand-over of partition sets.
struct EngineSource
{
    const std::atomic<bool>* ready = nullptr;
    const std::atomic<float>* autoGain = nullptr;
    PartitionHandover* handover = nullptr;
};

class ConvolutionEngine
{
public:
    static constexpr int periodLength = 8192;
    static constexpr int slotCount = 118;
    static constexpr int historyLength = 16384;
    static constexpr int latencySamples = 8960;
    static constexpr int releasePosition = 768;
    static constexpr int wetReadOffset = 7424; ///< r = (partitionPos + 7424) mod 8192
    static constexpr int firstStepCap = 384;
    static constexpr int transformClearance = 512; ///< samples kept free of other work around each transform
    static constexpr int tailStart = releasePosition + transformClearance;
    static constexpr int tailSpan = periodLength - transformClearance - tailStart;
    static constexpr int fadeLength = 5512;
    static constexpr int meterHoldSamples = 88200;
    static constexpr float meterFloor = 0.001f;
    static constexpr float outputLimit = 2.0f;
    static constexpr int bufferFloats = 32768;
    static constexpr std::size_t bufferBytes = bufferFloats * sizeof(float);

    enum class Mode { add, replace };

    struct Meters
    {
        float dryPeak[2];
        float dryVu[2];
        float wetPeak[2];
        float wetVu[2];
    };

    /// Allocates its 124 buffers from `memman` (throws std::bad_alloc).
    ConvolutionEngine(TMemman& memman, EngineControls& controls, EngineSource source);
    ConvolutionEngine(const ConvolutionEngine&) = delete;
    ConvolutionEngine& operator=(const ConvolutionEngine&) = delete;

    // --- audio thread ---
    void process(const float* const* inputs, float* const* outputs, int frames, Mode mode);

    // --- other threads ---
    /// Clears the convolution state (blocks, accumulator, output blocks); the
    /// input history and with it the dry signal stay intact.
    void requestReset();
    /// The host switched the plug-in off (true) or on (false). Switching off
    /// clears everything including the input history and ends running fades.
    void setSuspended(bool suspended);
    void requestDryFade() { dryFadeRequested.store(true, std::memory_order_release); }
    void requestWetFade() { wetFadeRequested.store(true, std::memory_order_release); }
    /// Switching off marks every slot active again at the next block.
    void setDynamicCpu(bool on);
    bool getDynamicCpu() const { return dynamicCpu.load(std::memory_order_acquire); }

    Meters readMeters() const;
    /// The overload state since the last call (0 none, 1 beyond 1.0, 2
    /// beyond 2.0), cleared by reading.
    int takeClipState() { return clipState.exchange(0, std::memory_order_acq_rel); }
    int peekClipState() const { return clipState.load(std::memory_order_acquire); }

    // --- inspection for tests (audio thread quiescent) ---
    int getPartitionPos() const { return partitionPos; }
    int getFilledFfts() const { return filledFfts; }
    int getNextStepPos() const { return nextStepPos; }
    int getWorkStep() const { return workStep; }
    long getTransformCount() const { return transformCount; }
    long getMultiplyCount() const { return multiplyCount; }

private:
    enum Request : unsigned
    {
        resetConvolution = 1u,
        resetAll = 2u,         ///< suspend: also the input history and the gains
        activateAllSlots = 4u, ///< silence detection was switched off
    };

    void applyRequests(const EngineControls& snapshot);
    void clearConvolutionState();
    void clearAll(float dry, float wetTarget);
    void runWorkStep();
    void rotateOutputs();
    void blockBoundary();
    void schedule();
    void advanceStep();
    void finishBlock();
    bool usable(int slot) const
    {
        return slotActive[static_cast<std::size_t>(slot)] && slotHoldsData[static_cast<std::size_t>(slot)];
    }
    void updateMeter(int channel, float wetMagnitude, float dryMagnitude, bool vuTick);

    EngineControls& controls;
    EngineSource source;

    // Buffers, 32768 floats each; roles move by exchanging pointers.
    float* fftInputBuffer;  ///< the block being collected (complex time domain)
    float* finishing;       ///< [Y_L | Y_R] sums of the block released in this period
    float* collecting;      ///< [Y_L | Y_R] sums of the older blocks for the next period's block
    float* waitBuffer;      ///< the newest inverse-transformed block
    float* preOutputBuffer; ///< the block whose first half is playing
    float* outputBuffer;    ///< the previous block; its second half is the overlap tail
    float* oldOutputBuffer; ///< retired, next to become the waitBuffer
    float* spectrumSlots[slotCount]; ///< [L | R] half spectra of past input blocks

    float inputHistory[2][historyLength]; ///< flushed input, left and right rings
    std::array<bool, slotCount> slotActive{};    ///< block is to be used (non-silent, or silence detection off)
    std::array<bool, slotCount> slotHoldsData{}; ///< slot was written since the last reset
    std::array<std::int32_t, slotCount> scheduledPartitions{};
    std::int32_t filledFfts = 0;
    std::int32_t currentSlot = 0;
    std::int32_t partitionPos = 0;
    std::int32_t historyPos = 0;
    std::int32_t workStep = 0;
    std::int32_t nextStepPos = 0;
    bool finishingEmpty = true;  ///< `finishing` holds nothing yet
    bool collectingEmpty = true; ///< `collecting` holds nothing yet
    bool blockProduced = false; ///< the inverse transform of this period ran
    float crossSumAcc = 0.0f; ///< absolute input sum of the period (silence detection)
    std::int32_t fftWork[fftContextSize];
    float fftTwiddles[fftContextSize];
    PartitionSet* current = nullptr; ///< the set in use (audio thread only)

    // Gains (audio thread only; other threads request fades).
    float dryGain = 1.0f;
    float wetGain = 0.5f;
    float dryGainStart = 1.0f;
    float wetGainStart = 0.5f;
    std::int32_t dryFadeCount = 0;
    std::int32_t wetFadeCount = 0;

    // Meters (audio thread), published once per block.
    float peakDecay;
    float vuDecay;
    float wetPeak[2] = {};
    float wetVu[2] = {};
    float dryPeak[2] = {};
    float dryVu[2] = {};
    float wetHoldCount[2] = {};
    float dryHoldCount[2] = {};
    std::atomic<float> publishedMeters[8];
    std::atomic<int> clipState{0};

    std::atomic<bool> dynamicCpu{false};
    std::atomic<unsigned> pendingRequests{0};
    std::atomic<bool> suspendedByHost{true};
    std::atomic<bool> busy{false}; ///< held by whoever touches the engine state
    std::atomic<bool> dryFadeRequested{false};
    std::atomic<bool> wetFadeRequested{false};

    long transformCount = 0; ///< forward and inverse transforms run (tests, benchmarks)
    long multiplyCount = 0;  ///< multiply-accumulate passes run
};

} // namespace tam
