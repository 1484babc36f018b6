// Shaping and partitioning of the loaded response (TWAVfile::calculateDestWave).
#include "engine/Kernel.h"
#include "impulse/LevelText.h"
#include "impulse/TWAVfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace tam {

namespace {

constexpr int eqTableSize = 8192;
constexpr int tailFade = 150;       ///< samples faded out at the end of the last partition
constexpr int envelopeRelease = 100; ///< samples of the final fade after the decay span
constexpr float lengthFloor = 0.001001f; // bit pattern 0x3A833405: stands in for a length of 0
constexpr float fullLength = 0.99f;      ///< lengths from here on keep the whole response

bool sameInputs(const float* a, const float* b)
{
    return std::equal(a, a + eqPointValueCount, b);
}

} // namespace

float TWAVfile::envelopeSample(float i, float n, float reverse, float length, float envelope, float attackTime,
                               float attackLevel, float v) const
{
    return envelopeAt(attackMaxSamples, i, n, reverse, length, envelope, attackTime, attackLevel, v);
}

namespace {

// The envelope with the level curve passed in, so that the destination
// wave can reuse the last curve value while its argument repeats.
template <class Level>
float envelopeWith(Level&& level, float attackMaxSamples, float i, float n, float reverse, float length,
                   float envelope, float attackTime, float attackLevel, float v)
{
    // Reverse exactly 1 measures the envelope from the end, so it shapes the
    // response in its unreversed time order.
    const float t0 = reverse == 1.0f ? n - i : i;
    const float attack = attackTime * attackMaxSamples;
    const float decay = std::max(n - (1.0f - length) * n - attack, 1.0f);
    float r = 0.0f;
    if (t0 >= attack)
    {
        const float t = t0 - attack;
        if (t <= decay)
            r = level(1.0f - std::min(t / decay, 1.0f) * envelope) * v;
        else if (t <= decay + envelopeRelease)
            r = level(1.0f - envelope) * v * (1.0f - (t - decay) / envelopeRelease);
    }
    if (attackTime != 0.0f && t0 < attack)
        r = level(1.0f - (1.0f - t0 / attack) * (1.0f - attackLevel)) * v;
    return r;
}

} // namespace

float TWAVfile::envelopeAt(float attackMaxSamples, float i, float n, float reverse, float length, float envelope,
                           float attackTime, float attackLevel, float v)
{
    return envelopeWith(levelCurve, attackMaxSamples, i, n, reverse, length, envelope, attackTime, attackLevel, v);
}

bool TWAVfile::calculateDestWave(const float* eqPoints, float attackLevel, float attackTime, float envelope,
                                 float length, float stereo, float reverse, float stretch)
{
    if (!loaded || suspended)
        return false;
    if (!recalcPending && sameInputs(eqPoints, cachedEqPoints) && envelope == cachedEnvelope &&
        length == cachedLength && stereo == cachedStereo && attackTime == cachedAttackTime &&
        attackLevel == cachedAttackLevel && reverse == cachedReverse && stretch == cachedStretch)
        return false;

    // The set the engine neither uses nor can take; filled completely before
    // it is offered.
    PartitionSet* target = partitionWriter.beginWrite();
    if (target == nullptr)
        return false; // cannot happen while the engine keeps to two sets; try again next time
    PartitionSet& set = *target;

    if (length == 0.0f)
        length = lengthFloor;
    // An edit of the EQ alone leaves the destination wave and its gain as
    // they are: only the partitions are filtered again.
    const bool sameShape = !recalcPending && envelope == cachedEnvelope && length == cachedLength &&
                           stereo == cachedStereo && attackTime == cachedAttackTime &&
                           attackLevel == cachedAttackLevel && reverse == cachedReverse && stretch == cachedStretch;
    const double stretched = std::nearbyint(static_cast<double>(sourceLength) * (static_cast<double>(stretch) + 0.5));
    destLength = static_cast<std::int32_t>(std::clamp(stretched, 1.0, static_cast<double>(maxLength)));

    recalcPending = false;
    std::copy(eqPoints, eqPoints + eqPointValueCount, cachedEqPoints);
    cachedEnvelope = envelope;
    cachedLength = length;
    cachedStereo = stereo;
    cachedAttackTime = attackTime;
    cachedAttackLevel = attackLevel;
    cachedReverse = reverse;
    cachedStretch = stretch;
    destSeconds = static_cast<float>(destLength) / hostRate;

    ensureBuffers(set, std::min((destLength + 200) / partitionLength + 1, maxPartitions));

    int count;
    if (length < fullLength)
        count = static_cast<int>(std::trunc(static_cast<double>(destLength) -
                                            (1.0 - static_cast<double>(length)) * destLength + 150.0)) /
                    partitionLength +
                1;
    else
        count = (destLength + 150) / partitionLength + 1;
    count = std::min(count, maxPartitions);
    partitionCount = count;
    const int reverseOffset = destLength - count * partitionLength;

    double sum = absSum;
    float gain = autoGain.load(std::memory_order_acquire);
    if (!sameShape)
        shapeDestination(reverse, length, envelope, attackTime, attackLevel, stereo, sum, gain);

    buildPartitions(set, reverse, reverseOffset);

    // A response the arithmetic cannot carry is never offered: the engine
    // keeps the one it has.
    const bool finite = std::isfinite(sum) && std::isfinite(gain) && gain > 0.0f &&
                        std::all_of(set.partitions, set.partitions + count, [](const float* partition) {
                            return std::all_of(partition, partition + PartitionSet::partitionFloats,
                                               [](float v) { return std::isfinite(v); });
                        });
    if (!finite)
    {
        recalcPending = true;
        return false;
    }

    set.partitionCount = count;
    set.autoGain = gain;
    autoGain.store(gain, std::memory_order_release);
    generation.fetch_add(1, std::memory_order_acq_rel);
    // While no complete set was present (first calculation, or a new file),
    // the engine's response is obsolete and the new one is taken at once.
    partitionWriter.offer(&set, !ready.load(std::memory_order_acquire));
    latest = &set;
    ready.store(true, std::memory_order_release);
    return true;
}

