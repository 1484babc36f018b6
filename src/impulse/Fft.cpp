// Split-radix complex FFT, decimation in frequency, depth first.
//
// One step on len points combines the four quarters of its input, x0..x3
// (x_q[k] = x[k + q len/4], k < len/4):
//   first half    x0 + x2 and x1 + x3          -> len/2-point transform: even outputs
//   third quarter (x0 - x2 -+ i(x1 - x3)) W^k   -> len/4-point transform: outputs 4m+1
//   last quarter  (x0 - x2 +- i(x1 - x3)) W^3k  -> len/4-point transform: outputs 4m+3
// (upper signs for exp(-...), lower for exp(+...); W = exp(-+2 pi i / len)).
// Recursing depth first keeps each sub-transform in cache once it fits. The
// outputs end in bit-reversed order; one permutation puts them in natural
// order.
//
// Twiddle table, built for P = n/2 points into ip[0] = n/4 floats of w:
//   w1 = w[0 .. P/4)    (cos t, sin t)    t = 2 pi k / P, k < P/8
//   w3 = w[P/4 .. P/2)  (cos 3t, sin 3t)  same k
// Angles below pi/4 suffice: for k in [len/8, len/4) a step reads the mirror
// m = len/4 - k, because W^k = -i conj(W^m) and W^3k = i conj(W^3m) (forward
// sign; conjugated for the backward one). A sub-transform of len points
// reads every (P/len)-th entry, which is how a table built for a larger
// transform serves smaller ones.
//
// The SIMD path and the portable path perform the same roundings in the same
// order (only exact negations and lane moves differ), so they agree value for
// value. Both run on the audio thread: no allocation, no locks, no state
// outside a, ip and w.
#include "impulse/Fft.h"

