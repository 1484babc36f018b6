#include "EngineFixture.h"
#include "support/InstructionSets.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <random>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

using namespace tam;
using namespace tam::test;

namespace {

constexpr int latency = ConvolutionEngine::latencySamples;

/// A decaying noise response of the given number of partitions, quiet enough
/// that noise through it stays below the output limit.
std::vector<float> response(int partitions, unsigned seed)
{
    auto h = noise(static_cast<std::size_t>(partitions) * 8192, seed, 0.01f);
    for (std::size_t i = 0; i < h.size(); ++i)
        h[i] *= std::exp(-3.0f * static_cast<float>(i) / static_cast<float>(h.size()));
    return h;
}

double peakOf(const std::vector<double>& v)
{
    double peak = 0.0;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    return peak;
}

/// Largest deviation of output[delay + n] from reference[n].
double maxError(const std::vector<float>& output, const std::vector<double>& reference, std::size_t delay)
{
    double worst = 0.0;
    for (std::size_t n = 0; n + delay < output.size() && n < reference.size(); ++n)
        worst = std::max(worst, std::fabs(static_cast<double>(output[n + delay]) - reference[n]));
    return worst;
}

} // namespace

TEST(ConvolutionEngine, WetOutputIsTheInputConvolvedWithTheResponseDelayedByTheLatencyForEveryBlockSize)
{
    for (const int partitions : {1, 2, 5})
    {
        const auto irLeft = response(partitions, 10u + static_cast<unsigned>(partitions));
        const auto irRight = response(partitions, 20u + static_cast<unsigned>(partitions));
        // Sparse input keeps the double-precision reference cheap.
        const std::size_t frames = static_cast<std::size_t>(latency) + irLeft.size() + 8192 * 2;
        std::vector<float> inL(frames, 0.0f);
        std::vector<float> inR(frames, 0.0f);
        for (const std::size_t at : {std::size_t{0}, std::size_t{1}, std::size_t{767}, std::size_t{8191},
                                     std::size_t{8192}, std::size_t{12345}})
        {
            inL[at] = 0.7f;
            inR[at + 3] = -0.4f;
        }
        const auto refL = directConvolution(inL, irLeft, frames);
        const auto refR = directConvolution(inR, irRight, frames);
        const double tolerance = 2e-5 * std::max(peakOf(refL), peakOf(refR)) * std::sqrt(partitions);
        ASSERT_LT(std::max(peakOf(refL), peakOf(refR)), 2.0);

        for (const int block : {1, 7, 64, 512, 8192, 10000})
        {
            if (block == 1 && partitions == 5)
                continue; // same code path as 7, a lot slower
            EngineFixture fx;
            fx.offerResponse(irLeft, irRight);
            Stereo io(frames);
            io.left = inL;
            io.right = inR;
            fx.run(io, block);
            for (std::size_t n = 0; n < static_cast<std::size_t>(latency); ++n)
                ASSERT_EQ(io.left[n], 0.0f) << "output before the latency, sample " << n;
            EXPECT_LT(maxError(io.left, refL, latency), tolerance) << partitions << " partitions, block " << block;
            EXPECT_LT(maxError(io.right, refR, latency), tolerance) << partitions << " partitions, block " << block;
        }
    }
}

TEST(ConvolutionEngine, NoiseThroughATwoPartitionResponseMatchesTheDirectConvolution)
{
    const auto irLeft = response(2, 3);
    const auto irRight = response(2, 4);
    const std::size_t frames = 40000;
    auto inL = noise(frames, 5, 0.5f);
    auto inR = noise(frames, 6, 0.5f);
    std::fill(inL.begin() + 20000, inL.end(), 0.0f);
    std::fill(inR.begin() + 20000, inR.end(), 0.0f);
    const auto refL = directConvolution(inL, irLeft, frames);
    const auto refR = directConvolution(inR, irRight, frames);

    EngineFixture fx;
    fx.offerResponse(irLeft, irRight);
    Stereo io(frames);
    io.left = inL;
    io.right = inR;
    fx.run(io, 333);
    ASSERT_LT(peakOf(refL), 2.0) << "the reference must stay below the output limit";
    EXPECT_LT(maxError(io.left, refL, latency), 2e-5 * peakOf(refL));
    EXPECT_LT(maxError(io.right, refR, latency), 2e-5 * peakOf(refR));
}

