// The convolution engine: uniformly partitioned overlap-add convolution of
// the stereo input with the current partition set, mixed with the equally
// delayed dry signal, with smoothed gains, meters and the overload state.
//
// Timing: input is collected in periods of 8192 samples. At each period
// boundary the collected block is transformed (left and right packed into
// one complex transform) and stored in a ring of 118 spectrum slots. The
// multiply-accumulate work of a period is a list of jobs run one per sample
// at spaced positions, so the cost per host block is bounded whatever the
// host's block size:
// - head jobs (no later than sample 384) multiply the newest block with
//   partition 0, completing the sums of the block to be released;
// - at sample 768 those sums are inverse-transformed and released, which
//   fixes the latency at 8192 + 768 = 8960 samples; the dry signal is
//   delayed by the same amount;
// - the other jobs multiply the older blocks with partitions 1 and up into a
//   second accumulator, for the block of the next period. They are spread
//   evenly over samples 1280..7679, away from both transforms, so a host
//   block of up to 512 samples never carries a transform and a full share of
//   multiplications at once.
//
// Changing the response: a new partition set is heard through a crossfade,
// never a jump. The work runs in two lanes (set, accumulators, output
// blocks). At a period boundary the incoming lane starts with the new set
// and catches up on the whole current block from the stored input spectra,
// while the outgoing lane finishes its next block with the old set; over the
// following period the output fades linearly from the old lane to the new
// one. The catch-up costs one extra pass over the partitions, once per
// change. A set that replaces an obsolete response (a new file) or arrives
// while none is held is taken at once.
//
// The engine owns the hand-over of partition sets: the store offers sets
// through a PartitionWriter; the engine takes them, knows whether it holds
// a response and which auto gain that response carries, and publishes what
// it applies (factor, holding, meters) for other threads to read.
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
#include "engine/TransformLayout.h"
#include "fft/Fft.h"

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
    std::atomic<float> autogain{1.0f}; ///< the switch: 0 fixed factor, 1 the response's auto gain, else keep
    std::atomic<std::int32_t> delaySamples{0}; ///< pre-delay, 0..16383
    std::atomic<bool> loading{false};          ///< a file load is in progress: dry only
};

class ConvolutionEngine
{
public:
    static constexpr int periodLength = partitionLength;
    static constexpr int slotCount = PartitionSet::maxPartitions + 1; ///< one more than a response has partitions
    static constexpr int historyLength = 16384;
    static constexpr int releasePosition = 768;
    static constexpr int latencySamples = periodLength + releasePosition; ///< 8960
    /// The wet sample read at partitionPos: (partitionPos + wetReadOffset) mod periodLength.
    static constexpr int wetReadOffset = periodLength - releasePosition;
    static constexpr int headCap = 384;         ///< head jobs run no later than this sample
    static constexpr int transformClearance = 512; ///< samples kept free of other work around each transform
    static constexpr int tailStart = releasePosition + transformClearance;
    static constexpr int tailSpan = periodLength - transformClearance - tailStart;
    static constexpr int crossfadeLength = periodLength;
    static constexpr int fadeLength = 5512;
    static constexpr int meterHoldSamples = 88200;
    static constexpr float meterFloor = 0.001f;
    static constexpr float outputLimit = 2.0f;
    static constexpr float autogainOffFactor = 0.1f; ///< wet factor while Autogain is off

    enum class Mode { add, replace };

    struct Meters
    {
        float dryPeak[2];
        float dryVu[2];
        float wetPeak[2];
        float wetVu[2];
    };

    /// Allocates its buffers from `memman` (throws std::bad_alloc).
    ConvolutionEngine(TMemman& memman, EngineControls& controls);
    ConvolutionEngine(const ConvolutionEngine&) = delete;
    ConvolutionEngine& operator=(const ConvolutionEngine&) = delete;

    // --- audio thread ---
    void process(const float* const* inputs, float* const* outputs, int frames, Mode mode);

