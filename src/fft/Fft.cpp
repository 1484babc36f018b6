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
// transform serves smaller ones. The steps of 32 to 8192 points read
// compile-time tables of their own instead (StepTwiddles.h), consecutively;
// so the context's table serves the largest step and the smallest ones.
//
// The SSE2 path and the portable path perform the same roundings in the same
// order (only exact negations and lane moves differ), so they agree value for
// value. The AVX2 path (FftAvx2.cpp) rotates with fused multiply-adds and
// agrees with them to single-precision rounding. All run on the audio
// thread: no allocation, no locks, no state outside a, ip and w.
#include "fft/Fft.h"

#include "fft/FftPortable.h"
#include "fft/FftKernels.h"
#include "fft/InstructionSet.h"
#include "fft/StepTwiddles.h"

#if defined(TAM_HAVE_AVX2)
#include "fft/FftAvx2.h"
#endif

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>

namespace tam {

alignas(32) constexpr std::array<float, stepTableFloats> stepTwiddleTables = makeStepTables();

namespace {

inline constexpr int minFloats = 4;
inline constexpr int maxFloats = 32768;
inline constexpr int maxTableFloats = maxFloats / 4;
// 2^p for the largest transform, p = (log2 of its 16384 points) / 2.
inline constexpr int maxSide = 128;
static_assert(maxSide * maxSide == maxFloats / 2 && maxSide <= 256, "bitReverse's tables cover every size");

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

// Each tile pair (forEachTilePair) is read and written once, a cache line
// at a time, instead of one point at a time across the whole array.
void bitReverseTiled(float* a, int bits)
{
    constexpr std::array<int, 8> rev3 = {0, 4, 2, 6, 1, 5, 3, 7};
    const int stride = tileRowStride(bits);
    std::uint64_t first[8][8];
    std::uint64_t second[8][8];
    const auto load = [stride](std::uint64_t (&tile)[8][8], const float* at) {
        for (int j = 0; j < 8; ++j)
        {
            std::memcpy(tile[j], at + j * stride, sizeof tile[j]);
        }
    };
    // tile(j, i) = from(rev3 i, rev3 j)
    const auto store = [stride, &rev3](const std::uint64_t (&from)[8][8], float* at) {
        for (int j = 0; j < 8; ++j)
        {
            std::uint64_t row[8];
            for (int i = 0; i < 8; ++i)
            {
                row[i] = from[rev3[static_cast<std::size_t>(i)]][rev3[static_cast<std::size_t>(j)]];
            }
            std::memcpy(at + j * stride, row, sizeof row);
        }
    };
    forEachTilePair(a, bits, [&](float* at, float* partner) {
        load(first, at);
        if (partner == at)
        {
            store(first, at);
            return;
        }
        load(second, partner);
        store(second, at);
        store(first, partner);
    });
}

// Index i = [hi: p bits][mid: 0 or 1 bit][lo: p bits] trades places with
// [rev lo][mid][rev hi]. Looping over r = rev lo > hi visits every pair once;
// for a fixed hi all partners lie in column rev hi.
void bitReverse(float* a, int points)
{
    const int bits = log2Of(points);
    if (bits >= 6)
    {
        bitReverseTiled(a, bits);
        return;
    }
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
        if (len >= smallestTabledStep && len <= largestTabledStep)
        {
            const float* const e1 = stepTwiddleTables.data() + stepTableOffset(len);
            const float* const e3 = e1 + 2 * quarter;
            for (int k = 0; k < quarter; ++k)
            {
                butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, e1[2 * k], e1[2 * k + 1],
                                    e3[2 * k], e3[2 * k + 1]);
            }
            return;
        }
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


// Builds the table when the context lacks it. False for a size the context
// cannot serve.
bool prepare(int n, std::int32_t* ip, float* w, Twiddles& t)
{
    // Any other size would read or write past the caller's context.
    if (n < minFloats || n > maxFloats || !isPowerOfTwo(n))
    {
        return false;
    }
    const int tableFloats = n / 4;
    const int built = ip[0];
    // A size that no build could have written is treated as no table.
    if (built < tableFloats || built > maxTableFloats || !isPowerOfTwo(built))
    {
        buildTable(tableFloats, w);
        ip[0] = tableFloats;
    }
    t = Twiddles{w, w + ip[0] / 2, 2 * ip[0]};
    return true;
}

template <class K>
void transformBoth(float* a, int points, bool backward, const Twiddles& t)
{
    if (backward)
    {
        transform<K, true>(a, points, t);
    }
    else
    {
        transform<K, false>(a, points, t);
    }
}

} // namespace

void cdft(int n, int isgn, float* a, std::int32_t* ip, float* w)
{
    Twiddles t{};
    if (!prepare(n, ip, w, t))
    {
        return;
    }
    const int points = n / 2;
    const bool backward = isgn >= 0;
    switch (activeInstructionSet())
    {
#if defined(TAM_HAVE_AVX2)
    case InstructionSet::avx2:
        transformAvx2(a, points, backward, t.w1, t.w3, t.points);
        return; // permuted there
#endif
#if defined(__SSE2__)
    case InstructionSet::sse2:
        transformBoth<SimdKernels>(a, points, backward, t);
        break;
#endif
    default:
        transformBoth<PortableKernels>(a, points, backward, t);
        break;
    }
    bitReverse(a, points);
}

void cdftPortable(int n, int isgn, float* a, std::int32_t* ip, float* w)
{
    Twiddles t{};
    if (!prepare(n, ip, w, t))
    {
        return;
    }
    transformBoth<PortableKernels>(a, n / 2, isgn >= 0, t);
    bitReverse(a, n / 2);
}

} // namespace tam
