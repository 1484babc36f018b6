// The complex FFT against a direct double-precision DFT, and its context rule.
#include "fft/Fft.h"
#include "fft/FftPortable.h"
#include "support/InstructionSets.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <numbers>
#include <random>
#include <vector>

using namespace tam;

namespace {

constexpr int smallestFloats = 4;
constexpr int largestFloats = 32768;
constexpr float poison = -12345.0f;

// A transform context as each owner reserves it, unbuilt.
struct Context
{
    std::vector<std::int32_t> ip = std::vector<std::int32_t>(fftContextSize, 0);
    std::vector<float> w = std::vector<float>(fftContextSize, 0.0f);

    void transform(int n, int isgn, std::vector<float>& a) { cdft(n, isgn, a.data(), ip.data(), w.data()); }
};

// Runs check(n, isgn) for every size up to and including `largest`, both signs.
template <class Check>
void forEachSizeAndSign(Check check, int largest = largestFloats)
{
    for (int n = smallestFloats; n <= largest; n *= 2)
    {
        for (const int isgn : {-1, 1})
        {
            SCOPED_TRACE(testing::Message() << "n = " << n << ", isgn = " << isgn);
            check(n, isgn);
        }
    }
}

std::vector<float> randomSignal(int n)
{
    std::mt19937 rng(static_cast<unsigned>(n) * 7919u + 17u);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> a(static_cast<std::size_t>(n));
    std::generate(a.begin(), a.end(), [&] { return value(rng); });
    return a;
}

double angle(long long turnsNumerator, int points)
{
    return static_cast<double>(2.0L * std::numbers::pi_v<long double> * turnsNumerator / points);
}

struct Spectrum
{
    std::vector<double> re;
    std::vector<double> im;
    double peak = 0.0;
};

// Direct O(N^2) DFT of randomSignal(n) in double precision, exp(-2 pi i jk/N).
// Cached: the large sizes take a while.
const Spectrum& referenceSpectrum(int n)
{
    static std::map<int, Spectrum> cache;
    if (auto found = cache.find(n); found != cache.end())
    {
        return found->second;
    }
    const std::vector<float> a = randomSignal(n);
    const auto points = static_cast<std::size_t>(n / 2);
    std::vector<double> cosine(points);
    std::vector<double> sine(points);
    for (std::size_t j = 0; j < points; ++j)
    {
        cosine[j] = std::cos(angle(static_cast<long long>(j), n / 2));
        sine[j] = std::sin(angle(static_cast<long long>(j), n / 2));
    }
    Spectrum s{std::vector<double>(points), std::vector<double>(points), 0.0};
    const float* x = a.data();
    const double* c = cosine.data();
    const double* sn = sine.data();
    for (std::size_t k = 0; k < points; ++k)
    {
        double re = 0.0;
        double im = 0.0;
        std::size_t index = 0; // j k mod N
        for (std::size_t j = 0; j < points; ++j)
        {
            const double xr = x[2 * j];
            const double xi = x[2 * j + 1];
            re += xr * c[index] + xi * sn[index];
            im += xi * c[index] - xr * sn[index];
            index += k;
            index -= index >= points ? points : 0;
        }
        s.re[k] = re;
        s.im[k] = im;
        s.peak = std::max(s.peak, std::hypot(re, im));
    }
    return cache.emplace(n, std::move(s)).first->second;
}

// Single-precision rounding grows with the number of passes, log2 N.
double tolerance(int n)
{
    return 0.5 * static_cast<double>(std::numeric_limits<float>::epsilon()) * std::max(1.0, std::log2(n / 2));
}

double worseOf(double worst, double error)
{
    return std::isnan(error) || std::isnan(worst) ? std::numeric_limits<double>::quiet_NaN() : std::max(worst, error);
}

// Transformed randomSignal(n) against the reference, relative to its peak.
// For exp(+...) bin k equals the exp(-...) reference at bin N - k.
void expectMatchesReference(int n, int isgn, const std::vector<float>& result)
{
    const Spectrum& reference = referenceSpectrum(n);
    const std::size_t points = reference.re.size();
    double worst = 0.0;
    for (std::size_t k = 0; k < points; ++k)
    {
        const std::size_t r = isgn >= 0 ? (points - k) % points : k;
        const double re = result[2 * k];
        const double im = result[2 * k + 1];
        worst = worseOf(worst, std::hypot(re - reference.re[r], im - reference.im[r]));
    }
    EXPECT_LT(worst / reference.peak, tolerance(n));
}

} // namespace