    // --- other threads ---
    /// The handle through which the response's partition sets reach the engine.
    PartitionWriter partitionWriter() { return handover.writer(); }
    /// Clears the convolution state (blocks, accumulators, output blocks); the
    /// input history and with it the dry signal stay intact.
    void requestReset();
    /// The host switched the plug-in off (true) or on (false). Switching off
    /// clears everything including the input history and ends running fades.
    void setSuspended(bool suspended);
    void requestDryFade() { dryFadeRequested.store(true, std::memory_order_release); }
    void requestWetFade() { wetFadeRequested.store(true, std::memory_order_release); }
    /// Chooses the auto gain factor from the Autogain switch as it is now
    /// (0: the fixed factor, 1: the heard response's gain, other values keep
    /// the factor). The engine is the factor's only writer; it also follows
    /// the response at every period boundary while the switch is 1.
    void requestAutogainSelection();
    /// The auto gain factor the wet path applies.
    float getAutogainFactor() const { return publishedAutogainFactor.load(std::memory_order_acquire); }
    /// Switching off marks every slot active again at the next block.
    void setDynamicCpu(bool on);
    bool getDynamicCpu() const { return dynamicCpu.load(std::memory_order_acquire); }

    Meters readMeters() const;
    /// Whether the engine held a response at the end of its last block.
    bool holdsResponse() const { return publishedHolding.load(std::memory_order_acquire); }
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
    bool isCrossfading() const { return transition != Transition::none; }

private:
    enum Request : unsigned
    {
        resetConvolution = 1u,
        resetAll = 2u,         ///< suspend: also the input history and the gains
        activateAllSlots = 4u, ///< silence detection was switched off
    };

    /// One set of convolution state: the response it uses, its two
    /// accumulators ([Y_L | Y_R] half spectra) and its output blocks.
    struct Lane
    {
        PartitionSet* set = nullptr;
        float* finishing = nullptr;  ///< sums of the block released in this period
        float* collecting = nullptr; ///< sums of older blocks for the next period's block
        bool finishingEmpty = true;
        bool collectingEmpty = true;
        float* pre = nullptr;  ///< block whose first half is playing
        float* out = nullptr;  ///< previous block; its second half is the overlap tail
        float* wait = nullptr; ///< newest inverse-transformed block
        float* old = nullptr;  ///< retired, next to become `wait`
        bool blockProduced = false; ///< the inverse transform of this period ran
    };

    enum class Transition
    {
        none,       ///< one lane
        preparing,  ///< incoming lane catches up; outgoing lane computes its last tails
        handingOver, ///< both lanes complete their blocks of this period
        fading,     ///< output fades from the outgoing to the incoming lane
    };

    enum class Target : std::uint8_t
    {
        finishing,
        collecting,
        catchUp,
    };

    struct Job
    {
        Lane* lane;
        std::int16_t slot;      ///< spectrum slot, or -1 for the catch-up's inverse transform
        std::int16_t partition; ///< partition index in the lane's set
        Target target;
    };

    static constexpr int maxJobs = 3 + 3 * PartitionSet::maxPartitions;

    void applyRequests(const EngineControls& snapshot);
    void clearLane(Lane& lane);
    void clearConvolutionState();
    void clearAll(float dry, float wetTarget);
    void runJob();
    void advanceStep();
    void releaseBlocks(bool enabled);
    void finishBlock(Lane& lane);
    void rotate(Lane& lane);
    void blockBoundary();
    void schedule();
    void addMultiplyJobs(Lane& lane, Target target, int firstPartition, bool countAsFilled);
    void takeAtOnce(PartitionSet* set, bool obsolete);
    void endTransition();
    void publishHoldings();
    void selectAutogainFactor(float autogainSwitch);
    /// The auto gain of the response heard, or of the one about to be taken
    /// at once.
    float heardAutoGain() const;
    /// What a host block fixes for all of its samples.
    struct BlockSettings
    {
        float dryTarget;
        float wetTargetBase;
        float wetBoost;
        float stereoRouting;
        std::int32_t delaySamples;
        bool enabled;
        bool replace;
    };
    static constexpr int maxRun = 128; ///< samples processed as one run of vector loops
    /// The gains of every sample of a run.
    struct RunGains
    {
        float dry[maxRun];
        float wet[maxRun];
    };