TEST(ConvolutionEngine, ProcessAddsToTheOutputAndProcessReplacingOverwritesIt)
{
    const std::vector<float> ir = {1.0f, 0.5f};
    const std::size_t frames = latency + 100;
    for (const auto mode : {ConvolutionEngine::Mode::add, ConvolutionEngine::Mode::replace})
    {
        EngineFixture fx;
        fx.offerResponse(ir, ir);
        std::vector<float> inL(frames, 0.0f);
        std::vector<float> inR(frames, 0.0f);
        inL[0] = 1.0f;
        std::vector<float> outL(frames, 0.25f);
        std::vector<float> outR(frames, 0.25f);
        const float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {outL.data(), outR.data()};
        fx.engine->process(in, out, static_cast<int>(frames), mode);
        const float base = mode == ConvolutionEngine::Mode::add ? 0.25f : 0.0f;
        EXPECT_FLOAT_EQ(outL[0], base);
        EXPECT_NEAR(outL[latency], base + 1.0f, 1e-6);
        EXPECT_NEAR(outL[latency + 1], base + 0.5f, 1e-6);
        EXPECT_NEAR(outR[latency], base, 1e-6);
    }
}

TEST(ConvolutionEngine, DrySignalIsTheInputDelayedByTheLatencyWhenNoResponseIsReady)
{
    EngineFixture fx;
    fx.controls.dry.store(0.8f);
    fx.controls.muteDry.store(0.5f);
    fx.restart(); // gains straight to the new targets
    const auto in = noise(20000, 7);
    Stereo io(in.size());
    io.left = in;
    io.right = in;
    fx.run(io, 100);
    for (std::size_t n = 0; n < in.size(); ++n)
    {
        const float expected = n < static_cast<std::size_t>(latency) ? 0.0f : in[n - latency] * 0.8f * 0.5f;
        ASSERT_FLOAT_EQ(io.left[n], expected) << n;
    }
}

TEST(ConvolutionEngine, PredelayShiftsTheWetSignalAndTheLongestDelayReadsTheOldestHistory)
{
    for (const int delay : {0, 1, 441, 16383})
    {
        EngineFixture fx;
        fx.controls.delaySamples.store(delay);
        fx.offerResponse({1.0f}, {1.0f});
        Stereo io(static_cast<std::size_t>(latency + delay + 10));
        io.left[0] = 1.0f;
        fx.run(io, 256);
        for (std::size_t n = 0; n < io.size(); ++n)
        {
            const float expected = n == static_cast<std::size_t>(latency + delay) ? 1.0f : 0.0f;
            ASSERT_NEAR(io.left[n], expected, 1e-6) << "delay " << delay << " sample " << n;
        }
    }
}

TEST(ConvolutionEngine, StereoRoutingFeedsTheMonoSumAtZeroWidth)
{
    EngineFixture fx;
    fx.controls.stereoRouting.store(0.0f);
    fx.offerResponse({1.0f}, {1.0f});
    Stereo io(latency + 4);
    io.left[0] = 1.0f;
    fx.run(io, 64);
    EXPECT_NEAR(io.left[latency], 0.5f, 1e-6);
    EXPECT_NEAR(io.right[latency], 0.5f, 1e-6);
}

TEST(ConvolutionEngine, ScheduleSpreadsTheStepsEvenlyOverThePeriod)
{
    struct Case
    {
        int partitions;
        int filled;
        std::vector<std::pair<int, int>> stepPositions; // (step, position)
    };
    const Case cases[] = {
        {1, 0, {{1, 384}}},
        {117, 116, {{1, 68}, {2, 1280}, {3, 1335}, {117, 7624}}},
    };
    for (const auto& c : cases)
    {
        EngineFixture fx;
        std::vector<float> ir(static_cast<std::size_t>(c.partitions) * 8192 - 200, 0.0f);
        ir[0] = 1.0f;
        fx.offerResponse(ir, ir);
        // Run into the second period, one sample at a time, recording where
        // each step was scheduled.
        Stereo io(1);
        std::vector<std::pair<int, int>> seen;
        for (int n = 0; n < 8192 + 8191; ++n)
        {
            io.left[0] = 0.1f;
            io.right[0] = 0.1f;
            fx.run(io, 1);
            if (n >= 8192 && (seen.empty() || seen.back().first != fx.engine->getWorkStep()))
                seen.emplace_back(fx.engine->getWorkStep(), fx.engine->getNextStepPos());
        }
        EXPECT_EQ(fx.engine->getFilledFfts(), c.filled);
        for (const auto& [step, position] : c.stepPositions)
        {
            const auto it = std::find_if(seen.begin(), seen.end(), [&](auto& s) { return s.first == step; });
            ASSERT_NE(it, seen.end()) << "step " << step;
            EXPECT_EQ(it->second, position) << c.partitions << " partitions, step " << step;
        }
    }
}