void TWAVfile::shapeDestination(float reverse, float length, float envelope, float attackTime, float attackLevel,
                                float stereo, double& sum, float& gain)
{
    // Destination wave: time-scaled (linear interpolation), optionally
    // reversed, then shaped by the envelope. The envelope gain depends on the
    // index only, so it is evaluated once for both channels.
    const auto ratio = static_cast<float>(static_cast<double>(sourceLength) / destLength);
    sum = 0.0;
    float peak = 0.0f;
    float* destL = dest(0);
    float* destR = dest(1);
    const float* srcChannels[2] = {source(0), source(1)};
    const auto n = static_cast<float>(destLength);
    // Without an envelope or an attack the curve's argument repeats for
    // long runs: its value is computed again only when the argument changes.
    float lastLevelInput = std::numeric_limits<float>::quiet_NaN();
    float lastLevel = 0.0f;
    const auto level = [&](float x)
    {
        if (x != lastLevelInput)
        {
            lastLevelInput = x;
            lastLevel = levelCurve(x);
        }
        return lastLevel;
    };
    for (int i = 0; i <= destLength; ++i)
    {
        const float p = ratio * static_cast<float>(i);
        const auto k = static_cast<int>(p);
        const float f = p - static_cast<float>(k);
        const float g = 1.0f - f;
        const float shape = envelopeWith(level, attackMaxSamples, static_cast<float>(i), n, reverse, length, envelope,
                                         attackTime, attackLevel, 1.0f);
        float shaped[2];
        for (int c = 0; c < 2; ++c)
        {
            const float* src = srcChannels[c];
            float v;
            if (reverse == 0.0f)
            {
                const int kk = std::clamp(k, 0, maxFileFrames - 1);
                v = src[kk] * g;
                if (f != 0.0f) // the neighbour beyond the response may be uninitialised
                    v += src[kk + 1] * f;
            }
            else
            {
                const int kk = std::min(sourceLength - k, maxLength);
                v = kk <= 0 ? src[0] : src[kk] * g + src[kk - 1] * f;
            }
            shaped[c] = shape * v;
            sum += static_cast<double>(std::fabs(shaped[c]));
            peak = std::max(peak, std::fabs(shaped[c]));
        }
        destL[i] = shaped[0];
        destR[i] = shaped[1];
    }

    // Auto gain: louder for sparse responses (a high peak-to-sum ratio).
    absSum = static_cast<float>(sum);
    const float safeSum = absSum == 0.0f ? 0.0001f : absSum;
    const float safePeak = peak == 0.0f ? 0.0001f : peak;
    gain = std::min(1.0f, static_cast<float>(1.7 * std::pow(static_cast<double>(safePeak / safeSum), 5.0 / 12.0) / static_cast<double>(safePeak)));

    if (destLength < maxLength)
    {
        std::fill(destL + destLength + 1, destL + maxLength + 1, 0.0f);
        std::fill(destR + destLength + 1, destR + maxLength + 1, 0.0f);
    }

    if (stereo < 1.0f)
    {
        for (int i = 0; i <= destLength; ++i)
        {
            const float mid = (destL[i] + destR[i]) / 2.0f;
            destL[i] = destL[i] * stereo + (1.0f - stereo) * mid;
            destR[i] = destR[i] * stereo + (1.0f - stereo) * mid;
        }
    }
}

