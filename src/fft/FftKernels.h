// The butterflies and the depth-first recursion of the transform (Fft.cpp),
// shared by the SSE2 build and the AVX2 build (FftAvx2.cpp). Everything
// here has internal linkage, so each translation unit keeps its own copy
// compiled for its own instruction set. Plain pointers and intrinsics only:
// no inline library code that the linker could share between the builds.
#pragma once

#include "fft/StepTwiddles.h"

#include <array>
#include <cstdint>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tam {
namespace {

constexpr std::array<std::uint8_t, 256> makeBitReversal()
{
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v)
    {
        int r = 0;
        for (int bit = 0; bit < 8; ++bit)
        {
            r |= ((v >> bit) & 1) << (7 - bit);
        }
        table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(r);
    }
    return table;
}

inline constexpr std::array<std::uint8_t, 256> reversedByte = makeBitReversal();

// Sub-transforms of at most this many points are unrolled at compile time.
inline constexpr int unrolledPoints = 64;


// cos(pi/4) = sin(pi/4). The step at k = len/8 mirrors onto m = len/8, one
// entry past the table; these stand in for its (cos, sin) pairs of pi/4 and
// 3 pi/4.
inline constexpr float halfSqrt2 = std::numbers::sqrt2_v<float> / 2.0f;
alignas(8) inline constexpr float eighthW1[2] = {halfSqrt2, halfSqrt2};
alignas(8) inline constexpr float eighthW3[2] = {-halfSqrt2, halfSqrt2};

struct Twiddles
{
    const float* w1; // (cos t, sin t) pairs
    const float* w3; // (cos 3t, sin 3t) pairs
    int points;      // t = 2 pi k / points
};

// ---------------------------------------------------------------------------
// SSE2 kernels: two complex points per register, (re0, im0, re1, im1).

#if defined(__SSE2__)

struct SimdKernels
{
    template <int A, int B, int C, int D>
    static __m128 lanes(__m128 v)
    {
        return _mm_shuffle_ps(v, v, _MM_SHUFFLE(D, C, B, A));
    }

    // (re, im) -> (im, re) in both points.
    static __m128 swapParts(__m128 v) { return lanes<1, 0, 3, 2>(v); }