TEST(ConvolutionEngine, DynamicCpuSkipsSilentBlocksAndOutputsExactZeros)
{
    EngineFixture fx;
    fx.engine->setDynamicCpu(true);
    fx.offerResponse(response(3, 1), response(3, 2));
    Stereo io(8192 * 10);
    for (std::size_t n = 0; n < 3000; ++n)
        io.left[n] = io.right[n] = 0.3f;
    fx.run(io, 512);
    // The non-silent block has left the delay line after three periods.
    const long transforms = fx.engine->getTransformCount();
    const long multiplies = fx.engine->getMultiplyCount();
    Stereo silence(8192 * 4);
    fx.run(silence, 512);
    EXPECT_EQ(fx.engine->getTransformCount(), transforms);
    EXPECT_EQ(fx.engine->getMultiplyCount(), multiplies);
    for (float v : silence.left)
        ASSERT_EQ(v, 0.0f);

    // A block with a single tiny sample is not silent.
    Stereo tiny(8192 * 2);
    tiny.left[100] = 1e-20f;
    fx.run(tiny, 512);
    EXPECT_GT(fx.engine->getTransformCount(), transforms);
}

TEST(ConvolutionEngine, WithDynamicCpuOffEveryBlockIsTransformed)
{
    EngineFixture fx;
    fx.offerResponse(response(3, 1), response(3, 2));
    Stereo silence(8192 * 4);
    fx.run(silence, 512);
    EXPECT_GE(fx.engine->getTransformCount(), 4 + 3); // forward every boundary, inverse every period
    EXPECT_EQ(fx.engine->getFilledFfts(), 2);
}

TEST(ConvolutionEngine, BypassPassesTheDelayedDrySignalOnly)
{
    EngineFixture fx;
    fx.controls.dry.store(1.0f);
    fx.controls.bypass.store(0.3f);
    fx.restart();
    fx.offerResponse({1.0f, 1.0f, 1.0f}, {1.0f});
    const auto in = noise(latency + 2000, 9);
    Stereo io(in.size());
    io.left = in;
    io.right = in;
    fx.run(io, 128);
    for (std::size_t n = latency; n < in.size(); ++n)
        ASSERT_FLOAT_EQ(io.left[n], in[n - latency]);
}

TEST(ConvolutionEngine, ResetClearsTheReverbButKeepsTheDrySignalRunning)
{
    EngineFixture fx;
    fx.controls.dry.store(1.0f);
    fx.restart();
    fx.offerResponse(response(1, 4), response(1, 5));
    const auto in = noise(4000, 11);
    Stereo first(4000);
    first.left = in;
    first.right = in;
    fx.run(first, 500);
    fx.engine->requestReset();
    Stereo second(latency + 20000);
    fx.run(second, 500);
    // The dry part of the earlier input still arrives after the reset ...
    for (std::size_t n = latency - 4000; n < static_cast<std::size_t>(latency); ++n)
        ASSERT_FLOAT_EQ(second.left[n], in[n - (latency - 4000)]);
    // ... and no reverb of it follows.
    for (std::size_t n = latency; n < second.size(); ++n)
        ASSERT_EQ(second.left[n], 0.0f) << n;
}

TEST(ConvolutionEngine, SuspendClearsTheInputHistoryToo)
{
    EngineFixture fx;
    fx.controls.dry.store(1.0f);
    fx.restart();
    Stereo first(4000);
    std::fill(first.left.begin(), first.left.end(), 0.5f);
    fx.run(first, 500);
    fx.restart();
    Stereo second(latency + 10);
    fx.run(second, 500);
    for (float v : second.left)
        ASSERT_EQ(v, 0.0f);
}

