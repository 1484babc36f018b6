#include "engine/Kernel.h"
#include "engine/TMemman.h"
#include "support/InstructionSets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

using namespace tam;

namespace {

using Complex = std::complex<double>;

std::vector<float> randomFloats(std::size_t n, unsigned seed)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> distribution(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v)
        x = distribution(generator);
    return v;
}

/// A conjugate-symmetric spectrum (the spectrum of a real signal).
std::vector<Complex> hermitian(unsigned seed)
{
    auto values = randomFloats(2 * spectrumPoints, seed);
    std::vector<Complex> h(spectrumPoints);
    for (int k = 0; k <= spectrumPoints / 2; ++k)
        h[static_cast<std::size_t>(k)] = {values[static_cast<std::size_t>(2 * k)], values[static_cast<std::size_t>(2 * k + 1)]};
    h[0] = h[0].real();
    h[spectrumPoints / 2] = h[spectrumPoints / 2].real();
    for (int k = 1; k < spectrumPoints / 2; ++k)
        h[static_cast<std::size_t>(spectrumPoints - k)] = std::conj(h[static_cast<std::size_t>(k)]);
    return h;
}

std::vector<float> interleave(const std::vector<Complex>& z)
{
    std::vector<float> v(2 * z.size());
    for (std::size_t k = 0; k < z.size(); ++k)
    {
        v[2 * k] = static_cast<float>(z[k].real());
        v[2 * k + 1] = static_cast<float>(z[k].imag());
    }
    return v;
}

/// 16-byte aligned copies, as the engine's buffers are.
struct Aligned
{
    TMemman memman;
    float* copy(const std::vector<float>& v)
    {
        auto* p = static_cast<float*>(memman.alloc(v.size() * sizeof(float), "test"));
        std::copy(v.begin(), v.end(), p);
        return p;
    }
};

double maxAbs(const float* a, const float* b, int n)
{
    double worst = 0.0;
    for (int i = 0; i < n; ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
    return worst;
}

} // namespace

TEST(Kernel, SplitFormEqualsTheLiteralMidSideKernelOnFullSpectra)
{
    // Input block spectrum X = L + iR from two real channels, response
    // channels H1 and H2; the literal kernel works on S = (H1+H2)/2 and
    // D = (H1-H2)/2.
    const auto l = hermitian(1), r = hermitian(2), h1 = hermitian(3), h2 = hermitian(4);
    std::vector<Complex> x(spectrumPoints), s(spectrumPoints), d(spectrumPoints);
    for (std::size_t k = 0; k < x.size(); ++k)
    {
        x[k] = l[k] + Complex(0, 1) * r[k];
        s[k] = (h1[k] + h2[k]) * 0.5;
        d[k] = (h1[k] - h2[k]) * 0.5;
    }
    Aligned mem;
    const auto xv = interleave(x), sv = interleave(s), dv = interleave(d);
    float* literal = mem.copy(std::vector<float>(spectrumFloats, 7.0f)); // stale content is overwritten
    bool empty = true;
    multiplyPartition(xv.data(), sv.data(), dv.data(), literal, empty);
    EXPECT_FALSE(empty);
    multiplyPartition(xv.data(), sv.data(), dv.data(), literal, empty); // accumulates: twice the product

    std::vector<float> h1h2(spectrumFloats);
    {
        std::vector<float> packed = interleave([&] {
            std::vector<Complex> z(spectrumPoints);
            for (std::size_t k = 0; k < z.size(); ++k)
                z[k] = h1[k] + Complex(0, 1) * h2[k];
            return z;
        }());
        splitStereoSpectrum(packed.data(), h1h2.data());
    }
    float* slot = mem.copy(std::vector<float>(spectrumFloats));
    splitStereoSpectrum(xv.data(), slot);
    float* partition = mem.copy(h1h2);
    float* acc = mem.copy(std::vector<float>(spectrumFloats, 7.0f));
    multiplyAccumulate(slot, partition, acc, true);
    multiplyAccumulate(slot, partition, acc, false);
    std::vector<float> joined(spectrumFloats);
    joinStereoSpectrum(acc, joined.data());

    // Products of values up to ~2 summed twice: single-precision rounding.
    EXPECT_LT(maxAbs(joined.data(), literal, spectrumFloats), 5e-6);
}

