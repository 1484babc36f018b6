#include "impulse/EqCurve.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

namespace tam {
namespace {

using PointList = std::array<float, eqPointValueCount>;

/// A curve built from (position, factor) pairs given in parameter order;
/// points not given stay inactive.
TEqCurve curveFrom(std::initializer_list<EqCurvePoint> given)
{
    PointList list{};
    std::size_t i = 0;
    for (const EqCurvePoint& point : given)
    {
        list[i++] = point.position;
        list[i++] = point.factor;
    }
    TEqCurve curve;
    curve.initCurve();
    curve.buildCurve(list.data());
    return curve;
}

TEST(EqCurveBuild, NoActivePointGivesAFlatCurveAtOne)
{
    // Factors of inactive points are ignored.
    const TEqCurve curve = curveFrom({{0.0f, 0.3f}, {0.0f, 0.0f}});
    EXPECT_EQ(curve.segmentCount, 2);
    for (float p : {-0.5f, 0.0f, 0.01f, 0.5f, 0.99f, 1.0f, 2.0f})
    {
        EXPECT_EQ(curve.curveValue(p), 1.0f) << p;
        EXPECT_FLOAT_EQ(curve.smoothedValue(p), 1.0f) << p;
    }
}

TEST(EqCurveBuild, SinglePointHoldsItsFactorEverywhere)
{
    const TEqCurve curve = curveFrom({{0.0f, 0.9f}, {0.5f, 0.2f}});
    EXPECT_EQ(curve.segmentCount, 2);
    for (float p : {0.0f, 0.25f, 0.5f, 0.75f, 1.0f})
    {
        EXPECT_FLOAT_EQ(curve.curveValue(p), 0.2f) << p;
        EXPECT_FLOAT_EQ(curve.smoothedValue(p), 0.2f) << p;
    }
}

TEST(EqCurveBuild, SortsByPositionAndAddsFlatEnds)
{
    const TEqCurve curve = curveFrom({{0.8f, 0.4f}, {0.0f, 0.0f}, {0.2f, 0.6f}, {0.5f, 1.0f}});
    ASSERT_EQ(curve.segmentCount, 4);
    const float positions[] = {0.0f, 0.2f, 0.5f, 0.8f, 1.0f};
    const float factors[] = {0.6f, 0.6f, 1.0f, 0.4f, 0.4f};
    for (int s = 0; s <= 4; ++s)
    {
        EXPECT_EQ(curve.points[s].position, positions[s]) << s;
        EXPECT_EQ(curve.points[s].factor, factors[s]) << s;
    }
    EXPECT_FLOAT_EQ(curve.curveValue(0.1f), 0.6f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.35f), 0.8f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.65f), 0.7f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.9f), 0.4f);
}

TEST(EqCurveBuild, EightPointsInReverseOrderAreFullySorted)
{
    // The worst case for the neighbour-swap passes: every pair moves.
    PointList list{};
    for (int i = 0; i < 8; ++i)
    {
        list[static_cast<std::size_t>(2 * i)] = 0.9f - 0.1f * static_cast<float>(i);
        list[static_cast<std::size_t>(2 * i + 1)] = static_cast<float>(i) / 8.0f;
    }
    TEqCurve curve;
    curve.initCurve();
    curve.buildCurve(list.data());
    ASSERT_EQ(curve.segmentCount, 9);
    for (int s = 1; s <= 8; ++s)
    {
        EXPECT_LT(curve.points[s - 1].position, curve.points[s].position) << s;
        EXPECT_EQ(curve.points[s].factor, static_cast<float>(8 - s) / 8.0f) << s;
    }
    EXPECT_EQ(curve.points[9].position, 1.0f);
    EXPECT_EQ(curve.points[9].factor, curve.points[8].factor);
}

TEST(EqCurveBuild, CloseNeighboursAreSpreadToTheMinimumSpacing)
{
    const TEqCurve curve = curveFrom({{0.302f, 0.0f}, {0.3f, 1.0f}});
    ASSERT_EQ(curve.segmentCount, 3);
    EXPECT_FLOAT_EQ(curve.points[1].position, 0.3f);
    EXPECT_FLOAT_EQ(curve.points[2].position, 0.30501f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.3f + 0.00501f / 2.0f), 0.5f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.31f), 0.0f);
}

TEST(EqCurveBuild, EqualPositionsKeepTheirOrderAndTheLaterMovesRight)
{
    const TEqCurve curve = curveFrom({{0.6f, 0.1f}, {0.6f, 0.9f}});
    ASSERT_EQ(curve.segmentCount, 3);
    EXPECT_EQ(curve.points[1].factor, 0.1f);
    EXPECT_EQ(curve.points[2].factor, 0.9f);
    EXPECT_FLOAT_EQ(curve.points[2].position, 0.60501f);
}

TEST(EqCurveBuild, FirstPointKeepsItsDistanceFromTheLeftEnd)
{
    // Negative positions count as active and are pushed onto the axis.
    const TEqCurve curve = curveFrom({{0.001f, 0.5f}, {-0.2f, 0.25f}});
    ASSERT_EQ(curve.segmentCount, 3);
    EXPECT_FLOAT_EQ(curve.points[1].position, 0.00501f);
    EXPECT_EQ(curve.points[1].factor, 0.25f);
    EXPECT_FLOAT_EQ(curve.points[2].position, 0.01002f);
    EXPECT_EQ(curve.points[0].position, 0.0f);
}