TEST(ConvolutionEngine, GainChangesFadeLinearlyOver5512Samples)
{
    EngineFixture fx;
    fx.controls.dry.store(0.0f);
    fx.restart();
    Stereo warm(latency);
    std::fill(warm.left.begin(), warm.left.end(), 1.0f);
    fx.run(warm, 1000);
    fx.controls.dry.store(1.0f);
    fx.engine->requestDryFade();
    Stereo io(6000);
    std::fill(io.left.begin(), io.left.end(), 1.0f);
    fx.run(io, 1000);
    // After n samples of the fade the gain is n / 5512 of the way.
    for (int n = 1; n <= 5512; n += 97)
        ASSERT_NEAR(io.left[static_cast<std::size_t>(n - 1)], static_cast<float>(n) / 5512.0f, 1e-5) << n;
    EXPECT_FLOAT_EQ(io.left[5600], 1.0f);

    // Restarting a fade at an unchanged level keeps the level flat.
    fx.engine->requestDryFade();
    Stereo flat(3000);
    std::fill(flat.left.begin(), flat.left.end(), 1.0f);
    fx.run(flat, 1000);
    for (float v : flat.left)
        ASSERT_FLOAT_EQ(v, 1.0f);
}

TEST(ConvolutionEngine, TheTwelveDecibelSwitchMultipliesTheWetGainByExactlyFour)
{
    EngineFixture fx;
    fx.controls.add12dB.store(1.0f);
    fx.restart();
    fx.offerResponse({0.125f}, {-0.0625f});
    Stereo io(latency + 10);
    io.left[0] = io.right[0] = 1.0f;
    fx.run(io, 64);
    EXPECT_NEAR(io.left[latency], 0.5f, 1e-6);
    EXPECT_NEAR(io.right[latency], -0.25f, 1e-6);
}

TEST(ConvolutionEngine, OutputIsLimitedAndOverloadIsReportedFromTheWetPartOnly)
{
    EngineFixture fx;
    fx.controls.dry.store(1.0f);
    fx.restart();
    Stereo io(latency + 10);
    io.left[0] = 3.0f;
    fx.run(io, 64);
    EXPECT_FLOAT_EQ(io.left[latency], 2.0f);
    EXPECT_EQ(fx.engine->takeClipState(), 0); // the dry part never counts

    EngineFixture wet;
    wet.offerResponse({1.5f}, {-2.5f});
    Stereo loud(latency + 10);
    loud.left[0] = 1.0f;
    loud.right[0] = 1.0f;
    wet.run(loud, 64);
    EXPECT_NEAR(loud.left[latency], 1.5f, 1e-5);
    EXPECT_FLOAT_EQ(loud.right[latency], -2.0f);
    EXPECT_EQ(wet.engine->takeClipState(), 2);
    EXPECT_EQ(wet.engine->takeClipState(), 0); // reading clears it

    // Neither a response that overflows the arithmetic nor input that is not
    // a number makes the output non-finite.
    EngineFixture huge;
    huge.controls.dry.store(1.0f);
    huge.restart();
    huge.offerResponse(std::vector<float>(300, std::numeric_limits<float>::max()), {-1e35f});
    Stereo bad(latency * 3);
    bad.left = noise(bad.size(), 3);
    bad.right = noise(bad.size(), 4);
    bad.left[100] = std::numeric_limits<float>::quiet_NaN();
    bad.right[200] = std::numeric_limits<float>::infinity();
    huge.run(bad, 512);
    for (std::size_t n = 0; n < bad.size(); ++n)
        ASSERT_TRUE(std::isfinite(bad.left[n]) && std::isfinite(bad.right[n])) << n;
}

TEST(ConvolutionEngine, PeakMeterHoldsFor88200SamplesThenHalvesEvery8820)
{
    EngineFixture fx;
    fx.controls.dry.store(1.0f);
    fx.restart();
    Stereo io(latency + 1);
    io.left[0] = 1.0f;
    fx.run(io, 1024);
    EXPECT_FLOAT_EQ(fx.engine->readMeters().dryPeak[0], 1.0f);
    Stereo hold(88200);
    fx.run(hold, 1024);
    EXPECT_FLOAT_EQ(fx.engine->readMeters().dryPeak[0], 1.0f);
    Stereo decay(8820 + 1);
    fx.run(decay, 1024);
    EXPECT_NEAR(fx.engine->readMeters().dryPeak[0], 0.5f, 0.002f);
}