TEST(Kernel, SplitSeparatesTheChannelsAndJoinRebuildsTheSpectrum)
{
    const auto l = hermitian(5), r = hermitian(6);
    std::vector<Complex> x(spectrumPoints);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] = l[k] + Complex(0, 1) * r[k];
    const auto xv = interleave(x);
    // Every instruction set does the same additions: the same values.
    std::vector<float> firstHalves, firstRebuilt;
    test::forEachInstructionSet([&](InstructionSet) {
        std::vector<float> halves(spectrumFloats), rebuilt(spectrumFloats);
        splitStereoSpectrum(xv.data(), halves.data());
        EXPECT_NEAR(halves[0], l[0].real(), 1e-6);
        EXPECT_NEAR(halves[1], l[spectrumPoints / 2].real(), 1e-6);
        EXPECT_NEAR(halves[halfSpectrumFloats + 2 * 100], r[100].real(), 1e-6);
        EXPECT_NEAR(halves[halfSpectrumFloats + 2 * 100 + 1], r[100].imag(), 1e-6);
        joinStereoSpectrum(halves.data(), rebuilt.data());
        EXPECT_LT(maxAbs(rebuilt.data(), xv.data(), spectrumFloats), 1e-6);
        if (firstHalves.empty())
        {
            firstHalves = halves;
            firstRebuilt = rebuilt;
        }
        EXPECT_EQ(halves, firstHalves);
        EXPECT_EQ(rebuilt, firstRebuilt);
    });
}

TEST(Kernel, EveryInstructionSetAgreesWithTheScalarKernel)
{
    // SSE2 rounds as the scalar code does; FMA rounds the products once,
    // which moves a result by at most a few units in the last place.
    Aligned mem;
    float* slot = mem.copy(randomFloats(spectrumFloats, 7));
    float* partition = mem.copy(randomFloats(spectrumFloats, 8));
    const auto start = randomFloats(spectrumFloats, 9);
    test::forEachInstructionSet([&](InstructionSet set) {
        for (const bool store : {true, false})
        {
            float* fast = mem.copy(start);
            float* scalar = mem.copy(start);
            multiplyAccumulate(slot, partition, fast, store);
            multiplyAccumulateScalar(slot, partition, scalar, store);
            EXPECT_LE(maxAbs(fast, scalar, spectrumFloats), set == InstructionSet::avx2 ? 1e-6 : 0.0)
                << (store ? "store" : "accumulate");
        }
    });
}

TEST(Kernel, LiteralKernelPairsBinZeroWithItselfAndKeepsIdenticalChannelsSeparate)
{
    // With identical response channels (D = 0) each output channel is its own
    // input times H; with channel 2 silent (S = D = H1/2) the right output is 0.
    const auto l = hermitian(11), r = hermitian(12), h = hermitian(13);
    std::vector<Complex> x(spectrumPoints), s(spectrumPoints), zero(spectrumPoints), half(spectrumPoints);
    for (std::size_t k = 0; k < x.size(); ++k)
    {
        x[k] = l[k] + Complex(0, 1) * r[k];
        half[k] = h[k] * 0.5;
    }
    const auto xv = interleave(x), hv = interleave(h), zv = interleave(zero), halfv = interleave(half);
    std::vector<float> a(spectrumFloats);
    bool empty = true;
    multiplyPartition(xv.data(), hv.data(), zv.data(), a.data(), empty);
    for (int k : {0, 1, 4, 8192, 16383})
    {
        const Complex expected = l[static_cast<std::size_t>(k)] * h[static_cast<std::size_t>(k)] +
                                 Complex(0, 1) * r[static_cast<std::size_t>(k)] * h[static_cast<std::size_t>(k)];
        EXPECT_NEAR(a[static_cast<std::size_t>(2 * k)], expected.real(), 1e-5) << k;
        EXPECT_NEAR(a[static_cast<std::size_t>(2 * k + 1)], expected.imag(), 1e-5) << k;
    }
    empty = true;
    multiplyPartition(xv.data(), halfv.data(), halfv.data(), a.data(), empty);
    for (int k : {0, 3, 100, 8192})
    {
        const Complex expected = l[static_cast<std::size_t>(k)] * h[static_cast<std::size_t>(k)];
        EXPECT_NEAR(a[static_cast<std::size_t>(2 * k)], expected.real(), 1e-5) << k;
        EXPECT_NEAR(a[static_cast<std::size_t>(2 * k + 1)], expected.imag(), 1e-5) << k;
    }
}
