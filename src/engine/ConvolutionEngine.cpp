#include "engine/ConvolutionEngine.h"

#include "engine/DenormalGuard.h"
#include "engine/Kernel.h"
#include "engine/TMemman.h"
#include "impulse/LevelText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace tam {

namespace {

constexpr float inverseTransformScale = 1.0f / 16384.0f;
constexpr float fadeStep = 1.0f / 5512.0f;

float* allocBuffer(TMemman& memman, const std::string& name)
{
    return static_cast<float*>(memman.alloc(ConvolutionEngine::bufferBytes, name));
}

void clearBuffer(float* buffer)
{
    std::memset(buffer, 0, ConvolutionEngine::bufferBytes);
}

} // namespace

ConvolutionEngine::ConvolutionEngine(TMemman& memman, EngineControls& engineControls, EngineSource engineSource)
    : controls(engineControls), source(engineSource)
{
    outputBuffer = allocBuffer(memman, "Outputbuffer");
    preOutputBuffer = allocBuffer(memman, "pre_outputbuffer");
    oldOutputBuffer = allocBuffer(memman, "old_outputbuffer");
    waitBuffer = allocBuffer(memman, "waitbuffer");
    fftInputBuffer = allocBuffer(memman, "fft_input_buffer");
    finishing = allocBuffer(memman, "dfft_work_buffer");
    collecting = allocBuffer(memman, "dfft_work_buffer 2");
    for (int i = 0; i < slotCount; ++i)
    {
        spectrumSlots[i] = allocBuffer(memman, "FFT-Buffer Channel 1 No:" + std::to_string(i));
        // Touch every page now: a first write on the audio thread would
        // cost a page fault there.
        clearBuffer(spectrumSlots[i]);
    }
    fftWork[0] = 0; // the first transform builds the table
    fftTwiddles[0] = 0.0f;
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

void ConvolutionEngine::setDynamicCpu(bool on)
{
    dynamicCpu.store(on, std::memory_order_release);
    if (!on)
        pendingRequests.fetch_or(activateAllSlots, std::memory_order_acq_rel);
}

void ConvolutionEngine::applyRequests(const EngineControls& values)
{
    const unsigned requests = pendingRequests.exchange(0, std::memory_order_acq_rel);
    if ((requests & activateAllSlots) != 0)
        slotActive.fill(true);
    if ((requests & resetAll) != 0)
        clearAll(values.dry.load(std::memory_order_relaxed), values.wet.load(std::memory_order_relaxed));
    else if ((requests & resetConvolution) != 0)
        clearConvolutionState();
}

void ConvolutionEngine::clearConvolutionState()
{
    clearBuffer(fftInputBuffer);
    clearBuffer(finishing);
    clearBuffer(collecting);
    clearBuffer(outputBuffer);
    clearBuffer(waitBuffer);
    clearBuffer(preOutputBuffer);
    clearBuffer(oldOutputBuffer);
    // A slot whose spectrum was not written since the reset counts as zero:
    // the kernel skips it, which clears the 15 MB of slots without touching
    // them. The schedule (and so the step positions) still follows the
    // activity flags.
    slotActive.fill(!dynamicCpu.load(std::memory_order_relaxed));
    slotHoldsData.fill(false);
    finishingEmpty = true;
    collectingEmpty = true;
    blockProduced = false;
    filledFfts = 0;
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

    const bool ready = source.ready->load(std::memory_order_acquire);
    if (ready && source.handover->urgentOffer(current == nullptr))
    {
        const bool obsolete = current != nullptr;
        if (PartitionSet* set = source.handover->take())
        {
            if (obsolete)
            {
                // The response we held was replaced (a new file): its
                // products must not be heard. The input spectra stay valid.
                clearBuffer(outputBuffer);
                clearBuffer(waitBuffer);
                clearBuffer(preOutputBuffer);
                clearBuffer(oldOutputBuffer);
                finishingEmpty = true;
            }
            current = set;
            if (workStep == 0 && partitionPos == 0)
                schedule(); // right at a boundary: the whole period is still ahead
        }
    }
    const bool enabled = ready && !loading && bypass == 0.0f;
    const float dryTarget = dry * (1.0f - muteDry);
    const float wetTargetBase = wet * (1.0f - bypass);
    const float wetBoost = 1.0f + 3.0f * add12dB;
    const float* inL = inputs[0];
    const float* inR = inputs[1];
    float* outL = outputs[0];
    float* outR = outputs[1];
    int lastClip = 0;

    for (int i = 0; i < frames; ++i)
    {
        // Read both inputs first: input and output may be the same memory.
        const float frame[2] = {inL[i], inR[i]};
        float result[2];

        if (partitionPos == nextStepPos && enabled)
            runWorkStep();
        if (partitionPos == releasePosition)
        {
            if (enabled)
                finishBlock();
            rotateOutputs();
        }

        if (dryFadeCount > 0)
            --dryFadeCount;
        if (wetFadeCount > 0)
            --wetFadeCount;
        const float fd = static_cast<float>(dryFadeCount) * fadeStep;
        const float fw = static_cast<float>(wetFadeCount) * fadeStep;
        // The auto-gain factor may change at a boundary inside this block.
        const float autogainFactor = controls.autogainFactor.load(std::memory_order_relaxed);
        dryGain = (1.0f - fd) * dryTarget + dryGainStart * fd;
        wetGain = (1.0f - fw) * wetTargetBase * autogainFactor * wetBoost + wetGainStart * fw;

        const int readIndex = (historyPos - latencySamples) & (historyLength - 1);
        const int r = (partitionPos + wetReadOffset) & (periodLength - 1);
        const bool vuTick = (partitionPos & 15) == 0;
        for (int c = 0; c < 2; ++c)
        {
            const float dryIn = inputHistory[c][readIndex];
            inputHistory[c][historyPos] = flushDenormal(frame[c]);
            const float wetSample = (preOutputBuffer[2 * r + c] + outputBuffer[2 * (periodLength + r) + c]) *
                                    inverseTransformScale;
            const float drySample = dryIn * dryGain;
            const float wetOut = wetSample * wetGain;
            updateMeter(c, std::fabs(wetOut), std::fabs(drySample), vuTick);
            float out = drySample;
            if (enabled)
            {
                out = wetOut + drySample;
                if (wetOut > 1.0f || wetOut < -1.0f)
                    lastClip = 1;
                if (wetOut > 2.0f || wetOut < -2.0f)
                    lastClip = 2;
            }
            result[c] = std::clamp(out, -outputLimit, outputLimit);
        }

        // Convolution input: pre-delayed, with the input stereo width.
        const int delayed = (historyPos - delaySamples) & (historyLength - 1);
        const float xl = inputHistory[0][delayed];
        const float xr = inputHistory[1][delayed];
        const float mono = (1.0f - stereoRouting) * (xl + xr) * 0.5f;
        fftInputBuffer[2 * partitionPos] = xl * stereoRouting + mono;
        fftInputBuffer[2 * partitionPos + 1] = xr * stereoRouting + mono;
        fftInputBuffer[2 * (periodLength + partitionPos)] = 0.0f;
        fftInputBuffer[2 * (periodLength + partitionPos) + 1] = 0.0f;
        crossSumAcc += std::fabs(xl) + std::fabs(xr);

        if (++partitionPos == periodLength)
            blockBoundary();
        historyPos = (historyPos + 1) & (historyLength - 1);

        if (mode == Mode::replace)
        {
            outL[i] = result[0];
            outR[i] = result[1];
        }
        else
        {
            outL[i] += result[0];
            outR[i] += result[1];
        }
    }

    const float meterValues[8] = {dryPeak[0], dryPeak[1], dryVu[0], dryVu[1],
                                  wetPeak[0], wetPeak[1], wetVu[0], wetVu[1]};
    for (int m = 0; m < 8; ++m)
        publishedMeters[m].store(meterValues[m], std::memory_order_relaxed);
    if (lastClip != 0)
        clipState.store(lastClip, std::memory_order_release);
    busy.store(false, std::memory_order_release);
}

void ConvolutionEngine::updateMeter(int c, float wetMagnitude, float dryMagnitude, bool vuTick)
{
    auto meter = [&](float a, float& peak, float& vu, float& hold) {
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
        if (vuTick)
        {
            if (a < vu)
                vu *= vuDecay;
            else
                vu = a;
            if (vu < meterFloor)
                vu = 0.0f;
        }
    };
    meter(wetMagnitude, wetPeak[c], wetVu[c], wetHoldCount[c]);
    meter(dryMagnitude, dryPeak[c], dryVu[c], dryHoldCount[c]);
}

void ConvolutionEngine::runWorkStep()
{
    const int partitions = current != nullptr ? current->partitionCount : 0;
    if (workStep == 1)
    {
        // The newest block times partition 0 completes the block to be
        // released at sample 768 of this period.
        if (partitions > 0 && usable(currentSlot))
        {
            multiplyAccumulate(spectrumSlots[currentSlot], current->partitions[0], finishing, finishingEmpty);
            finishingEmpty = false;
            ++multiplyCount;
        }
        // Everything from here on belongs to the next block: the moment a new
        // response can take over without mixing two in one block.
        if (PartitionSet* set = source.handover->take())
        {
            current = set;
            schedule();
        }
    }
    else if (workStep >= 2 && workStep < filledFfts + 2)
    {
        const int j = scheduledPartitions[static_cast<std::size_t>(workStep - 2)];
        const int slot = (currentSlot - j + slotCount) % slotCount;
        // A set taken within the period may have fewer partitions than the
        // schedule was made for.
        if (j + 1 < partitions && usable(slot))
        {
            multiplyAccumulate(spectrumSlots[slot], current->partitions[j + 1], collecting, collectingEmpty);
            collectingEmpty = false;
            ++multiplyCount;
        }
    }
    advanceStep();
}

void ConvolutionEngine::advanceStep()
{
    ++workStep;
    int position;
    if (workStep == 1)
    {
        // The newest block comes early enough for the inverse transform at
        // the release position.
        position = std::min(periodLength / (filledFfts + 3), firstStepCap);
    }
    else if (workStep <= filledFfts + 1)
    {
        // The older blocks are spread evenly over the part of the period
        // that lies a host block away from both transforms, so no host block
        // carries a transform and a full share of multiplications.
        position = tailStart + (workStep - 2) * tailSpan / filledFfts;
    }
    else
    {
        position = periodLength; // nothing left in this period
    }
    // After a rescheduling the formula may point behind us; never strand the
    // remaining steps of the period.
    nextStepPos = std::max(position, partitionPos + 1);
}

void ConvolutionEngine::finishBlock()
{
    if (!finishingEmpty)
    {
        joinStereoSpectrum(finishing, waitBuffer);
        cdft(bufferFloats, 1, waitBuffer, fftWork, fftTwiddles);
        ++transformCount;
    }
    else
    {
        clearBuffer(waitBuffer);
    }
    finishingEmpty = true;
    blockProduced = true;
}

void ConvolutionEngine::rotateOutputs()
{
    if (!blockProduced)
    {
        // No block was finished for this release (the wet path was off):
        // release silence rather than a stale block, and drop the partial
        // sums meant for the lost block.
        clearBuffer(waitBuffer);
        finishingEmpty = true;
    }
    blockProduced = false;
    float* released = waitBuffer;
    waitBuffer = oldOutputBuffer;
    oldOutputBuffer = outputBuffer;
    outputBuffer = preOutputBuffer;
    preOutputBuffer = released;
}

void ConvolutionEngine::blockBoundary()
{
    if (controls.autogain.load(std::memory_order_relaxed) == 1.0f)
    {
        const float gain = current != nullptr ? current->autoGain : source.autoGain->load(std::memory_order_relaxed);
        controls.autogainFactor.store(gain, std::memory_order_relaxed);
    }
    partitionPos = 0;
    currentSlot = (currentSlot + 1) % slotCount;
    const bool silent = dynamicCpu.load(std::memory_order_relaxed) && crossSumAcc == 0.0f;
    slotActive[static_cast<std::size_t>(currentSlot)] = !silent;
    slotHoldsData[static_cast<std::size_t>(currentSlot)] = !silent;
    crossSumAcc = 0.0f;

    // The older blocks' products collected during the last period are
    // completed and transformed in this one; a fresh accumulator collects
    // for the next block.
    std::swap(finishing, collecting);
    std::swap(finishingEmpty, collectingEmpty);
    if (!collectingEmpty)
    {
        clearBuffer(collecting); // never happens in steady state: the inverse emptied it
        collectingEmpty = true;
    }
    // Nothing accumulated for the coming block yet: a waiting response can
    // take over here as well as after step 1.
    if (finishingEmpty)
    {
        if (PartitionSet* set = source.handover->take())
            current = set;
    }
    schedule();

    if (!silent)
    {
        cdft(bufferFloats, -1, fftInputBuffer, fftWork, fftTwiddles);
        ++transformCount;
        splitStereoSpectrum(fftInputBuffer, spectrumSlots[currentSlot]);
    }
    workStep = 0;
    nextStepPos = 0;
}

void ConvolutionEngine::schedule()
{
    filledFfts = 0;
    const int partitions = current != nullptr ? current->partitionCount : 0;
    for (int j = 0; j <= partitions - 2; ++j)
    {
        if (slotActive[static_cast<std::size_t>((currentSlot - j + slotCount) % slotCount)])
            scheduledPartitions[static_cast<std::size_t>(filledFfts++)] = j;
    }
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