TEST(Fft, MatchesADoublePrecisionDftAtEverySizeInBothDirectionsOnEveryInstructionSet)
{
    test::forEachInstructionSet(
        [](InstructionSet)
        {
            forEachSizeAndSign(
                [](int n, int isgn)
                {
                    Context context;
                    std::vector<float> a = randomSignal(n);
                    context.transform(n, isgn, a);
                    expectMatchesReference(n, isgn, a);
                });
        });
}

TEST(Fft, ImpulseGivesOnesAndAOneCycleToneLandsInBinOneForwardAndBinNMinusOneBackward)
{
    forEachSizeAndSign(
        [](int n, int isgn)
        {
            const int points = n / 2;
            std::vector<float> impulse = {1.0f};
            impulse.resize(static_cast<std::size_t>(n), 0.0f);
            std::vector<float> tone(static_cast<std::size_t>(n));
            for (int j = 0; j < points; ++j)
            {
                tone[static_cast<std::size_t>(2 * j)] = static_cast<float>(std::cos(angle(j, points)));
                tone[static_cast<std::size_t>(2 * j + 1)] = static_cast<float>(std::sin(angle(j, points)));
            }
            Context context;
            context.transform(n, isgn, impulse);
            context.transform(n, isgn, tone);
            const int toneBin = isgn < 0 ? 1 : points - 1;
            const double toneAllowed = tolerance(n) * points;
            for (std::size_t k = 0; k < static_cast<std::size_t>(points); ++k)
            {
                ASSERT_NEAR(impulse[2 * k], 1.0, 1e-6) << "bin " << k;
                ASSERT_NEAR(impulse[2 * k + 1], 0.0, 1e-6) << "bin " << k;
                ASSERT_NEAR(tone[2 * k], static_cast<int>(k) == toneBin ? points : 0.0, toneAllowed) << "bin " << k;
                ASSERT_NEAR(tone[2 * k + 1], 0.0, toneAllowed) << "bin " << k;
            }
        });
}

// Any negative isgn is the forward direction, zero the backward one.
TEST(Fft, ForwardThenBackwardReturnsTheInputTimesN)
{
    const std::vector<float> input = randomSignal(largestFloats);
    std::vector<float> a = input;
    Context context;
    context.transform(largestFloats, -7, a);
    context.transform(largestFloats, 0, a);
    double worst = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        const double error = static_cast<double>(a[i]) / (largestFloats / 2) - static_cast<double>(input[i]);
        worst = worseOf(worst, std::abs(error));
    }
    EXPECT_LT(worst, 2.0 * tolerance(largestFloats));
}

TEST(Fft, PortablePathGivesTheSse2PathsValues)
{
    if (useInstructionSet(InstructionSet::sse2) != InstructionSet::sse2)
        GTEST_SKIP() << "no SSE2 path on this machine";
    forEachSizeAndSign(
        [](int n, int isgn)
        {
            Context simd;
            Context portable;
            std::vector<float> a = randomSignal(n);
            std::vector<float> b = a;
            cdft(n, isgn, a.data(), simd.ip.data(), simd.w.data());
            cdftPortable(n, isgn, b.data(), portable.ip.data(), portable.w.data());
            EXPECT_EQ(a, b);
        });
    useInstructionSet(supportedInstructionSet());
}