    /// Requests, fade starts, the controls' snapshot and an offered set that
    /// cannot wait: what holds for every sample of a host block.
    BlockSettings beginBlock(Mode mode);
    void takeUrgentOffer();
    /// Samples from here that meet no work of the period and no ring wrap.
    int runLength(int remaining, const BlockSettings& b) const;
    /// Meters, overload and holding for other threads.
    void publishState(int lastClip);
    /// n samples (n <= maxRun) that meet no work of the period and no ring wrap.
    void processRun(const float* const* in, float* const* out, int n, const BlockSettings& b, int& lastClip);
    /// processRun compiled for AVX2 (same results), for the AVX2 instruction set.
    void processRunAvx2(const float* const* in, float* const* out, int n, const BlockSettings& b, int& lastClip);
    /// The loops of a run, compiled into each of the two.
    void runBody(const float* const* in, float* const* out, int n, const BlockSettings& b, int& lastClip);
    void runGains(int n, const BlockSettings& b, RunGains& gains);
    /// Delayed dry and wet signals mixed into the output; meters and overload.
    void mixRun(const float (&input)[2][maxRun], float* const* out, int n, const BlockSettings& b,
                const RunGains& gains, int& lastClip);
    /// The convolution input of the run into the block being collected.
    void collectInput(int n, const BlockSettings& b);
    /// One meter over a run of samples, sample-exact.
    void meterRun(const float* values, int n, float& peak, float& vu, float& hold) const;

    EngineControls& controls;
    PartitionHandover handover;

    float* fftInputBuffer; ///< the block being collected (complex time domain)
    float* catchUp;        ///< [Y_L | Y_R] sums of the current block with the incoming set
    bool catchUpEmpty = true;
    float* spectrumSlots[slotCount]; ///< [L | R] half spectra of past input blocks
    Lane lanes[2];
    Lane* live = &lanes[0];    ///< the lane heard (outgoing during a transition)
    Lane* incoming = nullptr;  ///< the lane taking over, during a transition
    Transition transition = Transition::none;
    std::int32_t fadePosition = 0;

    float inputHistory[2][historyLength]; ///< flushed input, left and right rings
    std::array<bool, slotCount> slotActive{};    ///< block is to be used (non-silent, or silence detection off)
    std::array<bool, slotCount> slotHoldsData{}; ///< slot was written since the last reset
    std::array<Job, maxJobs> jobs{};
    std::int32_t jobCount = 0;
    std::int32_t headJobCount = 0;
    std::int32_t filledFfts = 0; ///< older blocks scheduled for the heard lane
    std::int32_t currentSlot = 0;
    std::int32_t partitionPos = 0;
    std::int32_t historyPos = 0;
    std::int32_t workStep = 0;
    std::int32_t nextStepPos = 0;
    bool periodHasSignal = false; ///< a convolution input of the period was not 0 (silence detection)
    FftTables fft;

    // Gains (audio thread only; other threads request fades).
    float dryGain = 1.0f;
    float wetGain = 0.5f;
    float dryGainStart = 1.0f;
    float wetGainStart = 0.5f;
    std::int32_t dryFadeCount = 0;
    std::int32_t wetFadeCount = 0;
    float autogainFactor = autogainOffFactor;
    std::atomic<float> publishedAutogainFactor{autogainOffFactor};

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
    std::atomic<bool> publishedHolding{false};
    std::atomic<int> clipState{0};

    std::atomic<bool> dynamicCpu{false};
    std::atomic<unsigned> pendingRequests{0};
    std::atomic<bool> suspendedByHost{true};
    std::atomic<bool> busy{false}; ///< held by whoever touches the engine state
    std::atomic<bool> dryFadeRequested{false};
    std::atomic<bool> wetFadeRequested{false};
    std::atomic<bool> autogainSelectionRequested{false};

    long transformCount = 0; ///< forward and inverse transforms run (tests, benchmarks)
    long multiplyCount = 0;  ///< multiply-accumulate passes run
};

} // namespace tam
