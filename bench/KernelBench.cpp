// The spectral multiply-accumulate kernel: the engine runs it once per
// partition and period (117 times per 8192 samples at most). Three buffers
// of 32768 floats (slot, partition, accumulator), 16-byte aligned as the
// engine allocates them.
#include "BenchSupport.h"
#include "engine/Kernel.h"
#include "engine/TMemman.h"

#include <benchmark/benchmark.h>

namespace {

struct KernelSetup
{
    tam::TMemman memman;
    float* slot;
    float* partition;
    float* accumulator;

    KernelSetup()
        : slot(allocate("slot", 1)), partition(allocate("partition", 2)), accumulator(allocate("accumulator", 3))
    {
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