TEST(ConvolutionEngine, DenormalInputsReachNeitherTheDryPathNorTheConvolution)
{
    EngineFixture fx;
    fx.controls.dry.store(1.0f);
    fx.restart();
    fx.offerResponse({1.0f}, {1.0f});
    Stereo io(latency + 4);
    io.left[0] = std::numeric_limits<float>::denorm_min() * 8;
    io.right[0] = -std::numeric_limits<float>::denorm_min();
    fx.run(io, 64);
    EXPECT_EQ(io.left[latency], 0.0f);
    EXPECT_EQ(io.right[latency], 0.0f);
}

#if defined(__SSE2__)
TEST(ConvolutionEngine, TheHostsFloatingPointControlStateSurvivesEveryProcessCall)
{
    EngineFixture fx;
    fx.offerResponse({1.0f}, {1.0f});
    const unsigned original = _mm_getcsr();
    for (const unsigned flags : {0x0000u, 0x8000u, 0x0040u, 0x8040u}) // none, FTZ, DAZ, both
    {
        const unsigned host = (original & ~0x8040u) | flags;
        _mm_setcsr(host);
        Stereo io(256);
        fx.run(io, 64);
        const unsigned after = _mm_getcsr();
        _mm_setcsr(original);
        // The low six bits are sticky exception flags, which any float work raises.
        EXPECT_EQ(after & ~0x3Fu, host & ~0x3Fu) << "host flags " << flags;
    }
}
#endif

TEST(ConvolutionEngine, ProcessingNeverAllocates)
{
    EngineFixture fx;
    fx.offerResponse(response(3, 1), response(3, 2));
    Stereo io(8192 * 4);
    io.left = noise(io.size(), 3);
    io.right = noise(io.size(), 4);
    AllocationCounter counter;
    fx.run(io, 512);
    fx.engine->requestReset();
    fx.run(io, 512);
    EXPECT_EQ(counter.count(), 0);
}

TEST(ConvolutionEngine, AWithdrawnResponseIsSilentUntilTheNextOneIsOffered)
{
    // A new file: the response held so far is obsolete from the moment the
    // store withdraws it, while the engine still holds its set.
    EngineFixture fx;
    EXPECT_FALSE(fx.engine->holdsResponse());
    fx.offerResponse({0.5f}, {0.5f});
    Stereo io(latency * 2);
    std::fill(io.left.begin(), io.left.end(), 1.0f);
    fx.run(io, 256);
    ASSERT_NEAR(io.left.back(), 0.5f, 1e-5);
    EXPECT_TRUE(fx.engine->holdsResponse());

    fx.engine->partitionWriter().withdraw();
    std::fill(io.left.begin(), io.left.end(), 1.0f);
    fx.run(io, 256);
    EXPECT_EQ(*std::max_element(io.left.begin(), io.left.end()), 0.0f);
    EXPECT_TRUE(fx.engine->holdsResponse());

    fx.offerResponse({0.25f}, {0.25f}, true);
    std::fill(io.left.begin(), io.left.end(), 1.0f);
    fx.run(io, 256);
    EXPECT_NEAR(io.left.back(), 0.25f, 1e-5);
}

TEST(ConvolutionEngine, ANewResponseTakesOverAtABlockWithoutDroppingTheWetSignal)
{
    // A constant input through a one-tap response gives a constant wet
    // output; swapping to a response of another gain must move from one
    // level to the other without a gap of silence.
    EngineFixture fx;
    fx.offerResponse({0.5f}, {0.5f});
    Stereo warm(latency * 3);
    std::fill(warm.left.begin(), warm.left.end(), 1.0f);
    fx.run(warm, 256);
    ASSERT_NEAR(warm.left.back(), 0.5f, 1e-5);

    fx.offerResponse({0.25f}, {0.25f});
    Stereo io(8192 * 4);
    std::fill(io.left.begin(), io.left.end(), 1.0f);
    fx.run(io, 256);
    bool switched = false;
    for (std::size_t n = 0; n < io.size(); ++n)
    {
        const float v = io.left[n];
        ASSERT_TRUE(std::fabs(v - 0.5f) < 1e-4f || std::fabs(v - 0.25f) < 1e-4f || (v > 0.25f && v < 0.5f))
            << "sample " << n << " = " << v;
        switched = switched || std::fabs(v - 0.25f) < 1e-4f;
    }
    EXPECT_TRUE(switched);
    EXPECT_NEAR(io.left.back(), 0.25f, 1e-5);
}