#include "impulse/FftPortable.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tam {
namespace {

inline constexpr int minFloats = 4;
inline constexpr int maxFloats = 32768;
inline constexpr int maxTableFloats = maxFloats / 4;
// Sub-transforms of at most this many points are unrolled at compile time.
inline constexpr int unrolledPoints = 64;
// 2^p for the largest transform, p = (log2 of its 16384 points) / 2.
inline constexpr int maxSide = 128;
static_assert(maxSide * maxSide == maxFloats / 2 && maxSide <= 256, "bitReverse's tables cover every size");

// cos(pi/4) = sin(pi/4). The step at k = len/8 mirrors onto m = len/8, one
// entry past the table; these stand in for its (cos, sin) pairs of pi/4 and
// 3 pi/4.
inline constexpr float halfSqrt2 = std::numbers::sqrt2_v<float> / 2.0f;
alignas(8) inline constexpr float eighthW1[2] = {halfSqrt2, halfSqrt2};
alignas(8) inline constexpr float eighthW3[2] = {-halfSqrt2, halfSqrt2};

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

bool isPowerOfTwo(int v)
{
    return v > 0 && (v & (v - 1)) == 0;
}

int log2Of(int powerOfTwo)
{
    int bits = 0;
    while ((1 << bits) < powerOfTwo)
    {
        ++bits;
    }
    return bits;
}

struct Twiddles
{
    const float* w1; // (cos t, sin t) pairs
    const float* w3; // (cos 3t, sin 3t) pairs
    int points;      // t = 2 pi k / points
};

void buildTable(int tableFloats, float* w)
{
    const int points = 2 * tableFloats;
    const int entries = points / 8;
    float* w1 = w;
    float* w3 = w + 2 * entries;
    // Extended precision so that every stored float is the rounded true value.
    const long double step = 2.0L * std::numbers::pi_v<long double> / static_cast<long double>(points);
    for (int k = 0; k < entries; ++k)
    {
        const long double t = step * static_cast<long double>(k);
        w1[2 * k] = static_cast<float>(std::cos(t));
        w1[2 * k + 1] = static_cast<float>(std::sin(t));
        w3[2 * k] = static_cast<float>(std::cos(3.0L * t));
        w3[2 * k + 1] = static_cast<float>(std::sin(3.0L * t));
    }
}

void swapPoints(float* x, float* y)
{
    std::uint64_t u;
    std::uint64_t v;
    std::memcpy(&u, x, sizeof u);
    std::memcpy(&v, y, sizeof v);
    std::memcpy(x, &v, sizeof v);
    std::memcpy(y, &u, sizeof u);
}

// Index i = [hi: p bits][mid: 0 or 1 bit][lo: p bits] trades places with
// [rev lo][mid][rev hi]. Looping over r = rev lo > hi visits every pair once;
// for a fixed hi all partners lie in column rev hi.
void bitReverse(float* a, int points)
{
    const int bits = log2Of(points);
    if (bits < 2)
    {
        return;
    }
    const int p = bits / 2;
    const bool odd = (bits & 1) != 0;
    const int side = 1 << p;
    const int midStep = 2 << p; // floats between mid = 0 and mid = 1
    // Float offsets of column rev v and of row v.
    std::array<int, maxSide> column;
    std::array<int, maxSide> row;
    for (int v = 0; v < side; ++v)
    {
        column[static_cast<std::size_t>(v)] = 2 * (reversedByte[static_cast<std::size_t>(v)] >> (8 - p));
        row[static_cast<std::size_t>(v)] = 2 * (v << (bits - p));
    }
    for (std::size_t hi = 0; hi < static_cast<std::size_t>(side); ++hi)
    {
        float* const rowHi = a + row[hi];
        float* const columnHi = a + column[hi];
        for (auto r = hi + 1; r < static_cast<std::size_t>(side); ++r)
        {
            float* const x = rowHi + column[r];
            float* const y = columnHi + row[r];
            swapPoints(x, y);
            if (odd)
            {
                swapPoints(x + midStep, y + midStep);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Portable kernels. x points at interleaved (re, im) floats.

struct PortableKernels
{
    // (re + i im) W with W = c -+ i s.
    template <bool Backward>
    static void rotate(float re, float im, float c, float s, float* out)
    {
        if constexpr (Backward)
        {
            out[0] = re * c - im * s;
            out[1] = im * c + re * s;
        }
        else
        {
            out[0] = re * c + im * s;
            out[1] = im * c - re * s;
        }
    }

    template <bool Backward>
    static void butterfly(float* p0, float* p1, float* p2, float* p3, float c1, float s1, float c3, float s3)
    {
        const float r0 = p0[0], i0 = p0[1], r1 = p1[0], i1 = p1[1];
        const float r2 = p2[0], i2 = p2[1], r3 = p3[0], i3 = p3[1];
        p0[0] = r0 + r2;
        p0[1] = i0 + i2;
        p1[0] = r1 + r3;
        p1[1] = i1 + i3;
        const float dr0 = r0 - r2, di0 = i0 - i2, dr1 = r1 - r3, di1 = i1 - i3;
        const float minusR = dr0 + di1, minusI = di0 - dr1; // d0 - i d1
        const float plusR = dr0 - di1, plusI = di0 + dr1;   // d0 + i d1
        if constexpr (Backward)
        {
            rotate<true>(plusR, plusI, c1, s1, p2);
            rotate<true>(minusR, minusI, c3, s3, p3);
        }
        else
        {
            rotate<false>(minusR, minusI, c1, s1, p2);
            rotate<false>(plusR, plusI, c3, s3, p3);
        }
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
        for (int k = 0; k < eighth; ++k)
        {
            const float* e1 = w1 + 2 * k * stride;
            const float* e3 = w3 + 2 * k * stride;
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, e1[0], e1[1], e3[0], e3[1]);
        }
        for (int k = eighth; k < quarter; ++k)
        {
            const int m = quarter - k;
            const float* e1 = m == eighth ? eighthW1 : w1 + 2 * m * stride;
            const float* e3 = m == eighth ? eighthW3 : w3 + 2 * m * stride;
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, e1[1], e1[0], -e3[1], -e3[0]);
        }
    }

    static void two(float* x)
    {
        const float r0 = x[0], i0 = x[1], r1 = x[2], i1 = x[3];
        x[0] = r0 + r1;
        x[1] = i0 + i1;
        x[2] = r0 - r1;
        x[3] = i0 - i1;
    }

    template <bool Backward>
    static void four(float* x)
    {
        const float r0 = x[0], i0 = x[1], r1 = x[2], i1 = x[3];
        const float r2 = x[4], i2 = x[5], r3 = x[6], i3 = x[7];
        const float sr0 = r0 + r2, si0 = i0 + i2, sr1 = r1 + r3, si1 = i1 + i3;
        const float dr0 = r0 - r2, di0 = i0 - i2, dr1 = r1 - r3, di1 = i1 - i3;
        x[0] = sr0 + sr1;
        x[1] = si0 + si1;
        x[2] = sr0 - sr1;
        x[3] = si0 - si1;
        const float minusR = dr0 + di1, minusI = di0 - dr1;
        const float plusR = dr0 - di1, plusI = di0 + dr1;
        x[4] = Backward ? plusR : minusR;
        x[5] = Backward ? plusI : minusI;
        x[6] = Backward ? minusR : plusR;
        x[7] = Backward ? minusI : plusI;
    }

    // One step of 8 points (twiddles 1 and exp(-+i pi/4), exp(-+3i pi/4)
    // written out), then 4 points on the first half and 2 on each quarter.
    template <bool Backward>
    static void eight(float* x)
    {
        float d[8];
        for (int k = 0; k < 2; ++k)
        {
            float* p0 = x + 2 * k;
            const float r0 = p0[0], i0 = p0[1], r1 = p0[4], i1 = p0[5];
            const float r2 = p0[8], i2 = p0[9], r3 = p0[12], i3 = p0[13];
            p0[0] = r0 + r2;
            p0[1] = i0 + i2;
            p0[4] = r1 + r3;
            p0[5] = i1 + i3;
            const float dr0 = r0 - r2, di0 = i0 - i2, dr1 = r1 - r3, di1 = i1 - i3;
            const float minusR = dr0 + di1, minusI = di0 - dr1;
            const float plusR = dr0 - di1, plusI = di0 + dr1;
            d[2 * k] = Backward ? plusR : minusR; // third quarter, before rotation
            d[2 * k + 1] = Backward ? plusI : minusI;
            d[4 + 2 * k] = Backward ? minusR : plusR; // last quarter
            d[4 + 2 * k + 1] = Backward ? minusI : plusI;
        }
        const float ur = d[2], ui = d[3], vr = d[6], vi = d[7];
        if constexpr (Backward)
        {
            d[2] = (ur + (-ui)) * halfSqrt2;
            d[3] = (ui + ur) * halfSqrt2;
            d[6] = (vi + vr) * -halfSqrt2;
            d[7] = (vr + (-vi)) * halfSqrt2;
        }
        else
        {
            d[2] = (ur + ui) * halfSqrt2;
            d[3] = (ui + (-ur)) * halfSqrt2;
            d[6] = (vi + (-vr)) * halfSqrt2;
            d[7] = (vr + vi) * -halfSqrt2;
        }
        four<Backward>(x);
        std::memcpy(x + 8, d, sizeof d);
        two(x + 8);
        two(x + 12);
    }
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
    else if constexpr (Len > 8)
    {
        K::template pass<Backward>(x, Len, t);
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

template <class K>
void run(int n, int isgn, float* a, std::int32_t* ip, float* w)
{
    // Any other size would read or write past the caller's context.
    if (n < minFloats || n > maxFloats || !isPowerOfTwo(n))
    {
        return;
    }
    const int tableFloats = n / 4;
    const int built = ip[0];
    // A size that no build could have written is treated as no table.
    if (built < tableFloats || built > maxTableFloats || !isPowerOfTwo(built))
    {
        buildTable(tableFloats, w);
        ip[0] = tableFloats;
    }
    const Twiddles t{w, w + ip[0] / 2, 2 * ip[0]};
    const int points = n / 2;
    if (isgn >= 0)
    {
        transform<K, true>(a, points, t);
    }
    else
    {
        transform<K, false>(a, points, t);
    }
    bitReverse(a, points);
}

} // namespace

void cdft(int n, int isgn, float* a, std::int32_t* ip, float* w)
{
#if defined(__SSE2__)
    run<SimdKernels>(n, isgn, a, ip, w);
#else
    run<PortableKernels>(n, isgn, a, ip, w);
#endif
}

void cdftPortable(int n, int isgn, float* a, std::int32_t* ip, float* w)
{
    run<PortableKernels>(n, isgn, a, ip, w);
}

} // namespace tam