    static __m128 negateImag(__m128 v)
    {
        return _mm_xor_ps(v, _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)));
    }

    static __m128 negateReal(__m128 v)
    {
        return _mm_xor_ps(v, _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN)));
    }

    static __m128 negate(__m128 v) { return _mm_xor_ps(v, _mm_set1_ps(-0.0f)); }

    static __m128 loadPair(const float* lo, const float* hi)
    {
        const __m128 low = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(lo));
        return _mm_loadh_pi(low, reinterpret_cast<const __m64*>(hi));
    }

    // Per point: (re + i im) W with W = c -+ i s.
    template <bool Backward>
    static __m128 rotate(__m128 v, __m128 c, __m128 s)
    {
        const __m128 cross = _mm_mul_ps(swapParts(v), s); // (im s, re s)
        return _mm_add_ps(_mm_mul_ps(v, c), Backward ? negateReal(cross) : negateImag(cross));
    }

    // Returns d0 - i d1 and d0 + i d1.
    static void plusMinusI(__m128 d0, __m128 d1, __m128& minus, __m128& plus)
    {
        const __m128 t = negateImag(swapParts(d1)); // (im, -re) = -i d1
        minus = _mm_add_ps(d0, t);
        plus = _mm_sub_ps(d0, t);
    }

    template <bool Backward>
    static void butterfly(float* p0, float* p1, float* p2, float* p3, __m128 c1, __m128 s1, __m128 c3, __m128 s3)
    {
        const __m128 a0 = _mm_loadu_ps(p0);
        const __m128 a1 = _mm_loadu_ps(p1);
        const __m128 a2 = _mm_loadu_ps(p2);
        const __m128 a3 = _mm_loadu_ps(p3);
        _mm_storeu_ps(p0, _mm_add_ps(a0, a2));
        _mm_storeu_ps(p1, _mm_add_ps(a1, a3));
        __m128 minus;
        __m128 plus;
        plusMinusI(_mm_sub_ps(a0, a2), _mm_sub_ps(a1, a3), minus, plus);
        _mm_storeu_ps(p2, rotate<Backward>(Backward ? plus : minus, c1, s1));
        _mm_storeu_ps(p3, rotate<Backward>(Backward ? minus : plus, c3, s3));
    }

    template <bool Backward>
    static void pass(float* x, int len, const Twiddles& t)
    {
        const int quarter = len / 4;
        const int eighth = len / 8;
        const int stride = t.points / len;
        const float* const w1 = t.w1;
        const float* const w3 = t.w3;
        float* x1 = x + 2 * quarter;
        float* x2 = x + 4 * quarter;
        float* x3 = x + 6 * quarter;
        if (len >= smallestTabledStep && len <= largestTabledStep)
        {
            const float* const e1 = stepTwiddleTables.data() + stepTableOffset(len);
            const float* const e3 = e1 + 2 * quarter;
            for (int k = 0; k < quarter; k += 2)
            {
                const __m128 c1 = _mm_loadu_ps(e1 + 2 * k);
                const __m128 c3 = _mm_loadu_ps(e3 + 2 * k);
                butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, lanes<0, 0, 2, 2>(c1),
                                    lanes<1, 1, 3, 3>(c1), lanes<0, 0, 2, 2>(c3), lanes<1, 1, 3, 3>(c3));
            }
            return;
        }
        for (int k = 0; k < eighth; k += 2)
        {
            const __m128 e1 = loadPair(w1 + 2 * k * stride, w1 + 2 * (k + 1) * stride);
            const __m128 e3 = loadPair(w3 + 2 * k * stride, w3 + 2 * (k + 1) * stride);
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, lanes<0, 0, 2, 2>(e1),
                                lanes<1, 1, 3, 3>(e1), lanes<0, 0, 2, 2>(e3), lanes<1, 1, 3, 3>(e3));
        }
        // Points k and k + 1 mirror m = len/4 - k and m - 1.
        const auto mirrored = [&](int k, const float* m1, const float* m3, int m)
        {
            const __m128 e1 = loadPair(m1, w1 + 2 * (m - 1) * stride);
            const __m128 e3 = loadPair(m3, w3 + 2 * (m - 1) * stride);
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, lanes<1, 1, 3, 3>(e1),
                                lanes<0, 0, 2, 2>(e1), negate(lanes<1, 1, 3, 3>(e3)), negate(lanes<0, 0, 2, 2>(e3)));
        };
        mirrored(eighth, eighthW1, eighthW3, eighth);
        for (int k = eighth + 2; k < quarter; k += 2)
        {
            const int m = quarter - k;
            mirrored(k, w1 + 2 * m * stride, w3 + 2 * m * stride, m);
        }
    }

    // Two points: (p0 + p1, p0 - p1).
    static __m128 two(__m128 v)
    {
        const __m128 swapped = lanes<2, 3, 0, 1>(v);
        return _mm_movelh_ps(_mm_add_ps(v, swapped), _mm_sub_ps(v, swapped));
    }

    static void two(float* x) { _mm_storeu_ps(x, two(_mm_loadu_ps(x))); }

    // Four points held as (p0, p1) and (p2, p3); results in the same places.
    template <bool Backward>
    static void four(__m128& v01, __m128& v23)
    {
        const __m128 s = _mm_add_ps(v01, v23);
        const __m128 d = _mm_sub_ps(v01, v23);
        __m128 minus;
        __m128 plus;
        plusMinusI(d, _mm_movehl_ps(d, d), minus, plus);
        v01 = two(s);
        v23 = Backward ? _mm_movelh_ps(plus, minus) : _mm_movelh_ps(minus, plus);
    }

    template <bool Backward>
    static void four(float* x)
    {
        __m128 v01 = _mm_loadu_ps(x);
        __m128 v23 = _mm_loadu_ps(x + 4);
        four<Backward>(v01, v23);
        _mm_storeu_ps(x, v01);
        _mm_storeu_ps(x + 4, v23);
    }

    // With 8 points each quarter is one register.
    template <bool Backward>
    static void eight(float* x)
    {
        const __m128 a0 = _mm_loadu_ps(x);
        const __m128 a1 = _mm_loadu_ps(x + 4);
        const __m128 a2 = _mm_loadu_ps(x + 8);
        const __m128 a3 = _mm_loadu_ps(x + 12);
        __m128 s0 = _mm_add_ps(a0, a2);
        __m128 s1 = _mm_add_ps(a1, a3);
        __m128 minus;
        __m128 plus;
        plusMinusI(_mm_sub_ps(a0, a2), _mm_sub_ps(a1, a3), minus, plus);
        const __m128 u = Backward ? plus : minus;
        const __m128 v = Backward ? minus : plus;
        const __m128 h = _mm_set1_ps(halfSqrt2);
        // Point 1 of u times W^1, point 1 of v times W^3; point 0 of both unchanged.
        __m128 uTurned;
        __m128 vTurned;
        if constexpr (Backward)
        {
            uTurned = _mm_mul_ps(_mm_add_ps(u, negateReal(swapParts(u))), h);
            vTurned = _mm_mul_ps(_mm_add_ps(swapParts(v), negateImag(v)), negateReal(h));
        }
        else
        {
            uTurned = _mm_mul_ps(_mm_add_ps(u, negateImag(swapParts(u))), h);
            vTurned = _mm_mul_ps(_mm_add_ps(swapParts(v), negateReal(v)), negateImag(h));
        }
        const __m128 z1 = _mm_shuffle_ps(u, uTurned, _MM_SHUFFLE(3, 2, 1, 0));
        const __m128 z3 = _mm_shuffle_ps(v, vTurned, _MM_SHUFFLE(3, 2, 1, 0));
        four<Backward>(s0, s1);
        _mm_storeu_ps(x, s0);
        _mm_storeu_ps(x + 4, s1);
        _mm_storeu_ps(x + 8, two(z1));
        _mm_storeu_ps(x + 12, two(z3));
    }
};

