// The spectral multiply-accumulate kernel: the engine runs it once per
// partition and period (117 times per 8192 samples at most). Three buffers
// of 32768 floats (slot, partition, accumulator), 16-byte aligned as the
// engine allocates them. The single-pair benchmarks run from the cache; the
// 117-pair one walks through 117 slots and 117 partitions (30 MB) as the
// engine does in one period, so it pays for memory traffic.
#include "BenchSupport.h"
#include "engine/Kernel.h"
#include "engine/PartitionTransform.h"
#include "engine/TMemman.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

struct KernelSetup
{
    tam::TMemman memman;
    tam::FftTables fft;
    float* slot;
    float* partition;
    float* accumulator;

    KernelSetup()
        : slot(allocate("slot", 1)), partition(responsePartition(2)), accumulator(allocate("accumulator", 3))
    {
    }

    /// A partition of a noise response, built as the store builds its own.
    float* responsePartition(std::uint64_t seed)
    {
        std::vector<float> samples(2 * tam::partitionLength);
        tam::bench::BenchNoise noise(seed);
        for (float& v : samples)
            v = noise.next();
        std::vector<float> block(tam::spectrumFloats);
        tam::packPartition(samples.data(), samples.data() + tam::partitionLength, 0, tam::partitionLength,
                           block.data());
        float* spectra = allocate("partition", seed);
        tam::partitionSpectrum(block.data(), spectra, fft);
        return spectra;
    }

    float* allocate(const char* name, std::uint64_t seed)
    {
        auto* buffer = static_cast<float*>(memman.alloc(tam::spectrumFloats * sizeof(float), name));
        tam::bench::BenchNoise noise(seed);
        for (int i = 0; i < tam::spectrumFloats; ++i)
            buffer[i] = noise.next();
        return buffer;
    }
};

template <void (*Kernel)(const float*, const float*, float*, bool)>
void runKernel(benchmark::State& state)
{
    KernelSetup s;
    for (auto _ : state)
    {
        Kernel(s.slot, s.partition, s.accumulator, false);
        benchmark::DoNotOptimize(s.accumulator);
        benchmark::ClobberMemory();
    }
    // Two inputs read, the accumulator read and written.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4 * tam::spectrumFloats *
                            static_cast<std::int64_t>(sizeof(float)));
}

void BM_MultiplyAccumulate117Pairs(benchmark::State& state)
{
    constexpr int pairs = 117;
    KernelSetup s;
    std::vector<float*> slots, partitions;
    for (int i = 0; i < pairs; ++i)
    {
        slots.push_back(s.allocate("slot", 100u + static_cast<std::uint64_t>(i)));
        partitions.push_back(s.responsePartition(300u + static_cast<std::uint64_t>(i)));
    }
    for (auto _ : state)
    {
        for (int i = 0; i < pairs; ++i)
            tam::multiplyAccumulate(slots[static_cast<std::size_t>(i)], partitions[static_cast<std::size_t>(i)],
                                    s.accumulator, i == 0);
        benchmark::DoNotOptimize(s.accumulator);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * pairs); // kernel calls
}
BENCHMARK(BM_MultiplyAccumulate117Pairs)->Unit(benchmark::kMicrosecond);

void BM_MultiplyAccumulate(benchmark::State& state)
{
    runKernel<tam::multiplyAccumulate>(state);
}
BENCHMARK(BM_MultiplyAccumulate);

void BM_MultiplyAccumulateScalar(benchmark::State& state)
{
    runKernel<tam::multiplyAccumulateScalar>(state);
}
BENCHMARK(BM_MultiplyAccumulateScalar);

} // namespace
