// Loading, resampling, shaping and partitioning of the impulse-response store.
#include "impulse/EqCurve.h"
#include "impulse/LevelText.h"
#include "impulse/TWAVfile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>

using namespace tam;
using namespace tam::test;

namespace {

const float flatEq[16] = {};

std::vector<float> ramp(std::size_t frames, int channels)
{
    std::vector<float> v(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<float>(std::sin(0.001 * static_cast<double>(i))) * 0.5f + (i % 2 == 0 ? 0.1f : -0.1f);
    return v;
}

struct StoreFixture : ::testing::Test
{
    TempDir dir;
    PartitionHandover handover; // no engine takes the sets
    std::unique_ptr<TWAVfile> store = std::make_unique<TWAVfile>(handover.writer());
    bool tooLong = false;
    bool clipped = false;
    std::string error;

    bool load(const std::string& path, int hostRate)
    {
        return store->loadFromFile(path, hostRate, tooLong, clipped, error);
    }
    std::string wav(const std::string& name, int rate, int channels, const std::vector<float>& samples)
    {
        const std::string path = dir.file(name);
        writeFloatWav(path, rate, channels, samples);
        return path;
    }
    bool calculate(float attackLevel = 1.0f, float attackTime = 0.0f, float envelope = 0.0f, float length = 1.0f,
                   float stereo = 1.0f, float reverse = 0.0f, float stretch = 0.5f, const float* eq = flatEq)
    {
        ShapingInputs inputs{{}, attackLevel, attackTime, envelope, length, stereo, reverse, stretch};
        std::copy(eq, eq + eqPointValueCount, inputs.eqPoints.begin());
        return store->calculateDestWave(inputs);
    }
};

using Complex = std::complex<double>;

void fft(std::vector<Complex>& a, bool inverse)
{
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i)
    {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1)
    {
        const double angle = 2.0 * M_PI / static_cast<double>(len) * (inverse ? 1.0 : -1.0);
        for (std::size_t i = 0; i < n; i += len)
            for (std::size_t k = 0; k < len / 2; ++k)
            {
                const Complex w = std::polar(1.0, angle * static_cast<double>(k));
                const Complex u = a[i + k];
                const Complex v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
    }
}

} // namespace

TEST_F(StoreFixture, EqualRatesCopyTheFileAndLeaveTheLastFrameAsANeighbourOnly)
{
    const auto samples = ramp(44100, 1);
    ASSERT_TRUE(load(wav("a.wav", 44100, 1, samples), 44100)) << error;
    EXPECT_EQ(store->sourceLength, 44099);
    for (int i = 0; i < 44099; i += 37)
    {
        ASSERT_EQ(store->sourceWave(0)[i], samples[static_cast<std::size_t>(i)]) << i;
        ASSERT_EQ(store->sourceWave(1)[i], samples[static_cast<std::size_t>(i)]) << "mono fills channel 2, " << i;
    }
    EXPECT_EQ(store->sourceWave(0)[44099], 0.0f);
    EXPECT_FALSE(tooLong);
    EXPECT_FALSE(clipped);
}

TEST_F(StoreFixture, DoubledRateInterpolatesBetweenNeighbours)
{
    const auto samples = ramp(44100, 2);
    ASSERT_TRUE(load(wav("b.wav", 44100, 2, samples), 88200)) << error;
    EXPECT_EQ(store->sourceLength, 88198);
    for (int m = 0; m < 44098; m += 101)
    {
        for (int c = 0; c < 2; ++c)
        {
            const float a = samples[static_cast<std::size_t>(2 * m + c)];
            const float b = samples[static_cast<std::size_t>(2 * (m + 1) + c)];
            EXPECT_FLOAT_EQ(store->sourceWave(c)[2 * m], a);
            EXPECT_NEAR(store->sourceWave(c)[2 * m + 1], 0.5f * (a + b), 1e-6);
        }
    }
}

TEST_F(StoreFixture, OverlongFilesAreCutAndReportedAndOverloadedSamplesAreReported)
{
    std::vector<float> samples(1000000, 0.25f);
    samples[10] = 1.5f;
    ASSERT_TRUE(load(wav("long.wav", 44100, 1, samples), 44100)) << error;
    EXPECT_EQ(store->sourceLength, 959999);
    EXPECT_TRUE(tooLong);
    EXPECT_TRUE(clipped);
}

TEST_F(StoreFixture, AFailedLoadKeepsThePreviousResponseInUse)
{
    ASSERT_TRUE(load(wav("good.wav", 44100, 2, ramp(20000, 2)), 44100));
    ASSERT_TRUE(calculate());
    const auto generation = store->getGeneration();
    const PartitionSet* set = store->latestSet();
    const int length = store->sourceLength;

    const std::string bad = dir.file("bad.wav");
    WavImage image;
    image.tag("RIFX");
    image.u32(4);
    image.tag("WAVE");
    image.save(bad);
    EXPECT_FALSE(load(bad, 44100));
    EXPECT_EQ(error, "Error 13: Not a wave file!");
    EXPECT_FALSE(load(dir.file("missing.wav"), 44100));
    EXPECT_EQ(error, "Error 24: Cannot open file.");
    auto huge = ramp(2000, 1);
    huge[7] = 1e35f;
    EXPECT_FALSE(load(wav("huge.wav", 44100, 1, huge), 44100));
    EXPECT_EQ(error, "Error 49: The file contains sample values far beyond full scale!");

    EXPECT_TRUE(store->isLoaded());
    EXPECT_TRUE(store->isReady());
    EXPECT_EQ(store->getGeneration(), generation);
    EXPECT_EQ(store->latestSet(), set);
    EXPECT_EQ(store->sourceLength, length);
    EXPECT_EQ(store->fileName, dir.file("good.wav"));
}

TEST_F(StoreFixture, StretchScalesTheDestinationLength)
{
    ASSERT_TRUE(load(wav("s.wav", 44100, 1, ramp(30001, 1)), 44100));
    ASSERT_TRUE(calculate(1, 0, 0, 1, 1, 0, 0.5f));
    EXPECT_EQ(store->destLength, 30000);
    ASSERT_TRUE(calculate(1, 0, 0, 1, 1, 0, 0.0f));
    EXPECT_EQ(store->destLength, 15000);
    ASSERT_TRUE(calculate(1, 0, 0, 1, 1, 0, 1.0f));
    EXPECT_EQ(store->destLength, 45000);
    EXPECT_NEAR(store->destSeconds, 45000.0f / 44100.0f, 1e-6);

    ASSERT_TRUE(load(wav("big.wav", 44100, 1, std::vector<float>(700001, 0.1f)), 44100));
    ASSERT_TRUE(calculate(1, 0, 0, 1, 1, 0, 1.0f));
    EXPECT_EQ(store->destLength, 960000);
    EXPECT_EQ(store->partitionCount, 117);
}

TEST_F(StoreFixture, LengthCutsThePartitionCount)
{
    ASSERT_TRUE(load(wav("l.wav", 44100, 1, ramp(100001, 1)), 44100));
    ASSERT_TRUE(calculate(1, 0, 0, 0.5f));
    EXPECT_EQ(store->partitionCount, 7); // (50000 + 150) div 8192 + 1
    ASSERT_TRUE(calculate(1, 0, 0, 0.99f));
    EXPECT_EQ(store->partitionCount, 13); // (100000 + 150) div 8192 + 1
    EXPECT_EQ(store->latestSet()->partitionCount, 13);
}

TEST_F(StoreFixture, NeutralShapingLeavesTheResponseUnchanged)
{
    const auto samples = ramp(5001, 2);
    ASSERT_TRUE(load(wav("n.wav", 44100, 2, samples), 44100));
    ASSERT_TRUE(calculate());
    for (int i = 0; i < 5000; ++i)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(store->destWave(c)[i], store->sourceWave(c)[i]) << i;
}

TEST_F(StoreFixture, EnvelopeShapesAttackDecayAndTheEndOfTheResponse)
{
    ASSERT_TRUE(load(wav("e.wav", 44100, 1, std::vector<float>(44101, 1.0f)), 44100));
    // Attack 0.5 is 150 ms = 6615 samples at 44.1 kHz, starting at the level
    // of Attack Level.
    const float n = 44100.0f;
    EXPECT_FLOAT_EQ(store->envelopeSample(0, n, 0, 1, 0, 0.5f, 0.3f, 1.0f), levelCurve(0.3f));
    EXPECT_LT(store->envelopeSample(6614, n, 0, 1, 0, 0.5f, 0.3f, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(store->envelopeSample(6615, n, 0, 1, 0, 0.5f, 0.3f, 1.0f), 1.0f);
    // The decay reaches levelCurve(1 - Envelope) at Length * n, then fades out
    // over 100 samples.
    EXPECT_NEAR(store->envelopeSample(22050, n, 0, 0.5f, 0.5f, 0, 1, 1.0f), levelCurve(0.5f), 1e-6);
    EXPECT_NEAR(store->envelopeSample(22100, n, 0, 0.5f, 0.5f, 0, 1, 1.0f), levelCurve(0.5f) * 0.5f, 1e-6);
    EXPECT_EQ(store->envelopeSample(22151, n, 0, 0.5f, 0.5f, 0, 1, 1.0f), 0.0f);
    // With an attack as well, the decay span is what the attack leaves of
    // Length * n: the decay still ends at 22050.
    EXPECT_NEAR(store->envelopeSample(22050, n, 0, 0.5f, 0.5f, 0.5f, 1, 1.0f), levelCurve(0.5f), 1e-6);
    EXPECT_NEAR(store->envelopeSample(6615 + 15435 / 2, n, 0, 0.5f, 0.5f, 0.5f, 1, 1.0f),
                levelCurve(1.0f - 0.5f * (15435 / 2) / 15435.0f), 1e-6);
    EXPECT_EQ(store->envelopeSample(22151, n, 0, 0.5f, 0.5f, 0.5f, 1, 1.0f), 0.0f);

    ASSERT_TRUE(calculate(1, 0, 0.5f, 0.5f));
    for (int i = 22151; i <= store->destLength; i += 97)
        ASSERT_EQ(store->destWave(0)[i], 0.0f) << i;
    EXPECT_GT(store->destWave(0)[1000], store->destWave(0)[20000]);
}

TEST_F(StoreFixture, ReverseOneMeasuresTheEnvelopeFromTheEnd)
{
    ASSERT_TRUE(load(wav("r.wav", 44100, 1, std::vector<float>(10001, 1.0f)), 44100));
    const float n = 10000.0f;
    // Exactly 1: the attack sits at the end of the reversed response ...
    EXPECT_FLOAT_EQ(store->envelopeSample(n, n, 1.0f, 1, 0, 0.1f, 0.0f, 1.0f), levelCurve(0.0f));
    EXPECT_FLOAT_EQ(store->envelopeSample(0, n, 1.0f, 1, 0, 0.1f, 0.0f, 1.0f), 1.0f);
    // ... any other non-zero value reverses the reading only.
    EXPECT_FLOAT_EQ(store->envelopeSample(0, n, 0.5f, 1, 0, 0.1f, 0.0f, 1.0f), levelCurve(0.0f));
}

TEST_F(StoreFixture, ReversedPartitionsCoverTheEndOfTheResponse)
{
    // A response with one non-zero sample near its start: reversed, that sample
    // lands near the end, inside the last of the partitions (before its fade).
    std::vector<float> samples(20001, 0.0f);
    samples[200] = 1.0f;
    ASSERT_TRUE(load(wav("rev.wav", 44100, 1, samples), 44100));
    ASSERT_TRUE(calculate(1, 0, 0, 1, 1, 1.0f));
    EXPECT_EQ(store->destWave(0)[20000 - 200], 1.0f);
    const int count = store->partitionCount;
    const int offset = store->destLength - count * 8192; // negative: leading zeros
    const int position = 20000 - 200 - offset;           // index inside the partitioned stream
    EXPECT_EQ(position / 8192, count - 1);
    const PartitionSet* set = store->latestSet();
    // The spectrum of a single impulse at position q within partition p has
    // magnitude 1 in every bin.
    const float* h = set->partitions[position / 8192];
    EXPECT_NEAR(std::hypot(h[2 * 100], h[2 * 100 + 1]), 1.0f, 1e-4);
}

TEST_F(StoreFixture, IdenticalInputsSkipTheWorkUntilALoadOrAZeroLength)
{
    ASSERT_TRUE(load(wav("k.wav", 44100, 1, ramp(9000, 1)), 44100));
    EXPECT_TRUE(calculate());
    EXPECT_FALSE(calculate());
    const auto generation = store->getGeneration();
    ASSERT_TRUE(load(wav("k2.wav", 44100, 1, ramp(9000, 1)), 44100));
    EXPECT_FALSE(store->isReady());
    EXPECT_TRUE(calculate());
    EXPECT_EQ(store->getGeneration(), generation + 1);
    EXPECT_TRUE(calculate(1, 0, 0, 0.0f));
    EXPECT_TRUE(calculate(1, 0, 0, 0.0f)); // the cached length is 0.001001
    store->setSuspended(true);
    EXPECT_FALSE(calculate(0.5f));
}

TEST_F(StoreFixture, AutoGainFollowsThePeakToSumRatio)
{
    std::vector<float> samples(8193, 0.0f);
    ASSERT_TRUE(load(wav("z.wav", 44100, 1, samples), 44100));
    ASSERT_TRUE(calculate());
    EXPECT_FLOAT_EQ(store->getAutoGain(), 1.0f); // silent response: 0.0001 for both

    std::fill(samples.begin(), samples.begin() + 50, 1.0f);
    ASSERT_TRUE(load(wav("z2.wav", 44100, 1, samples), 44100));
    ASSERT_TRUE(calculate());
    // Fifty full-scale samples in each channel: sum 100, peak 1.
    EXPECT_NEAR(store->getAutoGain(), 1.7 * std::pow(0.01, 5.0 / 12.0), 1e-5);

    samples[0] = 0.5f;
    std::fill(samples.begin() + 1, samples.end(), 0.0f);
    ASSERT_TRUE(load(wav("z3.wav", 44100, 1, samples), 44100));
    ASSERT_TRUE(calculate());
    EXPECT_FLOAT_EQ(store->getAutoGain(), 1.0f) << "limited to 1";
}

TEST_F(StoreFixture, PartitionSpectraMatchADoublePrecisionReference)
{
    // A short stereo response, shaped with a reduced width and a drawn EQ,
    // partitioned into two blocks.
    auto left = noise(12000, 1, 0.5f);
    auto right = noise(12000, 2, 0.5f);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < left.size(); ++i)
    {
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    ASSERT_TRUE(load(wav("ref.wav", 48000, 2, interleaved), 48000));
    const float eq[16] = {0.5f, 0.2f, 0.8f, 0.9f};
    const float stereo = 0.6f;
    ASSERT_TRUE(calculate(1, 0, 0, 1, stereo, 0, 0.5f, eq));
    ASSERT_EQ(store->partitionCount, 2);
    const int n = store->destLength;

    // Reference: the same shaping in double precision (neutral envelope and
    // stretch: the source itself, narrowed), the EQ as a real gain per bin,
    // re-joined partitions, the last one faded, and a final transform.
    TEqCurve curve;
    curve.initCurve();
    curve.buildCurve(eq);
    std::vector<double> gain(8192);
    for (int k = 0; k < 8192; ++k)
        gain[static_cast<std::size_t>(k)] =
            eqAmplitude(curve.smoothedValue(curve.frequencyToPosition(static_cast<float>(k) / 16384.0f * 48000.0f)));
    for (int c = 0; c < 2; ++c)
    {
        std::vector<double> shaped(static_cast<std::size_t>(n) + 1);
        for (int i = 0; i <= n; ++i)
        {
            const double l = store->sourceWave(0)[i], r = store->sourceWave(1)[i];
            const double mid = (l + r) / 2.0;
            shaped[static_cast<std::size_t>(i)] = (c == 0 ? l : r) * stereo + (1.0 - stereo) * mid;
        }
        std::vector<std::vector<double>> time(2, std::vector<double>(16384, 0.0));
        for (int p = 0; p < 2; ++p)
        {
            std::vector<Complex> x(16384);
            for (int j = 0; j < 8192; ++j)
            {
                const int i = p * 8192 + j;
                x[static_cast<std::size_t>(j)] = i <= n ? shaped[static_cast<std::size_t>(i)] : 0.0;
            }
            fft(x, false);
            for (int k = 0; k < 16384; ++k)
            {
                const int fold = k <= 8192 ? k : 16384 - k;
                x[static_cast<std::size_t>(k)] *= gain[static_cast<std::size_t>(std::min(fold, 8191))];
            }
            fft(x, true);
            for (int j = 0; j < 16384; ++j)
                time[static_cast<std::size_t>(p)][static_cast<std::size_t>(j)] = x[static_cast<std::size_t>(j)].real() / 16384.0;
        }
        for (int j = 0; j < 8192; ++j)
        {
            time[1][static_cast<std::size_t>(j)] += time[0][static_cast<std::size_t>(8192 + j)];
            time[0][static_cast<std::size_t>(8192 + j)] = 0.0;
        }
        for (int s = 0; s <= 150; ++s)
            time[1][static_cast<std::size_t>(8191 - s)] *= s / 150.0;
        std::fill(time[1].begin() + 8192, time[1].end(), 0.0);

        for (int p = 0; p < 2; ++p)
        {
            std::vector<Complex> h(time[static_cast<std::size_t>(p)].begin(), time[static_cast<std::size_t>(p)].end());
            fft(h, false);
            double peak = 0.0;
            for (const auto& z : h)
                peak = std::max(peak, std::abs(z));
            const float* half = store->latestSet()->partitions[p] + c * 16384;
            double worst = std::max(std::fabs(half[0] - h[0].real()), std::fabs(half[1] - h[8192].real()));
            for (int k = 1; k < 8192; ++k)
                worst = std::max(worst, std::abs(Complex(half[2 * k], half[2 * k + 1]) - h[static_cast<std::size_t>(k)]));
            EXPECT_LT(worst, 2e-5 * peak) << "channel " << c + 1 << ", partition " << p;
        }
    }
}

TEST_F(StoreFixture, AnEqEditAfterAShapeGivesWhatOneFullRunGives)
{
    const std::string path = wav("q.wav", 44100, 2, noise(2 * 30000, 5, 0.5f));
    const float drawn[16] = {0.55f, 0.8f, 0.85f, 0.5f};
    // Shaped and filtered, then only the EQ changes; then only the shape.
    ASSERT_TRUE(load(path, 44100));
    ASSERT_TRUE(calculate(0.4f, 0.2f, 0.6f, 0.8f, 0.7f));
    for (const float envelope : {0.6f, 0.3f})
    {
        SCOPED_TRACE(envelope);
        ASSERT_TRUE(calculate(0.4f, 0.2f, envelope, 0.8f, 0.7f, 0, 0.5f, drawn));
        PartitionHandover freshSets;
        const auto fresh = std::make_unique<TWAVfile>(freshSets.writer());
        ASSERT_TRUE(fresh->loadFromFile(path, 44100, tooLong, clipped, error));
        ShapingInputs inputs{{}, 0.4f, 0.2f, envelope, 0.8f, 0.7f, 0, 0.5f};
        std::copy(drawn, drawn + eqPointValueCount, inputs.eqPoints.begin());
        ASSERT_TRUE(fresh->calculateDestWave(inputs));
        EXPECT_EQ(store->getAutoGain(), fresh->getAutoGain());
        ASSERT_EQ(store->partitionCount, fresh->partitionCount);
        for (int p = 0; p < store->partitionCount; ++p)
            ASSERT_TRUE(std::equal(store->latestSet()->partitions[p],
                                   store->latestSet()->partitions[p] + spectrumFloats,
                                   fresh->latestSet()->partitions[p]))
                << "partition " << p;
    }
}
