// The impulse-response store: the loaded response resampled to the host
// rate (source wave), the shaped response (destination wave) and the
// partition spectra the engine multiplies with.
//
// Storage is fixed-size and allocated once; only partition buffers are added
// on demand (never released before the store). Partition sets take turns:
// a recalculation fills a set the engine is not using and offers it through
// the engine's hand-over (PartitionWriter), so the engine never reads a
// buffer being written and the wet signal does not drop out while the
// response is edited.
//
// Threading: loads and calculations must not overlap; the owner serialises
// them (never on the audio thread). The store's own values have the owner's
// serialised thread as their one writer; the audio thread sees nothing of
// the store but the sets it offers. The editor reads the waves and the
// cached values under the owner's serialisation.
#pragma once

#include "engine/PartitionSet.h"
#include "engine/TMemman.h"
#include "impulse/EqCurve.h"
#include "fft/Fft.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tam {

class TWAVfile
{
public:
    static constexpr int waveCapacity = 960001;     ///< floats per channel and wave
    static constexpr int maxLength = 960000;        ///< highest usable sample index
    static constexpr int maxFileFrames = 960000;    ///< frames read from a file at most
    static constexpr int partitionLength = 8192;
    static constexpr int maxPartitions = PartitionSet::maxPartitions;
    static constexpr float attackMaxMs = 300.0f;
    static constexpr float initialAutoGain = PartitionSet::initialAutoGain;
    /// Largest sample magnitude accepted: far beyond any real recording, yet
    /// low enough that shaping, the transforms and the convolution of loud
    /// input stay within float range.
    static constexpr float maxSampleMagnitude = 1.0e12f;

    /// Offers its partition sets through `writer`.
    explicit TWAVfile(PartitionWriter writer);
    TWAVfile(const TWAVfile&) = delete;
    TWAVfile& operator=(const TWAVfile&) = delete;

    /// Reads the file and resamples it to hostRate. The whole file is read
    /// and checked before anything of the store changes: on failure the store
    /// keeps its previous response and errorText receives the reader's
    /// numbered message. The partitions are not computed here; callers run
    /// calculateDestWave afterwards. The name is taken by value: callers
    /// may pass the store's own `fileName`, which a load resets.
    bool loadFromFile(std::string fileName, std::int32_t hostRate, bool& tooLong, bool& clipped,
                      std::string& errorText);

    /// Shapes the loaded response and builds a new partition set; false when
    /// nothing was done (no file, suspended, or inputs unchanged).
    bool calculateDestWave(const float* eqPoints, float attackLevel, float attackTime, float envelope, float length,
                           float stereo, float reverse, float stretch);

    /// The shaped value of sample value v at destination index i of a
    /// destination whose last index is n.
    float envelopeSample(float i, float n, float reverse, float length, float envelope, float attackTime,
                         float attackLevel, float v) const;
    /// The same for a store whose attack is at most attackMaxSamples long
    /// (displays that keep a copy of that value).
    static float envelopeAt(float attackMaxSamples, float i, float n, float reverse, float length, float envelope,
                            float attackTime, float attackLevel, float v);

    // --- state read by others ---
    bool isReady() const { return ready.load(std::memory_order_acquire); }
    std::int32_t getGeneration() const { return generation.load(std::memory_order_acquire); }
    float getAutoGain() const { return autoGain.load(std::memory_order_acquire); }
    bool isLoaded() const { return loaded; }
    bool isSuspended() const { return suspended; }
    void setSuspended(bool value) { suspended = value; }

    // Fields of the loaded and shaped response (owner-serialised).
    std::uint8_t channels = 0;
    float destSeconds = 0.0f;
    float hostRate = 44100.0f;
    float fileRate = 0.0f;
    std::string fileName;
    float absSum = 0.0f;
    std::int32_t sourceLength = 0; ///< index of the last valid source sample
    std::int32_t destLength = 0;   ///< index of the last valid destination sample
    std::int32_t partitionCount = 0;
    float attackMaxSamples = 0.0f;
    // Inputs of the last calculation.
    float cachedEnvelope = 0.0f;
    float cachedLength = 0.0f;
    float cachedStereo = 0.0f;
    float cachedAttackTime = 0.0f;
    float cachedAttackLevel = 0.0f;
    float cachedReverse = 0.0f;
    float cachedStretch = 0.0f;
    float cachedEqPoints[eqPointValueCount] = {};

    const float* sourceWave(int channel) const { return waves.get() + channel * waveCapacity; }
    const float* destWave(int channel) const { return waves.get() + (2 + channel) * waveCapacity; }

    /// The set the last calculation produced (tests, inspection).
    const PartitionSet* latestSet() const { return latest; }

private:
    void reset();
    float* source(int channel) { return waves.get() + channel * waveCapacity; }
    float* dest(int channel) { return waves.get() + (2 + channel) * waveCapacity; }
    /// Destination wave (steps of time scale, reverse, envelope, stereo
    /// width) with its sum of magnitudes and auto gain.
    void shapeDestination(float reverse, float length, float envelope, float attackTime, float attackLevel,
                          float stereo, double& sum, float& gain);
    void ensureBuffers(PartitionSet& set, int needed);
    void buildPartitions(PartitionSet& set, float reverse, int reverseOffset);

    bool loaded = false;
    bool recalcPending = true; ///< forces the next calculation past the skip test
    bool suspended = false;    ///< calculations return at once (several parameters being set)
    std::atomic<bool> ready{false};       ///< a complete set of partitions is present
    std::atomic<float> autoGain{initialAutoGain};
    std::atomic<std::int32_t> generation{0}; ///< raised by every completed calculation

    std::int32_t fftIp[fftContextSize];
    float fftTable[fftContextSize];
    TEqCurve eqCurve;
    std::unique_ptr<float[]> waves;     ///< source L, source R, dest L, dest R
    std::unique_ptr<float[]> workBuffer; ///< one full spectrum of scratch
    TMemman memman;                      ///< owns every partition buffer
    PartitionWriter partitionWriter;
    const PartitionSet* latest = nullptr;
};

} // namespace tam
