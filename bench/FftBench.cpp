// The engine's transform size, n = 32768 floats (16384 complex points): the
// audio thread runs one forward and one backward transform per 8192-sample
// period. Every iteration starts from the same seeded block so that values
// stay in range; BM_FftCopyOnly measures that copy alone.
#include "fft/Fft.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int engineFloats = 32768;

struct Setup
{
    std::vector<float> input = std::vector<float>(engineFloats);
    std::vector<float> work = std::vector<float>(engineFloats);
    std::unique_ptr<tam::FftTables> tables = std::make_unique<tam::FftTables>();

    Setup()
    {
        std::mt19937 rng(20240601u);
        std::uniform_real_distribution<float> value(-1.0f, 1.0f);
        for (float& v : input)
        {
            v = value(rng);
        }
        work = input;
        tam::cdft(engineFloats, -1, work.data(), *tables); // builds the table
    }

    void restart() { std::memcpy(work.data(), input.data(), input.size() * sizeof(float)); }
};

void BM_FftForwardAndBackward(benchmark::State& state)
{
    Setup s;
    for (auto _ : state)
    {
        s.restart();
        tam::cdft(engineFloats, -1, s.work.data(), *s.tables);
        tam::cdft(engineFloats, 1, s.work.data(), *s.tables);
        benchmark::DoNotOptimize(s.work.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftForwardAndBackward);

void BM_FftForward(benchmark::State& state)
{
    Setup s;
    for (auto _ : state)
    {
        s.restart();
        tam::cdft(engineFloats, -1, s.work.data(), *s.tables);
        benchmark::DoNotOptimize(s.work.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftForward);

void BM_FftBackward(benchmark::State& state)
{
    Setup s;
    for (auto _ : state)
    {
        s.restart();
        tam::cdft(engineFloats, 1, s.work.data(), *s.tables);
        benchmark::DoNotOptimize(s.work.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftBackward);

void BM_FftCopyOnly(benchmark::State& state)
{
    Setup s;
    for (auto _ : state)
    {
        s.restart();
        benchmark::DoNotOptimize(s.work.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FftCopyOnly);

} // namespace
