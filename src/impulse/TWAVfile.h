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

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tam {

struct FileSamples;

/// What a calculation shapes the response with (the plug-in's normalised
/// parameter values); a calculation with the same inputs as the last one is
/// skipped.
struct ShapingInputs
{
    std::array<float, eqPointValueCount> eqPoints{}; ///< EQ point list (position, gain) x 8
    float attackLevel = 1.0f;
    float attackTime = 0.0f;
    float envelope = 0.0f;
    float length = 1.0f;
    float stereo = 1.0f;
    float reverse = 0.0f;
    float stretch = 0.5f;

    bool operator==(const ShapingInputs&) const = default;
};

class TWAVfile
{
public:
    static constexpr int waveCapacity = 960001;     ///< floats per channel and wave
    static constexpr int maxLength = 960000;        ///< highest usable sample index
    static constexpr int maxFileFrames = 960000;    ///< frames read from a file at most
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
    bool calculateDestWave(const ShapingInputs& inputs);

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
    /// Inputs of the last calculation (a Length of 0 as the floor it stood for).
    ShapingInputs shaping;

    const float* sourceWave(int channel) const { return waves.get() + channel * waveCapacity; }
    const float* destWave(int channel) const { return waves.get() + (2 + channel) * waveCapacity; }

    /// The set the last calculation produced (tests, inspection).
    const PartitionSet* latestSet() const { return latest; }

private:
    struct Levels
    {
        double absSum = 0.0; ///< of both channels
        float peak = 0.0f;
    };

    void reset();
    float* source(int channel) { return waves.get() + channel * waveCapacity; }
    float* dest(int channel) { return waves.get() + (2 + channel) * waveCapacity; }

    // Loading, in order.
    /// Takes the file on and sets the lengths; the last frame index of the file.
    int adoptFile(std::string name, std::int32_t rate, const FileSamples& file, bool& tooLong);
    void resampleSource(const FileSamples& file, int lastFrame);
    bool sourceClips() const;

    // Shaping, in order.
    int partitionCountFor(float length) const;
    /// Time scale, reading direction and envelope into the destination wave.
    Levels shapeWave(const ShapingInputs& in);
    static float autoGainFor(float absSum, float peak);
    void clearBeyondDestination();
    void narrowWidth(float stereo);
    void ensureBuffers(PartitionSet& set, int needed);
    void buildPartitions(PartitionSet& set, float reverse, int reverseOffset);
    /// EQ gains per bin of the lower half of a spectrum.
    void eqGainTable(float* eqGain);
    void filterPartition(float* block, const float* eqGain);
    void rejoinPartitions(PartitionSet& set);
    static bool carriesFinite(const PartitionSet& set, int count, double absSum, float gain);
    void publish(PartitionSet& set, int count, float gain);

    bool loaded = false;
    bool recalcPending = true; ///< forces the next calculation past the skip test
    bool suspended = false;    ///< calculations return at once (several parameters being set)
    std::atomic<bool> ready{false};       ///< a complete set of partitions is present
    std::atomic<float> autoGain{initialAutoGain};
    std::atomic<std::int32_t> generation{0}; ///< raised by every completed calculation

    FftTables fft;
    TEqCurve eqCurve;
    std::unique_ptr<float[]> waves;     ///< source L, source R, dest L, dest R
    std::unique_ptr<float[]> workBuffer; ///< one full spectrum of scratch
    TMemman memman;                      ///< owns every partition buffer
    PartitionWriter partitionWriter;
    const PartitionSet* latest = nullptr;
};

} // namespace tam