#endif

// ---------------------------------------------------------------------------

template <class K, bool Backward, int Len>
void fixedTransform(float* x, const Twiddles& t)
{
    if constexpr (Len == 2)
    {
        K::two(x);
    }
    else if constexpr (Len == 4)
    {
        K::template four<Backward>(x);
    }
    else if constexpr (Len == 8)
    {
        K::template eight<Backward>(x);
    }
    else if constexpr (Len == 16 && requires { K::template sixteen<Backward>(x); })
    {
        K::template sixteen<Backward>(x); // kernels that hold 16 points in registers
    }
    else if constexpr (Len > 8)
    {
        if constexpr (requires { K::template fixedPass<Backward, Len>(x); })
        {
            K::template fixedPass<Backward, Len>(x); // twiddles of their own for this length
        }
        else
        {
            K::template pass<Backward>(x, Len, t);
        }
        fixedTransform<K, Backward, Len / 2>(x, t);
        fixedTransform<K, Backward, Len / 4>(x + Len, t);
        fixedTransform<K, Backward, Len / 4>(x + 3 * Len / 2, t);
    }
}

// len points at x, output in bit-reversed order.
template <class K, bool Backward>
void transform(float* x, int len, const Twiddles& t)
{
    if (len > unrolledPoints)
    {
        K::template pass<Backward>(x, len, t);
        transform<K, Backward>(x, len / 2, t);
        transform<K, Backward>(x + len, len / 4, t);
        transform<K, Backward>(x + 3 * len / 2, len / 4, t);
        return;
    }
    static_assert(unrolledPoints == 64, "the cases below cover 2 .. unrolledPoints");
    switch (len)
    {
    case 64:
        fixedTransform<K, Backward, 64>(x, t);
        break;
    case 32:
        fixedTransform<K, Backward, 32>(x, t);
        break;
    case 16:
        fixedTransform<K, Backward, 16>(x, t);
        break;
    case 8:
        fixedTransform<K, Backward, 8>(x, t);
        break;
    case 4:
        fixedTransform<K, Backward, 4>(x, t);
        break;
    case 2:
        fixedTransform<K, Backward, 2>(x, t);
        break;
    default:
        break;
    }
}

// The tile pairs of the final permutation for 2^bits points (bits >= 6).
// Write an index as [u: p bits][mid: bits - 2p][v: p bits]; it trades places
// with [rev v][mid][rev u]. Tiles of 8 x 8 points, rows u = r0 + (side/8) j
// and columns v = 8c + i, each tile row one cache line: the tile trades with
// the tile (rev 8c, rev r0 / 8), its point (j, i) with the partner's
// (rev3 i, rev3 j). Calls visit(first, second) once per pair with the
// tiles' first floats (the same pointer for a tile that maps onto itself);
// tile rows lie tileRowStride(bits) floats apart.
inline int tileRowStride(int bits)
{
    const int p = bits / 2;
    return ((1 << p) / 8) * (2 << (bits - p));
}

template <typename Visit>
void forEachTilePair(float* a, int bits, Visit&& visit)
{
    const int p = bits / 2;
    const int tiles = (1 << p) / 8;
    const int planes = (bits & 1) != 0 ? 2 : 1;
    const int rowFloats = 2 << (bits - p);
    const int midStep = 2 << p;
    const auto rev = [p](int v) { return reversedByte[static_cast<std::size_t>(v)] >> (8 - p); };
    for (int plane = 0; plane < planes; ++plane)
    {
        float* const base = a + plane * midStep;
        for (int r0 = 0; r0 < tiles; ++r0)
        {
            for (int c = 0; c < tiles; ++c)
            {
                const int partnerR0 = rev(8 * c);
                const int partnerC = rev(r0) / 8;
                if (partnerR0 < r0 || (partnerR0 == r0 && partnerC < c))
                {
                    continue; // done with its partner
                }
                visit(base + r0 * rowFloats + 16 * c, base + partnerR0 * rowFloats + 16 * partnerC);
            }
        }
    }
}

} // namespace
} // namespace tam