void TWAVfile::ensureBuffers(PartitionSet& set, int needed)
{
    const std::string label =
        std::string("Impulse_FFT_Buffer Set ") + static_cast<char>('A' + partitionWriter.indexOf(&set));
    while (set.allocated < needed)
    {
        set.partitions[set.allocated] = static_cast<float*>(
            memman.alloc(PartitionSet::partitionFloats * sizeof(float), label + ", No. " + std::to_string(set.allocated)));
        ++set.allocated;
    }
}

void TWAVfile::buildPartitions(PartitionSet& set, float reverse, int reverseOffset)
{
    constexpr int n = PartitionSet::partitionFloats; // 16384 complex points
    constexpr int points = n / 2;
    constexpr float scale = 1.0f / 16384.0f;
    const int count = partitionCount;

    // EQ gains per bin of the lower half; the upper half mirrors them.
    eqCurve.buildCurve(cachedEqPoints);
    float eqGain[eqTableSize];
    for (int k = 0; k < eqTableSize; ++k)
    {
        const float frequency = static_cast<float>(k) / 16384.0f * hostRate;
        eqGain[k] = eqAmplitude(eqCurve.smoothedValue(eqCurve.frequencyToPosition(frequency)));
    }

    const bool flat = std::all_of(eqGain, eqGain + eqTableSize, [](float g) { return g == 1.0f; });

    const float* destL = dest(0);
    const float* destR = dest(1);
    // Both channels travel in one complex transform: channel 1 in the real,
    // channel 2 in the imaginary parts. The EQ gain is real and symmetric,
    // so filtering the packed spectrum filters each channel on its own.
    for (int p = 0; p < count; ++p)
    {
        float* buf = set.partitions[p];
        for (int j = 0; j < partitionLength; ++j)
        {
            int index = p * partitionLength + j;
            bool inside = true;
            if (reverse != 0.0f)
            {
                index += reverseOffset;
                inside = index >= 0 && index <= destLength;
            }
            buf[2 * j] = inside ? destL[index] : 0.0f;
            buf[2 * j + 1] = inside ? destR[index] : 0.0f;
        }
        std::fill(buf + 2 * partitionLength, buf + n, 0.0f);
        if (flat)
            continue; // unit gain at every bin: the filter would only add rounding

        cdft(n, -1, buf, fftIp, fftTable);
        buf[0] = flushDenormal(buf[0] * eqGain[0]);
        buf[1] = flushDenormal(buf[1] * eqGain[0]);
        for (int k = 1; k < eqTableSize; ++k)
        {
            const float g = eqGain[k];
            const int mirror = points - k;
            buf[2 * k] = flushDenormal(buf[2 * k] * g);
            buf[2 * k + 1] = flushDenormal(buf[2 * k + 1] * g);
            buf[2 * mirror] = flushDenormal(buf[2 * mirror] * g);
            buf[2 * mirror + 1] = flushDenormal(buf[2 * mirror + 1] * g);
        }
        buf[2 * eqTableSize] = flushDenormal(buf[2 * eqTableSize] * eqGain[eqTableSize - 1]);
        buf[2 * eqTableSize + 1] = flushDenormal(buf[2 * eqTableSize + 1] * eqGain[eqTableSize - 1]);

        cdft(n, 1, buf, fftIp, fftTable);
        for (int i = 0; i < n; ++i)
            buf[i] *= scale;
    }

    // Re-join: each filtered partition rings into the next one, so no filter
    // tail is lost between partitions.
    for (int p = 0; p + 1 < count; ++p)
    {
        float* cur = set.partitions[p];
        float* next = set.partitions[p + 1];
        for (int i = 0; i < 2 * partitionLength; ++i)
        {
            next[i] += cur[2 * partitionLength + i];
            cur[2 * partitionLength + i] = 0.0f;
        }
    }
    // The last partition ends in a short fade and drops its filter tail.
    float* last = set.partitions[count - 1];
    for (int s = 0; s <= tailFade; ++s)
    {
        const int j = partitionLength - 1 - s;
        last[2 * j] = flushDenormal(static_cast<float>(s) * last[2 * j] / tailFade);
        last[2 * j + 1] = flushDenormal(static_cast<float>(s) * last[2 * j + 1] / tailFade);
    }
    std::fill(last + 2 * partitionLength, last + n, 0.0f);

    // Final spectra, split into the two channels' half spectra.
    float* work = workBuffer.get();
    for (int p = 0; p < count; ++p)
    {
        float* buf = set.partitions[p];
        cdft(n, -1, buf, fftIp, fftTable);
        std::memcpy(work, buf, n * sizeof(float));
        splitStereoSpectrum(work, buf);
    }
}

} // namespace tam