TEST(Fft, SizesOutsideTheRangeLeaveEverythingUntouched)
{
    for (const int n : {0, 2, 6, 12, 65536, -32768})
    {
        Context context;
        std::fill(context.w.begin(), context.w.end(), poison);
        std::vector<float> a = randomSignal(64);
        const std::vector<float> before = a;
        cdft(n, -1, a.data(), context.ip.data(), context.w.data());
        EXPECT_EQ(a, before) << "n = " << n;
        EXPECT_EQ(context.ip[0], 0) << "n = " << n;
        EXPECT_EQ(context.w[0], poison) << "n = " << n;
    }
}

TEST(Fft, BuildsAndTransformsWithoutAllocating)
{
    Context context;
    std::vector<float> a = randomSignal(largestFloats);
    test::AllocationCounter counter;
    context.transform(largestFloats, -1, a);
    context.transform(largestFloats, 1, a);
    EXPECT_EQ(counter.count(), 0);
}

TEST(FftContext, ABuildWritesOnlyItsShareOfIpAndW)
{
    forEachSizeAndSign(
        [](int n, int isgn)
        {
            Context context;
            std::fill(context.ip.begin() + 1, context.ip.end(), -7);
            std::fill(context.w.begin(), context.w.end(), poison);
            std::vector<float> a = randomSignal(n);
            context.transform(n, isgn, a);
            EXPECT_EQ(context.ip[0], n / 4);
            const auto ipShare = static_cast<std::ptrdiff_t>(2 + std::ceil(std::sqrt(n / 2.0)));
            EXPECT_TRUE(std::all_of(context.ip.begin() + ipShare, context.ip.end(), [](int v) { return v == -7; }));
            EXPECT_TRUE(std::all_of(context.w.begin() + n / 4, context.w.end(), [](float v) { return v == poison; }));
        });
}

TEST(FftContext, ABuiltTableIsReusedUntilIpZeroIsReset)
{
    Context context;
    std::vector<float> a = randomSignal(largestFloats);
    context.transform(largestFloats, -1, a);
    ASSERT_EQ(context.ip[0], largestFloats / 4);
    const std::vector<float> table = context.w;

    // A rebuild would overwrite the poison.
    std::fill(context.w.begin(), context.w.end(), poison);
    context.transform(largestFloats, -1, a);
    EXPECT_EQ(context.ip[0], largestFloats / 4);
    EXPECT_TRUE(std::all_of(context.w.begin(), context.w.end(), [](float v) { return v == poison; }));

    context.ip[0] = 0;
    a = randomSignal(largestFloats);
    context.transform(largestFloats, -1, a);
    EXPECT_EQ(context.ip[0], largestFloats / 4);
    EXPECT_TRUE(std::equal(table.begin(), table.begin() + largestFloats / 4, context.w.begin()));
    Context fresh;
    std::vector<float> expected = randomSignal(largestFloats);
    fresh.transform(largestFloats, -1, expected);
    EXPECT_EQ(a, expected);
}

TEST(FftContext, ATableBuiltForTheLargestSizeServesEverySmallerOne)
{
    Context context;
    std::vector<float> a = randomSignal(largestFloats);
    context.transform(largestFloats, -1, a);
    const std::vector<float> table = context.w;
    forEachSizeAndSign(
        [&](int n, int isgn)
        {
            a = randomSignal(n);
            context.transform(n, isgn, a);
            expectMatchesReference(n, isgn, a);
        },
        largestFloats / 2);
    EXPECT_EQ(context.ip[0], largestFloats / 4);
    EXPECT_EQ(context.w, table);
}

TEST(FftContext, ASmallerOrImplausibleTableIsRebuiltForTheCall)
{
    constexpr int n = 4096;
    for (const std::int32_t stale : {256, 3000, 1 << 20, -1})
    {
        SCOPED_TRACE(testing::Message() << "ip[0] was " << stale);
        Context context;
        context.ip[0] = stale;
        std::fill(context.w.begin(), context.w.end(), poison);
        std::vector<float> a = randomSignal(n);
        context.transform(n, 1, a);
        EXPECT_EQ(context.ip[0], n / 4);
        expectMatchesReference(n, 1, a);
    }
}
