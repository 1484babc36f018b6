// Twiddle tables of the transform's steps below the largest, built at
// compile time and shared by every instruction set's path (Fft.cpp,
// FftAvx2.cpp) and every transform context. Read-only.
#pragma once

#include <array>

namespace tam {

// For each length L = 32 .. 8192: (cos t, sin t), then (cos 3t, sin 3t),
// t = 2 pi k / L, for every k < L/4, so that a step loads consecutive
// twiddles instead of gathering every (P/L)-th entry of the context's table.
inline constexpr int smallestTabledStep = 32;
inline constexpr int largestTabledStep = 8192;

struct UnitRoot
{
    long double c;
    long double s;
};

// Taylor series at |x| <= pi/4, where 14 terms are exact to long double.
constexpr UnitRoot nearRoot(long double x)
{
    long double c = 0.0L;
    long double s = 0.0L;
    long double term = 1.0L; // x^i / i!
    for (int i = 0; i < 28; ++i)
    {
        const long double signedTerm = (i / 2) % 2 == 0 ? term : -term;
        (i % 2 == 0 ? c : s) += signedTerm;
        term = term * x / static_cast<long double>(i + 1);
    }
    return {c, s};
}

// cos and sin of 2 pi r / 8192 for r = 0 .. 1024: the first octant of the
// largest tabled step, from which every other step's values follow exactly
// (its angles are the same fractions of a turn).
struct Octant
{
    UnitRoot roots[largestTabledStep / 8 + 1];
};

constexpr Octant makeOctant()
{
    constexpr long double pi = 3.141592653589793238462643383279502884L;
    Octant octant{};
    for (int r = 0; r <= largestTabledStep / 8; ++r)
        octant.roots[r] = nearRoot(2.0L * pi * static_cast<long double>(r) / largestTabledStep);
    return octant;
}

// cos and sin of 2 pi j / len (len a power of two from 8 to 8192), reduced
// to a quadrant and to angles of at most pi/4 by exact integer steps.
constexpr UnitRoot unitRoot(int j, int len, const Octant& octant)
{
    const int quarter = len / 4;
    j %= len;
    const int quadrant = j / quarter;
    const int r = j % quarter;
    const bool mirrored = 2 * r > quarter;
    const UnitRoot near = octant.roots[(mirrored ? quarter - r : r) * (largestTabledStep / len)];
    const UnitRoot inQuadrant = mirrored ? UnitRoot{near.s, near.c} : near;
    switch (quadrant)
    {
    case 1:
        return {-inQuadrant.s, inQuadrant.c};
    case 2:
        return {-inQuadrant.c, -inQuadrant.s};
    case 3:
        return {inQuadrant.s, -inQuadrant.c};
    default:
        return inQuadrant;
    }
}

// Level L starts at float L - 32 (32 + 64 + ... + L/2 before it).
constexpr int stepTableOffset(int len)
{
    return len - smallestTabledStep;
}

inline constexpr int stepTableFloats = stepTableOffset(2 * largestTabledStep);

constexpr std::array<float, stepTableFloats> makeStepTables()
{
    std::array<float, stepTableFloats> table{};
    const Octant octant = makeOctant();
    for (int len = smallestTabledStep; len <= largestTabledStep; len *= 2)
    {
        const int quarter = len / 4;
        float* const w1 = table.data() + stepTableOffset(len);
        float* const w3 = w1 + 2 * quarter;
        for (int k = 0; k < quarter; ++k)
        {
            const UnitRoot once = unitRoot(k, len, octant);
            const UnitRoot thrice = unitRoot(3 * k, len, octant);
            w1[2 * k] = static_cast<float>(once.c);
            w1[2 * k + 1] = static_cast<float>(once.s);
            w3[2 * k] = static_cast<float>(thrice.c);
            w3[2 * k + 1] = static_cast<float>(thrice.s);
        }
    }
    return table;
}

/// Built at compile time (defined in Fft.cpp).
extern const std::array<float, stepTableFloats> stepTwiddleTables;

} // namespace tam