TEST(EqCurveBuild, PointsPushedPastTheRightEndStillCoverTheAxis)
{
    const TEqCurve curve = curveFrom({{1.0f, 0.5f}, {0.999f, 0.0f}});
    ASSERT_EQ(curve.segmentCount, 3);
    EXPECT_GT(curve.points[2].position, 1.0f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.999f), 0.0f);
    const float atEnd = curve.curveValue(1.0f);
    EXPECT_GT(atEnd, 0.0f);
    EXPECT_LT(atEnd, 0.5f);
}

TEST(EqCurveBuild, NonFiniteOrRebuiltPointsLeaveNoStaleSlots)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    TEqCurve curve = curveFrom({{nan, 0.2f}, {0.4f, 0.5f}, {std::numeric_limits<float>::infinity(), 0.7f}});
    EXPECT_EQ(curve.segmentCount, 2);
    EXPECT_FLOAT_EQ(curve.curveValue(0.9f), 0.5f);

    // Rebuilding with fewer points replaces everything the last build set.
    const PointList flat{};
    curve.buildCurve(flat.data());
    EXPECT_EQ(curve.segmentCount, 2);
    EXPECT_EQ(curve.curveValue(0.9f), 1.0f);
    EXPECT_EQ(curve.curveValue(nan), 1.0f);
}

TEST(EqCurveValue, SharedEndsTakeTheLastSegment)
{
    // A vertical step at 0.5 (slots laid out by hand; buildCurve spaces
    // points apart): the segment right of the step decides there.
    TEqCurve curve;
    curve.initCurve();
    curve.segmentCount = 3;
    curve.points[0] = {0.0f, 0.2f};
    curve.points[1] = {0.5f, 0.2f};
    curve.points[2] = {0.5f, 0.8f};
    curve.points[3] = {1.0f, 0.8f};
    EXPECT_FLOAT_EQ(curve.curveValue(0.5f), 0.8f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.4999f), 0.2f);
    EXPECT_FLOAT_EQ(curve.curveValue(0.0f), 0.2f);
    EXPECT_FLOAT_EQ(curve.curveValue(1.0f), 0.8f);
}

/// The smoothing kernel written out independently of the implementation.
float kernelMean(float p, float (*sample)(float))
{
    const float offsets[] = {0.005f, 0.01f, 0.015f, 0.02f, 0.025f, 0.03f, 0.045f};
    const float weights[] = {22.78125f, 15.1875f, 10.125f, 6.75f, 4.5f, 3.0f, 2.0f};
    float sum = 34.171875f * sample(p);
    for (int i = 0; i < 7; ++i)
        sum += weights[i] * (sample(p - offsets[i]) + sample(p + offsets[i]));
    return sum / 162.859375f;
}

TEST(EqCurveValue, SmoothingUsesTheFixedKernel)
{
    // A ramp from 0 at 0.2 to 1 at 0.8: linear around 0.5, so the symmetric
    // kernel returns the curve itself there.
    const TEqCurve curve = curveFrom({{0.2f, 0.0f}, {0.8f, 1.0f}});
    EXPECT_NEAR(curve.smoothedValue(0.5f), 0.5f, 1e-6f);
    // Next to the corner the outer taps (0.045 away) see the flat part.
    const auto ramp = [](float x) { return std::fmin(1.0f, (x - 0.2f) / 0.6f); };
    EXPECT_NEAR(curve.smoothedValue(0.79f), kernelMean(0.79f, ramp), 1e-6f);
    EXPECT_LT(curve.smoothedValue(0.79f), curve.curveValue(0.79f));
}

TEST(EqCurveValue, SmoothingSeesClampedValuesPastBothEnds)
{
    // Rising from 0.5 at 0.01 to 1 at 0.5: taps left of 0 see the value at 0.
    const TEqCurve curve = curveFrom({{0.01f, 0.5f}, {0.5f, 1.0f}});
    const auto shape = [](float x) { return x <= 0.01f ? 0.5f : 0.5f + 0.5f * (x - 0.01f) / 0.49f; };
    EXPECT_NEAR(curve.smoothedValue(0.0f), kernelMean(0.0f, shape), 1e-6f);
    EXPECT_FLOAT_EQ(curve.smoothedValue(-1.0f), 0.5f);
    EXPECT_FLOAT_EQ(curve.smoothedValue(1.5f), 1.0f);
}

TEST(EqCurveAxis, MapsBetweenFrequencyAndPosition)
{
    TEqCurve curve;
    curve.initCurve();
    EXPECT_EQ(curve.logLow, 0.0f);
    EXPECT_FLOAT_EQ(curve.frequencyToPosition(22000.0f), 1.0f);
    EXPECT_EQ(curve.frequencyToPosition(1.0f), 0.0f);
    EXPECT_EQ(curve.frequencyToPosition(0.0f), 0.0f);
    EXPECT_EQ(curve.frequencyToPosition(-5.0f), 0.0f);
    EXPECT_GT(curve.frequencyToPosition(44100.0f), 1.0f);
    EXPECT_NEAR(curve.positionToFrequency(0.5f), 148.32f, 0.01f);
    EXPECT_FLOAT_EQ(curve.positionToFrequency(0.0f), 1.0f);
    EXPECT_NEAR(curve.positionToFrequency(1.0f), 22000.0f, 0.01f);
    for (float hz : {20.0f, 440.0f, 1000.0f, 15000.0f})
        EXPECT_NEAR(curve.positionToFrequency(curve.frequencyToPosition(hz)), hz, hz * 1e-5f);
}

} // namespace
} // namespace tam