TEST(ConvolutionEngine, AResponseOfferedBeforePlaybackIsHeardFromTheFirstSample)
{
    EngineFixture fx;
    fx.offerResponse(response(4, 8), response(4, 9));
    const auto ir = response(4, 8);
    Stereo io(latency + ir.size());
    io.left[0] = 1.0f;
    fx.run(io, 512);
    double worst = 0.0;
    for (std::size_t n = 0; n < ir.size(); ++n)
        worst = std::max(worst, static_cast<double>(std::fabs(io.left[latency + n] - ir[n])));
    EXPECT_LT(worst, 1e-5);
}

TEST(ConvolutionEngine, TheCrossfadeIsLinearOverOnePeriodAndEndsOnTheFullNewConvolution)
{
    // Constant input through one-tap responses: the output moves in a
    // straight line from the old level to the new one.
    {
        EngineFixture fx;
        fx.offerResponse({0.5f}, {0.5f});
        Stereo warm(latency * 3);
        std::fill(warm.left.begin(), warm.left.end(), 1.0f);
        fx.run(warm, 256);
        fx.offerResponse({0.25f}, {0.25f});
        Stereo io(8192 * 4);
        std::fill(io.left.begin(), io.left.end(), 1.0f);
        fx.run(io, 256);
        std::size_t start = 0;
        while (start < io.size() && io.left[start] > 0.5f - 1e-5f)
            ++start;
        ASSERT_LT(start, io.size());
        for (std::size_t k = 0; k < 8192; ++k)
            ASSERT_NEAR(io.left[start + k], 0.5f - 0.25f * static_cast<float>(k + 1) / 8192.0f, 2e-5) << k;
        EXPECT_NEAR(io.left[start + 8192], 0.25f, 1e-6);
    }
    // Noise through multi-partition responses: once the fade is over, the
    // output is the new response's convolution of the whole input history,
    // including input that arrived long before the change.
    {
        const auto oldLeft = response(2, 31), oldRight = response(2, 32);
        const auto newLeft = response(3, 33), newRight = response(3, 34);
        const std::size_t frames = 8192 * 10;
        // Sparse input keeps the double-precision reference cheap.
        auto inL = noise(frames, 35, 0.5f);
        auto inR = noise(frames, 36, 0.5f);
        for (std::size_t n = 0; n < frames; ++n)
            if (n % 257 != 0)
                inL[n] = inR[n] = 0.0f;
        EngineFixture fx;
        fx.offerResponse(oldLeft, oldRight);
        Stereo io(frames);
        io.left = inL;
        io.right = inR;
        const std::size_t change = 8192 * 4 + 1000;
        for (std::size_t start = 0; start < frames; start += 512)
        {
            if (start == change - change % 512)
                fx.offerResponse(newLeft, newRight);
            const float* in[2] = {io.left.data() + start, io.right.data() + start};
            float* out[2] = {io.left.data() + start, io.right.data() + start};
            fx.engine->process(in, out, 512, ConvolutionEngine::Mode::replace);
        }
        const auto refL = directConvolution(inL, newLeft, frames);
        const auto refR = directConvolution(inR, newRight, frames);
        const auto oldRefL = directConvolution(inL, oldLeft, frames);
        // Offered during period 4: the incoming lane prepares in period 5,
        // both complete their blocks in period 6, and the fade runs from its
        // release position for one period, mixing the two full convolutions.
        const std::size_t fadeStart = 8192 * 6 + 768;
        double worstInFade = 0.0;
        for (std::size_t k = 0; k < 8192; ++k)
        {
            const double a = static_cast<double>(k) / 8192.0;
            const std::size_t n = fadeStart + k - latency;
            const double expected = (1.0 - a) * oldRefL[n] + a * refL[n];
            worstInFade = std::max(worstInFade, std::fabs(io.left[fadeStart + k] - expected));
        }
        EXPECT_LT(worstInFade, 2e-5 * peakOf(refL) * 2);
        const std::size_t settled = fadeStart + 8192;
        double worst = 0.0;
        for (std::size_t n = settled; n + latency < frames; ++n)
        {
            worst = std::max(worst, std::fabs(io.left[n + latency] - refL[n]));
            worst = std::max(worst, std::fabs(io.right[n + latency] - refR[n]));
        }
        EXPECT_LT(worst, 2e-5 * std::max(peakOf(refL), peakOf(refR)) * 2);
        EXPECT_FALSE(fx.engine->isCrossfading());
    }
}

