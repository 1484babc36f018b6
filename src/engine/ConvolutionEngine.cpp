#include "engine/ConvolutionEngine.h"

#include "engine/DenormalGuard.h"
#include "engine/Kernel.h"
#include "engine/TMemman.h"
#include "fft/InstructionSet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <limits>
#include <string>

namespace tam {

namespace {

constexpr std::size_t bufferBytes = spectrumFloats * sizeof(float);
constexpr float fadeStep = 1.0f / static_cast<float>(ConvolutionEngine::fadeLength);
constexpr float crossfadeStep = 1.0f / static_cast<float>(ConvolutionEngine::crossfadeLength);

// Input that is not a finite number would poison the convolution for the
// whole length of the response: it counts as silence. Denormals become 0.
inline float cleanInput(float x)
{
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const std::uint32_t exponent = bits & 0x7F800000u;
    return exponent == 0x7F800000u || (exponent == 0 && (bits & 0x007FFFFFu) != 0) ? 0.0f : x;
}

// NaN compares false everywhere: it must not pass the limit.
inline float limit(float x)
{
    return x == x ? std::min(std::max(x, -ConvolutionEngine::outputLimit), ConvolutionEngine::outputLimit) : 0.0f;
}

float* allocBuffer(TMemman& memman, const std::string& name)
{
    auto* buffer = static_cast<float*>(memman.alloc(bufferBytes, name));
    // Touch every page now: a first write on the audio thread would cost a
    // page fault there.
    std::memset(buffer, 0, bufferBytes);
    return buffer;
}

void clearBuffer(float* buffer)
{
    std::memset(buffer, 0, bufferBytes);
}

} // namespace

ConvolutionEngine::ConvolutionEngine(TMemman& memman, EngineControls& engineControls)
    : controls(engineControls)
{
    for (int l = 0; l < 2; ++l)
    {
        const std::string suffix = l == 0 ? "" : " 2";
        Lane& lane = lanes[l];
        lane.out = allocBuffer(memman, "Outputbuffer" + suffix);
        lane.pre = allocBuffer(memman, "pre_outputbuffer" + suffix);
        lane.old = allocBuffer(memman, "old_outputbuffer" + suffix);
        lane.wait = allocBuffer(memman, "waitbuffer" + suffix);
        lane.finishing = allocBuffer(memman, "dfft_work_buffer" + suffix);
        lane.collecting = allocBuffer(memman, "dfft_work_buffer collecting" + suffix);
    }
    fftInputBuffer = allocBuffer(memman, "fft_input_buffer");
    catchUp = allocBuffer(memman, "dfft_work_buffer catch-up");
    for (int i = 0; i < slotCount; ++i)
        spectrumSlots[i] = allocBuffer(memman, "FFT-Buffer Channel 1 No:" + std::to_string(i));
    // Release factors from the nominal rate: half the level every 0.2 s
    // (peak) and every 5 ms (VU).
    peakDecay = static_cast<float>(std::pow(0.5, 1.0 / (0.2 * 44100.0)));
    vuDecay = static_cast<float>(std::pow(0.5, 1.0 / (0.005 * 44100.0)));
    for (auto& meter : publishedMeters)
        meter.store(0.0f, std::memory_order_relaxed);
    clearAll(controls.dry.load(), controls.wet.load());
}

// ---------------------------------------------------------------- requests

void ConvolutionEngine::requestReset()
{
    pendingRequests.fetch_or(resetConvolution, std::memory_order_acq_rel);
    if (suspendedByHost.load(std::memory_order_acquire))
    {
        bool expected = false;
        if (busy.compare_exchange_strong(expected, true, std::memory_order_acquire))
        {
            applyRequests(controls);
            busy.store(false, std::memory_order_release);
        }
    }
}

void ConvolutionEngine::setSuspended(bool suspended)
{
    if (suspended)
        pendingRequests.fetch_or(resetAll, std::memory_order_acq_rel);
    suspendedByHost.store(suspended, std::memory_order_release);
    if (suspended)
    {
        // The host does not process while it has us suspended: act now. A
        // host that processes anyway finds the engine busy and outputs
        // silence for that block instead of racing us.
        bool expected = false;
        if (busy.compare_exchange_strong(expected, true, std::memory_order_acquire))
        {
            applyRequests(controls);
            busy.store(false, std::memory_order_release);
        }
    }
}

void ConvolutionEngine::requestAutogainSelection()
{
    autogainSelectionRequested.store(true, std::memory_order_release);
    if (suspendedByHost.load(std::memory_order_acquire))
    {
        bool expected = false;
        if (busy.compare_exchange_strong(expected, true, std::memory_order_acquire))
        {
            if (autogainSelectionRequested.exchange(false, std::memory_order_acq_rel))
                selectAutogainFactor(controls.autogain.load(std::memory_order_acquire));
            busy.store(false, std::memory_order_release);
        }
    }
}

void ConvolutionEngine::selectAutogainFactor(float autogainSwitch)
{
    if (autogainSwitch == 0.0f)
        autogainFactor = autogainOffFactor;
    else if (autogainSwitch == 1.0f)
        autogainFactor = heardAutoGain();
    publishedAutogainFactor.store(autogainFactor, std::memory_order_release);
}

float ConvolutionEngine::heardAutoGain() const
{
    const bool holding = live->set != nullptr || incoming != nullptr;
    if (holding ? handover.offerIsUrgent() : handover.hasOffer())
        return handover.offeredAutoGain();
    const PartitionSet* heard = incoming != nullptr ? incoming->set : live->set;
    return heard != nullptr ? heard->autoGain : PartitionSet::initialAutoGain;
}

void ConvolutionEngine::setDynamicCpu(bool on)
{
    dynamicCpu.store(on, std::memory_order_release);
    if (!on)
        pendingRequests.fetch_or(activateAllSlots, std::memory_order_acq_rel);
}

void ConvolutionEngine::applyRequests(const EngineControls& values)
{
    // A plain load first: the exchange is a locked write, and nearly every
    // block has nothing to apply.
    if (pendingRequests.load(std::memory_order_relaxed) == 0)
        return;
    const unsigned requests = pendingRequests.exchange(0, std::memory_order_acq_rel);
    if ((requests & activateAllSlots) != 0)
        slotActive.fill(true);
    if ((requests & resetAll) != 0)
        clearAll(values.dry.load(std::memory_order_relaxed), values.wet.load(std::memory_order_relaxed));
    else if ((requests & resetConvolution) != 0)
        clearConvolutionState();
}

void ConvolutionEngine::clearLane(Lane& lane)
{
    clearBuffer(lane.finishing);
    clearBuffer(lane.collecting);
    clearBuffer(lane.pre);
    clearBuffer(lane.out);
    clearBuffer(lane.wait);
    clearBuffer(lane.old);
    lane.finishingEmpty = true;
    lane.collectingEmpty = true;
    lane.blockProduced = false;
}

void ConvolutionEngine::clearConvolutionState()
{
    // The newest response stays; a running crossfade ends.
    if (incoming != nullptr)
        endTransition();
    clearBuffer(fftInputBuffer);
    clearLane(*live);
    catchUpEmpty = true;
    // A slot whose spectrum was not written since the reset counts as zero:
    // the jobs skip it, which clears the 15 MB of slots without touching
    // them. The schedule (and so the step positions) still follows the
    // activity flags.
    slotActive.fill(!dynamicCpu.load(std::memory_order_relaxed));
    slotHoldsData.fill(false);
    jobCount = headJobCount = filledFfts = 0;
}

void ConvolutionEngine::clearAll(float dry, float wetTarget)
{
    clearConvolutionState();
    std::memset(inputHistory, 0, sizeof inputHistory);
    dryGain = dryGainStart = dry;
    wetGain = wetGainStart = wetTarget;
    dryFadeCount = wetFadeCount = 0;
    dryFadeRequested.store(false, std::memory_order_relaxed);
    wetFadeRequested.store(false, std::memory_order_relaxed);
}

// ------------------------------------------------------------ audio thread

void ConvolutionEngine::process(const float* const* inputs, float* const* outputs, int frames, Mode mode)
{
    if (frames <= 0 || inputs == nullptr || outputs == nullptr || inputs[0] == nullptr || inputs[1] == nullptr ||
        outputs[0] == nullptr || outputs[1] == nullptr)
        return;
    if (busy.exchange(true, std::memory_order_acquire))
    {
        // Another thread is resetting us while the host claims to be suspended.
        if (mode == Mode::replace)
        {
            std::fill(outputs[0], outputs[0] + frames, 0.0f);
            std::fill(outputs[1], outputs[1] + frames, 0.0f);
        }
        return;
    }
    DenormalGuard denormalGuard;

    const BlockSettings settings = beginBlock(mode);
#if defined(TAM_HAVE_AVX2)
    const bool avx2 = activeInstructionSet() == InstructionSet::avx2;
#endif
    int lastClip = 0;
    // The block runs in stretches between the sample positions where work
    // of the period falls due (a job, the release, the boundary) or a ring
    // wraps; each stretch is processed as short vector loops.
    for (int i = 0; i < frames;)
    {
        if (partitionPos == nextStepPos && settings.enabled)
            runJob();
        if (partitionPos == releasePosition)
            releaseBlocks(settings.enabled);
        const int n = runLength(frames - i, settings);
        const float* in[2] = {inputs[0] + i, inputs[1] + i};
        float* out[2] = {outputs[0] + i, outputs[1] + i};
#if defined(TAM_HAVE_AVX2)
        if (avx2)
            processRunAvx2(in, out, n, settings, lastClip);
        else
#endif
            processRun(in, out, n, settings, lastClip);
        i += n;
        partitionPos += n;
        if (partitionPos == periodLength)
            blockBoundary();
        historyPos = (historyPos + n) & (historyLength - 1);
    }
    publishState(lastClip);
    busy.store(false, std::memory_order_release);
}

ConvolutionEngine::BlockSettings ConvolutionEngine::beginBlock(Mode mode)
{
    applyRequests(controls);
    if (dryFadeRequested.load(std::memory_order_relaxed) && dryFadeRequested.exchange(false))
    {
        dryGainStart = dryGain;
        dryFadeCount = fadeLength;
    }
    if (wetFadeRequested.load(std::memory_order_relaxed) && wetFadeRequested.exchange(false))
    {
        wetGainStart = wetGain;
        wetFadeCount = fadeLength;
    }

    // One consistent view of the controls for the whole block.
    const float dry = controls.dry.load(std::memory_order_relaxed);
    const float wet = controls.wet.load(std::memory_order_relaxed);
    const float add12dB = controls.add12dB.load(std::memory_order_relaxed);
    const float stereoRouting = controls.stereoRouting.load(std::memory_order_relaxed);
    const float bypass = controls.bypass.load(std::memory_order_relaxed);
    const float muteDry = controls.muteDry.load(std::memory_order_relaxed);
    const std::int32_t delaySamples = std::clamp(controls.delaySamples.load(std::memory_order_relaxed), 0,
                                                 historyLength - 1);
    const bool loading = controls.loading.load(std::memory_order_acquire);

    const bool ready = handover.responseReady();
    if (ready)
        takeUrgentOffer();
    // After the take: a new file's gain applies together with its response.
    if (autogainSelectionRequested.load(std::memory_order_relaxed) &&
        autogainSelectionRequested.exchange(false, std::memory_order_acq_rel))
        selectAutogainFactor(controls.autogain.load(std::memory_order_acquire));
    return BlockSettings{dry * (1.0f - muteDry),
                         wet * (1.0f - bypass),
                         1.0f + 3.0f * add12dB,
                         stereoRouting,
                         delaySamples,
                         ready && !loading && bypass == 0.0f,
                         mode == Mode::replace};
}

void ConvolutionEngine::takeUrgentOffer()
{
    // During a crossfade the outgoing lane lets go of its set early, yet a
    // response is still heard: only an urgent offer may cut in then.
    const bool holding = live->set != nullptr || incoming != nullptr;
    if (!(holding ? handover.offerIsUrgent() : handover.hasOffer()))
        return;
    // Never hold three sets: a crossfade in progress ends first.
    if (incoming != nullptr)
        endTransition();
    if (PartitionSet* set = handover.take())
        takeAtOnce(set, holding);
}

int ConvolutionEngine::runLength(int remaining, const BlockSettings& b) const
{
    int n = std::min(remaining, maxRun);
    n = std::min(n, periodLength - partitionPos);
    if (partitionPos < releasePosition)
        n = std::min(n, releasePosition - partitionPos);
    if (b.enabled && nextStepPos > partitionPos)
        n = std::min(n, nextStepPos - partitionPos);
    const int readIndex = (historyPos - latencySamples) & (historyLength - 1);
    const int delayed = (historyPos - b.delaySamples) & (historyLength - 1);
    return std::min(n, historyLength - std::max({historyPos, readIndex, delayed}));
}

void ConvolutionEngine::publishState(int lastClip)
{
    const float meterValues[8] = {dryPeak[0], dryPeak[1], dryVu[0], dryVu[1],
                                  wetPeak[0], wetPeak[1], wetVu[0], wetVu[1]};
    for (int m = 0; m < 8; ++m)
        publishedMeters[m].store(meterValues[m], std::memory_order_relaxed);
    if (lastClip != 0)
        clipState.store(lastClip, std::memory_order_release);
    publishedHolding.store(live->set != nullptr || incoming != nullptr, std::memory_order_release);
}

[[gnu::always_inline]] inline void ConvolutionEngine::runBody(const float* const* in, float* const* out, int n, const BlockSettings& b,
                                           int& lastClip)
{
    // Inputs first: input and output may be the same memory.
    float input[2][maxRun];
    std::memcpy(input[0], in[0], sizeof(float) * static_cast<std::size_t>(n));
    std::memcpy(input[1], in[1], sizeof(float) * static_cast<std::size_t>(n));
    RunGains gains;
    runGains(n, b, gains);
    mixRun(input, out, n, b, gains, lastClip);
    collectInput(n, b);
}

[[gnu::always_inline]] inline void ConvolutionEngine::runGains(int n, const BlockSettings& b, RunGains& gains)
{
    // The fade counts fall by one per sample down to 0.
    const auto dryAt = [&](float fd) { return (1.0f - fd) * b.dryTarget + dryGainStart * fd; };
    const auto wetAt = [&](float fw)
    { return (1.0f - fw) * b.wetTargetBase * autogainFactor * b.wetBoost + wetGainStart * fw; };
    // Outside a fade every sample has the gain of fade position 0.
    if (dryFadeCount == 0)
        std::fill(gains.dry, gains.dry + n, dryAt(0.0f));
    else
        for (int i = 0; i < n; ++i)
            gains.dry[i] = dryAt(static_cast<float>(std::max(dryFadeCount - 1 - i, 0)) * fadeStep);
    if (wetFadeCount == 0)
        std::fill(gains.wet, gains.wet + n, wetAt(0.0f));
    else
        for (int i = 0; i < n; ++i)
            gains.wet[i] = wetAt(static_cast<float>(std::max(wetFadeCount - 1 - i, 0)) * fadeStep);
    dryFadeCount = std::max(dryFadeCount - n, 0);
    wetFadeCount = std::max(wetFadeCount - n, 0);
    dryGain = gains.dry[n - 1];
    wetGain = gains.wet[n - 1];
}

[[gnu::always_inline]] inline void ConvolutionEngine::mixRun(const float (&input)[2][maxRun], float* const* out, int n, const BlockSettings& b,
                               const RunGains& gains, int& lastClip)
{
    const int readIndex = (historyPos - latencySamples) & (historyLength - 1);
    const int r = (partitionPos + wetReadOffset) & (periodLength - 1);
    const bool fading = transition == Transition::fading;
    const int firstFade = fadePosition;
    if (fading)
        fadePosition += n;
    int beyondOne = 0; // a wet sample of the run lies beyond +-1.0
    // The lane's two halves hold the channels interleaved: add them in one
    // contiguous loop, then separate the channels. Summing per channel with
    // a stride of two left scalar stores that the vector loads after them
    // could not take over, which stalled every run.
    float wetSamples[2][maxRun];
    {
        const float* pre = live->pre + 2 * r;
        const float* tail = live->out + 2 * (periodLength + r);
        float interleaved[2 * maxRun];
        for (int i = 0; i < 2 * n; ++i)
            interleaved[i] = pre[i] + tail[i];
        for (int i = 0; i < n; ++i)
        {
            wetSamples[0][i] = interleaved[2 * i];
            wetSamples[1][i] = interleaved[2 * i + 1];
        }
    }
    float wetOuts[2][maxRun];
    for (int c = 0; c < 2; ++c)
    {
        float* history = inputHistory[c];
        float* wetOut = wetOuts[c];
        float dryOut[maxRun];
        float* result = out[c];
        // Separate loops: each reads and writes memory the compiler can tell apart.
        for (int i = 0; i < n; ++i)
            dryOut[i] = history[readIndex + i] * gains.dry[i];
        for (int i = 0; i < n; ++i)
            history[historyPos + i] = cleanInput(input[c][i]);
        float* wetSample = wetSamples[c];
        if (fading)
        {
            const float* incomingPre = incoming->pre + 2 * r + c;
            const float* incomingTail = incoming->out + 2 * (periodLength + r) + c;
            for (int i = 0; i < n; ++i)
            {
                // Share of the incoming lane.
                const float crossfade = static_cast<float>(firstFade + i) * crossfadeStep;
                if (crossfade != 0.0f)
                    wetSample[i] += crossfade * (incomingPre[2 * i] + incomingTail[2 * i] - wetSample[i]);
            }
        }
        for (int i = 0; i < n; ++i)
        {
            const float value = wetSample[i] * inverseTransformScale * gains.wet[i];
            // An overflowing response is dropped; the dry signal stays intact.
            wetOut[i] = std::fabs(value) <= std::numeric_limits<float>::max() ? value : 0.0f;
        }
        const float* mixed = dryOut;
        float sum[maxRun];
        if (b.enabled)
        {
            for (int i = 0; i < n; ++i)
            {
                sum[i] = wetOut[i] + dryOut[i];
                beyondOne |= static_cast<int>(!(std::fabs(wetOut[i]) <= 1.0f));
            }
            mixed = sum;
        }
        if (b.replace)
        {
            for (int i = 0; i < n; ++i)
                result[i] = limit(mixed[i]);
        }
        else
        {
            for (int i = 0; i < n; ++i)
                result[i] += limit(mixed[i]);
        }
        meterRun(wetOut, n, wetPeak[c], wetVu[c], wetHoldCount[c]);
        meterRun(dryOut, n, dryPeak[c], dryVu[c], dryHoldCount[c]);
    }
    if (beyondOne != 0)
    {
        // The last wet sample beyond 1.0 (left before right) tells the state.
        for (int i = 0; i < n; ++i)
        {
            for (const float* wetOut : wetOuts)
            {
                if (wetOut[i] > 1.0f || wetOut[i] < -1.0f)
                    lastClip = wetOut[i] > 2.0f || wetOut[i] < -2.0f ? 2 : 1;
            }
        }
    }
}

[[gnu::always_inline]] inline void ConvolutionEngine::collectInput(int n, const BlockSettings& b)
{
    // Pre-delayed, with the input stereo width.
    const int delayed = (historyPos - b.delaySamples) & (historyLength - 1);
    const float* xl = inputHistory[0] + delayed;
    const float* xr = inputHistory[1] + delayed;
    float* block = fftInputBuffer + 2 * partitionPos;
    float* zeros = fftInputBuffer + 2 * (periodLength + partitionPos);
    int signal = 0;
    for (int i = 0; i < n; ++i)
    {
        const float mono = (1.0f - b.stereoRouting) * (xl[i] + xr[i]) * 0.5f;
        block[2 * i] = xl[i] * b.stereoRouting + mono;
        block[2 * i + 1] = xr[i] * b.stereoRouting + mono;
        signal |= static_cast<int>(xl[i] != 0.0f) | static_cast<int>(xr[i] != 0.0f);
    }
    std::memset(zeros, 0, sizeof(float) * 2 * static_cast<std::size_t>(n));
    periodHasSignal = periodHasSignal || signal != 0;
}

[[gnu::always_inline]] inline void ConvolutionEngine::meterRun(const float* values, int n, float& peak, float& vu, float& hold) const
{
    int reachesPeak = 0;
    int reachesFloor = 0;
    for (int i = 0; i < n; ++i)
    {
        const float a = std::fabs(values[i]);
        reachesPeak |= static_cast<int>(!(a < peak));
        reachesFloor |= static_cast<int>(!(a < meterFloor));
    }
    const int firstTick = (16 - (partitionPos & 15)) & 15;
    if (peak == 0.0f && reachesFloor == 0)
    {
        // Every sample takes the new level and the floor clears it again.
        vu = 0.0f;
        hold = 0.0f;
        return;
    }
    if (reachesPeak == 0 && peak >= meterFloor && hold + static_cast<float>(n) <= static_cast<float>(meterHoldSamples))
    {
        // Held peak, no decay yet: only the VU samples every 16th position.
        hold += static_cast<float>(n);
        for (int i = firstTick; i < n; i += 16)
        {
            const float a = std::fabs(values[i]);
            vu = a < vu ? vu * vuDecay : a;
            if (vu < meterFloor)
                vu = 0.0f;
        }
        return;
    }
    for (int i = 0; i < n; ++i)
    {
        const float a = std::fabs(values[i]);
        if (a < peak)
        {
            hold += 1.0f;
            if (hold > static_cast<float>(meterHoldSamples))
                peak *= peakDecay;
        }
        else
        {
            peak = a;
            vu = a;
            hold = 0.0f;
            if (vu < meterFloor)
                vu = 0.0f;
        }
        if (peak < meterFloor)
            peak = 0.0f;
        if (((partitionPos + i) & 15) == 0)
        {
            if (a < vu)
                vu *= vuDecay;
            else
                vu = a;
            if (vu < meterFloor)
                vu = 0.0f;
        }
    }
}

void ConvolutionEngine::processRun(const float* const* in, float* const* out, int n, const BlockSettings& b,
                                   int& lastClip)
{
    runBody(in, out, n, b, lastClip);
}

#if defined(TAM_HAVE_AVX2)
// The same loops vectorised eight samples wide. No fused multiply-add: the
// results are those of processRun, bit for bit.
[[gnu::target("avx2")]] void ConvolutionEngine::processRunAvx2(const float* const* in, float* const* out, int n,
                                                               const BlockSettings& b, int& lastClip)
{
    runBody(in, out, n, b, lastClip);
}
#endif

// ----------------------------------------------------------------- jobs

void ConvolutionEngine::runJob()
{
    // Step 0 sits on the boundary sample and does nothing; step s >= 1 runs job s - 1.
    const int index = workStep - 1;
    if (index >= 0 && index < jobCount)
    {
        const Job& job = jobs[static_cast<std::size_t>(index)];
        Lane& lane = *job.lane;
        if (job.slot < 0)
        {
            // The catch-up is complete: transform it into the incoming lane's
            // current block, which becomes its overlap tail at the hand-over.
            if (!catchUpEmpty)
            {
                joinStereoSpectrum(catchUp, lane.pre);
                cdft(spectrumFloats, 1, lane.pre, fft);
                ++transformCount;
            }
            else
            {
                clearBuffer(lane.pre);
            }
            catchUpEmpty = true;
        }
        else if (lane.set != nullptr && job.partition < lane.set->partitionCount &&
                 slotActive[static_cast<std::size_t>(job.slot)] && slotHoldsData[static_cast<std::size_t>(job.slot)])
        {
            float* acc = lane.finishing;
            bool* empty = &lane.finishingEmpty;
            if (job.target == Target::collecting)
            {
                acc = lane.collecting;
                empty = &lane.collectingEmpty;
            }
            else if (job.target == Target::catchUp)
            {
                acc = catchUp;
                empty = &catchUpEmpty;
            }
            multiplyAccumulate(spectrumSlots[job.slot], lane.set->partitions[job.partition], acc, *empty);
            *empty = false;
            ++multiplyCount;
        }
        // The outgoing lane's last use of the old response is its head job
        // at the hand-over: the set may be rewritten from now on.
        if (transition == Transition::handingOver && &lane == live && job.target == Target::finishing &&
            lane.set != nullptr)
        {
            handover.release(lane.set);
            lane.set = nullptr;
        }
    }
    advanceStep();
}

void ConvolutionEngine::advanceStep()
{
    ++workStep;
    const int index = workStep - 1; // the job the next step runs
    int position;
    if (index < headJobCount)
    {
        // Heads come early enough for the inverse transform at the release.
        position = std::min(periodLength / (jobCount + 2), headCap) + index;
    }
    else if (index < jobCount)
    {
        // The others are spread evenly over the part of the period that lies
        // a host block away from both transforms.
        const int others = jobCount - headJobCount;
        position = tailStart + (index - headJobCount) * tailSpan / others;
    }
    else
    {
        position = periodLength; // nothing left in this period
    }
    // After a rescheduling the formula may point behind us; never strand the
    // remaining jobs of the period.
    nextStepPos = std::max(position, partitionPos + 1);
}

void ConvolutionEngine::releaseBlocks(bool enabled)
{
    if (transition == Transition::fading)
        endTransition(); // the fade has run its course: the incoming lane is heard alone
    if (transition == Transition::handingOver)
    {
        if (enabled)
        {
            finishBlock(*live);
            finishBlock(*incoming);
        }
        rotate(*live);
        rotate(*incoming);
        transition = Transition::fading;
        fadePosition = 0;
        return;
    }
    // While preparing, the incoming lane has no block of its own yet.
    if (enabled)
        finishBlock(*live);
    rotate(*live);
}

void ConvolutionEngine::finishBlock(Lane& lane)
{
    if (!lane.finishingEmpty)
    {
        joinStereoSpectrum(lane.finishing, lane.wait);
        cdft(spectrumFloats, 1, lane.wait, fft);
        ++transformCount;
    }
    else
    {
        clearBuffer(lane.wait);
    }
    lane.finishingEmpty = true;
    lane.blockProduced = true;
}

void ConvolutionEngine::rotate(Lane& lane)
{
    if (!lane.blockProduced)
    {
        // No block was finished for this release (the wet path was off):
        // release silence rather than a stale block, and drop the partial
        // sums meant for the lost block.
        clearBuffer(lane.wait);
        lane.finishingEmpty = true;
    }
    lane.blockProduced = false;
    float* released = lane.wait;
    lane.wait = lane.old;
    lane.old = lane.out;
    lane.out = lane.pre;
    lane.pre = released;
}

void ConvolutionEngine::blockBoundary()
{
    if (controls.autogain.load(std::memory_order_acquire) == 1.0f)
        selectAutogainFactor(1.0f);
    partitionPos = 0;
    currentSlot = (currentSlot + 1) % slotCount;
    const bool silent = dynamicCpu.load(std::memory_order_relaxed) && !periodHasSignal;
    slotActive[static_cast<std::size_t>(currentSlot)] = !silent;
    slotHoldsData[static_cast<std::size_t>(currentSlot)] = !silent;
    periodHasSignal = false;

    // The sums collected during the last period are completed and released
    // in this one; a fresh accumulator collects for the next block.
    for (Lane& lane : lanes)
    {
        std::swap(lane.finishing, lane.collecting);
        std::swap(lane.finishingEmpty, lane.collectingEmpty);
        if (!lane.collectingEmpty)
        {
            clearBuffer(lane.collecting); // only after a period whose release was skipped
            lane.collectingEmpty = true;
        }
    }

    if (transition == Transition::preparing)
    {
        transition = Transition::handingOver;
    }
    else if (transition == Transition::none && live->set != nullptr && handover.offerIsUrgent())
    {
        if (PartitionSet* set = handover.take())
            takeAtOnce(set, true);
    }
    else if (transition == Transition::none && live->set != nullptr && handover.hasOffer())
    {
        // A new response: the other lane takes it and catches up on this
        // block; the crossfade follows.
        if (PartitionSet* set = handover.take())
        {
            incoming = live == &lanes[0] ? &lanes[1] : &lanes[0];
            clearLane(*incoming);
            incoming->set = set;
            catchUpEmpty = true;
            transition = Transition::preparing;
        }
    }
    else if (transition == Transition::none && live->set == nullptr)
    {
        if (PartitionSet* set = handover.take())
            live->set = set;
    }
    schedule();

    if (!silent)
    {
        cdft(spectrumFloats, -1, fftInputBuffer, fft);
        ++transformCount;
        splitStereoSpectrum(fftInputBuffer, spectrumSlots[currentSlot]);
    }
    workStep = 0;
    nextStepPos = 0;
}

void ConvolutionEngine::addMultiplyJobs(Lane& lane, Target target, int firstPartition, bool countAsFilled)
{
    const int partitions = lane.set != nullptr ? lane.set->partitionCount : 0;
    for (int p = firstPartition; p < partitions; ++p)
    {
        // Partition p meets the block stored p periods ago (the newest block
        // is "0 periods ago" for the catch-up, whose first partition is 0).
        const int age = target == Target::collecting ? p - 1 : p;
        const int slot = (currentSlot - age + slotCount) % slotCount;
        if (!slotActive[static_cast<std::size_t>(slot)])
            continue;
        jobs[static_cast<std::size_t>(jobCount++)] =
            Job{&lane, static_cast<std::int16_t>(slot), static_cast<std::int16_t>(p), target};
        if (countAsFilled)
            ++filledFfts;
    }
}

void ConvolutionEngine::schedule()
{
    jobCount = 0;
    filledFfts = 0;
    // Heads: the newest block times partition 0, into the block released at
    // this period's release position.
    auto addHead = [&](Lane& lane) {
        if (lane.set != nullptr && lane.set->partitionCount > 0)
            jobs[static_cast<std::size_t>(jobCount++)] =
                Job{&lane, static_cast<std::int16_t>(currentSlot), 0, Target::finishing};
    };
    switch (transition)
    {
    case Transition::none:
    case Transition::fading:
    {
        Lane& heard = transition == Transition::fading ? *incoming : *live;
        addHead(heard);
        headJobCount = jobCount;
        addMultiplyJobs(heard, Target::collecting, 1, true);
        break;
    }
    case Transition::preparing:
        addHead(*live);
        headJobCount = jobCount;
        addMultiplyJobs(*live, Target::collecting, 1, true);
        addMultiplyJobs(*incoming, Target::collecting, 1, false);
        addMultiplyJobs(*incoming, Target::catchUp, 0, false);
        jobs[static_cast<std::size_t>(jobCount++)] = Job{incoming, -1, 0, Target::catchUp};
        break;
    case Transition::handingOver:
        addHead(*live);
        addHead(*incoming);
        headJobCount = jobCount;
        addMultiplyJobs(*incoming, Target::collecting, 1, true);
        break;
    }
}

void ConvolutionEngine::takeAtOnce(PartitionSet* set, bool obsolete)
{
    if (live->set != nullptr)
        handover.release(live->set);
    if (obsolete)
    {
        // The response we held was replaced (a new file): its products must
        // not be heard. The input spectra stay valid.
        clearLane(*live);
    }
    live->set = set;
    if (workStep == 0 && partitionPos == 0)
        schedule(); // right at a boundary: the whole period is still ahead
}

void ConvolutionEngine::endTransition()
{
    // The incoming lane becomes the one heard; the outgoing lane lets go of
    // the old response (if its head job has not done so already).
    if (live->set != nullptr)
        handover.release(live->set);
    live->set = nullptr;
    live = incoming;
    incoming = nullptr;
    transition = Transition::none;
    catchUpEmpty = true;
}

ConvolutionEngine::Meters ConvolutionEngine::readMeters() const
{
    Meters m{};
    m.dryPeak[0] = publishedMeters[0].load(std::memory_order_relaxed);
    m.dryPeak[1] = publishedMeters[1].load(std::memory_order_relaxed);
    m.dryVu[0] = publishedMeters[2].load(std::memory_order_relaxed);
    m.dryVu[1] = publishedMeters[3].load(std::memory_order_relaxed);
    m.wetPeak[0] = publishedMeters[4].load(std::memory_order_relaxed);
    m.wetPeak[1] = publishedMeters[5].load(std::memory_order_relaxed);
    m.wetVu[0] = publishedMeters[6].load(std::memory_order_relaxed);
    m.wetVu[1] = publishedMeters[7].load(std::memory_order_relaxed);
    return m;
}

} // namespace tam
