// The EQ curve drawn through up to eight points on a logarithmic frequency
// axis (1 Hz .. 22000 Hz). A point list is 16 floats in parameter order:
// position 1, factor 1, position 2, ... factor 8; position 0 marks an
// inactive point. The store keeps one curve for filtering, the editor one
// for drawing. Not thread-safe; each owner uses its own.
#pragma once

#include <cstdint>

namespace tam {

inline constexpr int eqPointCount = 8;
inline constexpr int eqPointValueCount = 2 * eqPointCount; ///< position and factor of each point

struct EqCurvePoint
{
    float position = 0.0f;
    float factor = 0.0f;
};

class TEqCurve
{
public:
    static constexpr float lowestHz = 1.0f;
    static constexpr float highestHz = 22000.0f;

    /// Sets the frequency range; run once by the owner.
    void initCurve();
    /// Rebuilds the slots from a 16-value point list.
    void buildCurve(const float* eqPoints);

    float frequencyToPosition(float frequencyHz) const;
    float positionToFrequency(float position) const;
    /// The piecewise-linear curve at a position (clamped to 0..1).
    float curveValue(float position) const;
    /// The curve after the fixed 15-tap smoothing kernel.
    float smoothedValue(float position) const;

    EqCurvePoint points[eqPointCount + 2]{}; ///< slot 0 left end, 1..m active points, m+1 right end
    std::int32_t segmentCount = 2;
    float logLow = 0.0f;  ///< log2 of the lowest frequency
    float logHigh = 0.0f; ///< log2 of the highest frequency
};

} // namespace tam