TEST(ConvolutionEngine, AnEditDuringACrossfadeIsHeardThroughAnotherCrossfadeNeverThroughSilence)
{
    // Noise through responses of one level: every 1024-sample window of wet
    // output keeps roughly that level, whenever the second edit arrives.
    const std::size_t frames = 8192 * 12;
    const std::size_t firstEdit = 8192 * 3 + 1000;
    for (const std::size_t offset : {2048u, 8192u, 12000u, 16384u, 20000u, 24576u})
    {
        EngineFixture fx;
        fx.offerResponse(response(2, 41), response(2, 42));
        Stereo io(frames);
        io.left = noise(frames, 43, 0.5f);
        io.right = noise(frames, 44, 0.5f);
        for (std::size_t start = 0; start < frames; start += 256)
        {
            if (start == firstEdit - firstEdit % 256)
                fx.offerResponse(response(2, 45), response(2, 46));
            if (start == (firstEdit + offset) - (firstEdit + offset) % 256)
                fx.offerResponse(response(2, 47), response(2, 48));
            const float* in[2] = {io.left.data() + start, io.right.data() + start};
            float* out[2] = {io.left.data() + start, io.right.data() + start};
            fx.engine->process(in, out, 256, ConvolutionEngine::Mode::replace);
        }
        std::vector<double> levels;
        for (std::size_t w = latency + 16384; w + 1024 <= frames; w += 1024)
        {
            double sum = 0.0;
            for (std::size_t n = w; n < w + 1024; ++n)
                sum += static_cast<double>(io.left[n]) * io.left[n];
            levels.push_back(std::sqrt(sum / 1024.0));
        }
        const double typical = levels[levels.size() / 2];
        for (std::size_t k = 0; k < levels.size(); ++k)
            EXPECT_GT(levels[k], 0.5 * typical) << "second edit " << offset << " after the first, window " << k;
    }
}

namespace {

// Output, meters and overload state of a scene that exercises the whole
// per-sample path: fades, pre-delay, a held and decaying meter, clipping.
auto renderBusyScene(int blockSize)
{
    EngineFixture fx;
    fx.controls.dry.store(0.7f);
    fx.controls.delaySamples.store(300);
    fx.restart();
    fx.offerResponse(std::vector<float>(9000, 0.02f), {1.2f, 0.0f, -0.4f});
    fx.engine->requestDryFade();
    fx.engine->requestWetFade();
    Stereo io(100000);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    for (std::size_t i = 0; i < io.size(); ++i)
    {
        const float loud = i < 2000 ? 10.0f : 1.0f; // a burst the meters hold, then let decay
        io.left[i] = loud * noise(rng);
        io.right[i] = loud * noise(rng);
    }
    fx.run(io, blockSize);
    const auto m = fx.engine->readMeters();
    return std::make_tuple(io.left, io.right, std::vector<float>{m.dryPeak[0], m.dryPeak[1], m.dryVu[0], m.dryVu[1],
                                                                 m.wetPeak[0], m.wetPeak[1], m.wetVu[0], m.wetVu[1]},
                           fx.engine->takeClipState());
}

} // namespace

TEST(ConvolutionEngine, HostBlockSizeChangesNothingInOutputMetersOrOverload)
{
    // The engine works in runs between due work and ring wraps; how a host
    // cuts its blocks must not show in a single bit.
    const auto reference = renderBusyScene(1);
    EXPECT_GT(std::get<3>(reference), 0);
    for (const int blockSize : {997, 512})
        EXPECT_TRUE(renderBusyScene(blockSize) == reference) << blockSize;
}

TEST(ConvolutionEngine, EveryInstructionSetRendersTheSceneAlikeUpToTheTransformsRounding)
{
    // The sets differ in the transforms' and the kernel's rounding only.
    std::optional<decltype(renderBusyScene(512))> first;
    test::forEachInstructionSet([&](InstructionSet) {
        const auto scene = renderBusyScene(512);
        if (!first)
            first = scene;
        const auto& [left, right, meters, clip] = scene;
        EXPECT_EQ(clip, std::get<3>(*first));
        for (std::size_t i = 0; i < left.size(); ++i)
        {
            ASSERT_NEAR(left[i], std::get<0>(*first)[i], 1e-5f) << i;
            ASSERT_NEAR(right[i], std::get<1>(*first)[i], 1e-5f) << i;
        }
        for (std::size_t m = 0; m < meters.size(); ++m)
            EXPECT_NEAR(meters[m], std::get<2>(*first)[m], 1e-5f) << m;
    });
}
