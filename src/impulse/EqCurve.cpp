#include "impulse/EqCurve.h"

#include <cmath>
#include <utility>

namespace tam {

namespace {

constexpr float minimumSpacing = 0.00501f; // smallest distance between neighbouring slots (position units)
constexpr EqCurvePoint flatPoint{0.5f, 1.0f};

struct KernelTap
{
    float offset; // position units
    float weight;
};

// Symmetric smoothing kernel; each weight is 1.5 times the next outer one,
// and the outermost tap sits at 0.045.
constexpr KernelTap kernel[] = {
    {-0.045f, 2.0f},    {-0.03f, 3.0f},       {-0.025f, 4.5f},    {-0.02f, 6.75f},     {-0.015f, 10.125f},
    {-0.01f, 15.1875f}, {-0.005f, 22.78125f}, {0.0f, 34.171875f}, {0.005f, 22.78125f}, {0.01f, 15.1875f},
    {0.015f, 10.125f},  {0.02f, 6.75f},       {0.025f, 4.5f},     {0.03f, 3.0f},       {0.045f, 2.0f},
};
constexpr float kernelWeightSum = 162.859375f;

} // namespace

void TEqCurve::initCurve()
{
    logLow = std::log2(lowestHz);
    logHigh = std::log2(highestHz);
}

void TEqCurve::buildCurve(const float* eqPoints)
{
    EqCurvePoint sorted[eqPointCount];
    for (int i = 0; i < eqPointCount; ++i)
    {
        sorted[i].position = eqPoints[2 * i];
        sorted[i].factor = eqPoints[2 * i + 1];
        // A position that is not a number would leave parts of the axis
        // outside every segment; such a point counts as inactive.
        if (!std::isfinite(sorted[i].position))
            sorted[i].position = 0.0f;
    }

    // Fixed passes of neighbour swaps; equal positions keep their order.
    for (int pass = 0; pass < eqPointCount - 1; ++pass)
        for (int i = 0; i < eqPointCount - 1; ++i)
            if (sorted[i].position > sorted[i + 1].position)
                std::swap(sorted[i], sorted[i + 1]);

    for (EqCurvePoint& point : points)
        point = EqCurvePoint{};
    int m = 0;
    for (const EqCurvePoint& point : sorted)
        if (point.position != 0.0f)
            points[++m] = point;

    // The left end sits at position 0 while the spacing is enforced, so the
    // first active point also keeps its distance from it.
    for (int s = 1; s <= m; ++s)
        for (int round = 0; round < 2; ++round)
            if (points[s].position - points[s - 1].position < minimumSpacing)
                points[s].position = points[s - 1].position + minimumSpacing;

    segmentCount = m + 1;
    if (m == 0)
    {
        segmentCount = 2;
        points[1] = flatPoint;
    }
    points[0] = EqCurvePoint{0.0f, points[1].factor};
    points[segmentCount] = EqCurvePoint{1.0f, points[segmentCount - 1].factor};
}

float TEqCurve::frequencyToPosition(float frequencyHz) const
{
    // No logarithm of zero or negative frequencies, and no division before
    // the range is set.
    if (!(frequencyHz > 0.0f) || !(logHigh > logLow))
        return 0.0f;
    return (std::log2(frequencyHz) - logLow) / (logHigh - logLow);
}

float TEqCurve::positionToFrequency(float position) const
{
    return std::exp2((1.0f - position) * logLow + position * logHigh);
}

float TEqCurve::curveValue(float position) const
{
    float p = position;
    if (!(p > 0.0f)) // also catches NaN
        p = 0.0f;
    if (p > 1.0f)
        p = 1.0f;
    // Where p sits on a shared end, the last segment containing it decides,
    // so search from the right.
    for (int j = segmentCount - 1; j >= 0; --j)
    {
        const EqCurvePoint& left = points[j];
        const EqCurvePoint& right = points[j + 1];
        if (left.position <= p && p <= right.position)
        {
            const float span = right.position - left.position;
            if (span == 0.0f)
                return left.factor;
            return right.factor * (p - left.position) / span + left.factor * (right.position - p) / span;
        }
    }
    // Unreachable for a built curve: slot 0 sits at 0 and the right end at 1.
    return points[0].factor;
}

float TEqCurve::smoothedValue(float position) const
{
    float sum = 0.0f;
    for (const KernelTap& tap : kernel)
        sum += tap.weight * curveValue(position + tap.offset);
    return sum / kernelWeightSum;
}

} // namespace tam
