// The impulse-response store's heavy work, off the audio thread: a full
// shaping and partitioning (calculateDestWave) of the largest response the
// engine takes (117 partitions), a file load followed by it, and the
// recomputation an EQ edit triggers. Responses are written once per process
// into a temporary folder (read from the page cache afterwards).
#include "BenchSupport.h"
#include "wav/WaveFileWriter.h"
#include "impulse/TWAVfile.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

constexpr int fileRate = 44100;
// 117 partitions of 8192 samples less a little: the store keeps 117.
constexpr std::size_t fullResponseFrames = tam::PartitionSet::maxPartitions * tam::partitionLength - 1000;
constexpr std::size_t twentyOneSeconds = 21 * fileRate;

struct Files
{
    std::string folder = tam::bench::makeTemporaryFolder("tam-bench-store-");
    std::string full = folder + "/full.wav";
    std::string long21 = folder + "/21s.wav";

    Files()
    {
        tam::tools::writeWaveFile(full, fileRate, 2,
                                   tam::bench::decayingStereoNoise(fullResponseFrames, 900000.0, 0, 11, 0.5f));
        tam::tools::writeWaveFile(long21, fileRate, 2,
                                   tam::bench::decayingStereoNoise(twentyOneSeconds, 800000.0, 0, 12, 0.5f));
    }
    ~Files()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

const Files& files()
{
    static const Files written;
    return written;
}

/// A store with a hand-over of its own, which no engine takes sets from.
struct OwnedStore
{
    tam::PartitionHandover handover;
    tam::TWAVfile store{handover.writer()};
};

std::unique_ptr<OwnedStore> loadedStore(const std::string& path, int hostRate)
{
    auto owned = std::make_unique<OwnedStore>();
    bool tooLong = false, clipped = false;
    std::string error;
    if (!owned->store.loadFromFile(path, hostRate, tooLong, clipped, error))
        throw std::runtime_error(error);
    return owned;
}

/// Neutral shaping; attackLevel alternates between two values that shape
/// nothing (attack time 0) but defeat the store's unchanged-input shortcut.
bool calculate(tam::TWAVfile& store, const float* eq, bool flip)
{
    tam::ShapingInputs inputs;
    std::copy(eq, eq + tam::eqPointValueCount, inputs.eqPoints.begin());
    inputs.attackLevel = flip ? 0.999f : 1.0f;
    return store.calculateDestWave(inputs);
}

void BM_CalculateDestWave117Partitions(benchmark::State& state)
{
    auto owned = loadedStore(files().full, fileRate);
    tam::TWAVfile* store = &owned->store;
    const float flatEq[16] = {};
    bool flip = false;
    for (auto _ : state)
    {
        flip = !flip;
        if (!calculate(*store, flatEq, flip))
            state.SkipWithError("no recomputation");
    }
    state.counters["partitions"] = static_cast<double>(store->partitionCount);
}
BENCHMARK(BM_CalculateDestWave117Partitions)->Unit(benchmark::kMillisecond);

void BM_LoadAndCalculate21sStereo(benchmark::State& state)
{
    const auto hostRate = static_cast<int>(state.range(0));
    auto owned = std::make_unique<OwnedStore>();
    tam::TWAVfile* store = &owned->store;
    const float flatEq[16] = {};
    for (auto _ : state)
    {
        bool tooLong = false, clipped = false;
        std::string error;
        if (!store->loadFromFile(files().long21, hostRate, tooLong, clipped, error) ||
            !calculate(*store, flatEq, false))
            state.SkipWithError("load failed");
    }
    state.counters["partitions"] = static_cast<double>(store->partitionCount);
}
BENCHMARK(BM_LoadAndCalculate21sStereo)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

void BM_RecomputeAfterEqEdit117Partitions(benchmark::State& state)
{
    auto owned = loadedStore(files().full, fileRate);
    tam::TWAVfile* store = &owned->store;
    // Two points; the edit moves the gain of the second.
    float eq[16] = {0.55f, 0.8f, 0.85f, 0.5f};
    calculate(*store, eq, false);
    bool flip = false;
    for (auto _ : state)
    {
        flip = !flip;
        eq[3] = flip ? 0.6f : 0.5f;
        if (!calculate(*store, eq, false))
            state.SkipWithError("no recomputation");
    }
    state.counters["partitions"] = static_cast<double>(store->partitionCount);
}
BENCHMARK(BM_RecomputeAfterEqEdit117Partitions)->Unit(benchmark::kMillisecond);

} // namespace
