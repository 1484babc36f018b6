// Compiled with -mavx2 -mfma. The steps of 32 points and more run on four
// complex points per register; the smaller ones reuse the 128-bit kernels,
// here in their VEX encoding.
#include "fft/FftAvx2.h"

#include "fft/FftKernels.h"
#include "fft/StepTwiddles.h"

#include <immintrin.h>

#include <array>
#include <cstddef>
#include <utility>

namespace tam {
namespace {

// cos and sin of 2 pi k q / 16 for q = 1, 2, 3 (rows) and k = 0 .. 3, each
// value twice (once per part of a point).
inline constexpr float cosPi8 = 0.923879532511286756f;
inline constexpr float sinPi8 = 0.382683432365089772f;
alignas(32) inline constexpr float sixteenthCos[3][8] = {
    {1.0f, 1.0f, cosPi8, cosPi8, halfSqrt2, halfSqrt2, sinPi8, sinPi8},
    {1.0f, 1.0f, halfSqrt2, halfSqrt2, 0.0f, 0.0f, -halfSqrt2, -halfSqrt2},
    {1.0f, 1.0f, sinPi8, sinPi8, -halfSqrt2, -halfSqrt2, -cosPi8, -cosPi8},
};
alignas(32) inline constexpr float sixteenthSin[3][8] = {
    {0.0f, 0.0f, sinPi8, sinPi8, halfSqrt2, halfSqrt2, cosPi8, cosPi8},
    {0.0f, 0.0f, halfSqrt2, halfSqrt2, 1.0f, 1.0f, halfSqrt2, halfSqrt2},
    {0.0f, 0.0f, cosPi8, cosPi8, halfSqrt2, halfSqrt2, -sinPi8, -sinPi8},
};

struct AvxKernels : SimdKernels
{
    // (re, im) -> (im, re) in every point.
    static __m256 swapParts(__m256 v) { return _mm256_permute_ps(v, _MM_SHUFFLE(2, 3, 0, 1)); }

    static __m256 negateImag(__m256 v)
    {
        return _mm256_xor_ps(v, _mm256_castsi256_ps(_mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull))));
    }

    static __m256 negate(__m256 v) { return _mm256_xor_ps(v, _mm256_set1_ps(-0.0f)); }

    static __m128 loadTwo(const float* p0, const float* p1)
    {
        const __m128 low = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p0));
        return _mm_loadh_pi(low, reinterpret_cast<const __m64*>(p1));
    }

    // Four (cos, sin) pairs from anywhere in the table.
    static __m256 loadFour(const float* p0, const float* p1, const float* p2, const float* p3)
    {
        return _mm256_insertf128_ps(_mm256_castps128_ps256(loadTwo(p0, p1)), loadTwo(p2, p3), 1);
    }

    // Entries k .. k+3 at the given stride, upwards.
    static __m256 loadUp(const float* w, int k, int stride)
    {
        if (stride == 1)
        {
            return _mm256_loadu_ps(w + 2 * k);
        }
        return loadFour(w + 2 * k * stride, w + 2 * (k + 1) * stride, w + 2 * (k + 2) * stride,
                        w + 2 * (k + 3) * stride);
    }

    // Entries m, m-1, m-2, m-3 at the given stride, downwards.
    static __m256 loadDown(const float* w, int m, int stride)
    {
        if (stride == 1)
        {
            const __m256d v = _mm256_castps_pd(_mm256_loadu_ps(w + 2 * (m - 3)));
            return _mm256_castpd_ps(_mm256_permute4x64_pd(v, _MM_SHUFFLE(0, 1, 2, 3)));
        }
        return loadFour(w + 2 * m * stride, w + 2 * (m - 1) * stride, w + 2 * (m - 2) * stride,
                        w + 2 * (m - 3) * stride);
    }

    // Per point: (re + i im) W with W = c -+ i s, the cross terms fused.
    template <bool Backward>
    static __m256 rotate(__m256 v, __m256 c, __m256 s)
    {
        const __m256 cross = _mm256_mul_ps(swapParts(v), s); // (im s, re s)
        return Backward ? _mm256_fmaddsub_ps(v, c, cross) : _mm256_fmsubadd_ps(v, c, cross);
    }

    template <bool Backward>
    static void butterfly(float* p0, float* p1, float* p2, float* p3, __m256 c1, __m256 s1, __m256 c3, __m256 s3)
    {
        const __m256 a0 = _mm256_loadu_ps(p0);
        const __m256 a1 = _mm256_loadu_ps(p1);
        const __m256 a2 = _mm256_loadu_ps(p2);
        const __m256 a3 = _mm256_loadu_ps(p3);
        _mm256_storeu_ps(p0, _mm256_add_ps(a0, a2));
        _mm256_storeu_ps(p1, _mm256_add_ps(a1, a3));
        const __m256 d0 = _mm256_sub_ps(a0, a2);
        const __m256 t = negateImag(swapParts(_mm256_sub_ps(a1, a3))); // -i d1
        const __m256 minus = _mm256_add_ps(d0, t);                       // d0 - i d1
        const __m256 plus = _mm256_sub_ps(d0, t);                        // d0 + i d1
        _mm256_storeu_ps(p2, rotate<Backward>(Backward ? plus : minus, c1, s1));
        _mm256_storeu_ps(p3, rotate<Backward>(Backward ? minus : plus, c3, s3));
    }

    // Four points x0..x3 per lane -> their 4-point transform y0..y3.
    template <bool Backward>
    static void radix4(__m256& x0, __m256& x1, __m256& x2, __m256& x3)
    {
        const __m256 s0 = _mm256_add_ps(x0, x2);
        const __m256 s1 = _mm256_add_ps(x1, x3);
        const __m256 d0 = _mm256_sub_ps(x0, x2);
        const __m256 t = negateImag(swapParts(_mm256_sub_ps(x1, x3))); // -i d1
        x0 = _mm256_add_ps(s0, s1);
        x2 = _mm256_sub_ps(s0, s1);
        x1 = Backward ? _mm256_sub_ps(d0, t) : _mm256_add_ps(d0, t);
        x3 = Backward ? _mm256_add_ps(d0, t) : _mm256_sub_ps(d0, t);
    }

    // Row q of the result is column q of the input (four points per row).
    static void transpose(__m256& r0, __m256& r1, __m256& r2, __m256& r3)
    {
        const __m256d t0 = _mm256_unpacklo_pd(_mm256_castps_pd(r0), _mm256_castps_pd(r1));
        const __m256d t1 = _mm256_unpackhi_pd(_mm256_castps_pd(r0), _mm256_castps_pd(r1));
        const __m256d t2 = _mm256_unpacklo_pd(_mm256_castps_pd(r2), _mm256_castps_pd(r3));
        const __m256d t3 = _mm256_unpackhi_pd(_mm256_castps_pd(r2), _mm256_castps_pd(r3));
        r0 = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
        r1 = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
        r2 = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
        r3 = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
    }

    // 16 points in registers, as two radix-4 steps: point 4p + k sits in
    // register p, lane k. The first step combines the registers, the
    // points are turned by W^kq, and after a transpose the second step
    // combines them again: output 4m + q lands in register m, lane q. A
    // second transpose, with registers 1 and 2 trading places on both
    // sides, leaves the outputs bit-reversed as every leaf does.
    template <bool Backward>
    static void sixteen(float* x)
    {
        __m256 r0 = _mm256_loadu_ps(x);
        __m256 r1 = _mm256_loadu_ps(x + 8);
        __m256 r2 = _mm256_loadu_ps(x + 16);
        __m256 r3 = _mm256_loadu_ps(x + 24);
        radix4<Backward>(r0, r1, r2, r3);
        r1 = rotate<Backward>(r1, _mm256_loadu_ps(sixteenthCos[0]), _mm256_loadu_ps(sixteenthSin[0]));
        r2 = rotate<Backward>(r2, _mm256_loadu_ps(sixteenthCos[1]), _mm256_loadu_ps(sixteenthSin[1]));
        r3 = rotate<Backward>(r3, _mm256_loadu_ps(sixteenthCos[2]), _mm256_loadu_ps(sixteenthSin[2]));
        transpose(r0, r1, r2, r3);
        radix4<Backward>(r0, r1, r2, r3);
        transpose(r0, r2, r1, r3);
        _mm256_storeu_ps(x, r0);
        _mm256_storeu_ps(x + 8, r1);
        _mm256_storeu_ps(x + 16, r2);
        _mm256_storeu_ps(x + 24, r3);
    }

    // A step of len points with its twiddles from the compile-time tables.
    template <bool Backward>
    static void tabledPass(float* x, int len)
    {
        const int quarter = len / 4;
        const float* const w1 = stepTwiddleTables.data() + stepTableOffset(len);
        const float* const w3 = w1 + 2 * quarter;
        float* x1 = x + 2 * quarter;
        float* x2 = x + 4 * quarter;
        float* x3 = x + 6 * quarter;
        for (int k = 0; k < quarter; k += 4)
        {
            const __m256 e1 = _mm256_loadu_ps(w1 + 2 * k);
            const __m256 e3 = _mm256_loadu_ps(w3 + 2 * k);
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, _mm256_moveldup_ps(e1),
                                _mm256_movehdup_ps(e1), _mm256_moveldup_ps(e3), _mm256_movehdup_ps(e3));
        }
    }

    template <bool Backward, int Len>
        requires(Len >= smallestTabledStep)
    static void fixedPass(float* x)
    {
        tabledPass<Backward>(x, Len);
    }

    template <bool Backward>
    static void pass(float* x, int len, const Twiddles& t)
    {
        if (len >= smallestTabledStep && len <= largestTabledStep)
        {
            tabledPass<Backward>(x, len);
            return;
        }
        const int quarter = len / 4;
        const int eighth = len / 8;
        const int stride = t.points / len;
        const float* const w1 = t.w1;
        const float* const w3 = t.w3;
        float* x1 = x + 2 * quarter;
        float* x2 = x + 4 * quarter;
        float* x3 = x + 6 * quarter;
        for (int k = 0; k < eighth; k += 4)
        {
            const __m256 e1 = loadUp(w1, k, stride);
            const __m256 e3 = loadUp(w3, k, stride);
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, _mm256_moveldup_ps(e1),
                                _mm256_movehdup_ps(e1), _mm256_moveldup_ps(e3), _mm256_movehdup_ps(e3));
        }
        // Points k .. k+3 mirror m = len/4 - k down to m - 3; the first
        // group starts on the entry one past the table.
        for (int k = eighth; k < quarter; k += 4)
        {
            const int m = quarter - k;
            __m256 e1;
            __m256 e3;
            if (k == eighth)
            {
                e1 = loadFour(eighthW1, w1 + 2 * (m - 1) * stride, w1 + 2 * (m - 2) * stride,
                              w1 + 2 * (m - 3) * stride);
                e3 = loadFour(eighthW3, w3 + 2 * (m - 1) * stride, w3 + 2 * (m - 2) * stride,
                              w3 + 2 * (m - 3) * stride);
            }
            else
            {
                e1 = loadDown(w1, m, stride);
                e3 = loadDown(w3, m, stride);
            }
            butterfly<Backward>(x + 2 * k, x1 + 2 * k, x2 + 2 * k, x3 + 2 * k, _mm256_movehdup_ps(e1),
                                _mm256_moveldup_ps(e1), negate(_mm256_movehdup_ps(e3)),
                                negate(_mm256_moveldup_ps(e3)));
        }
    }
};

// The final permutation: a swap of point pairs below 64 points, tile pairs
// (forEachTilePair) moved through registers above.
void bitReverse(float* a, int bits)
{
    if (bits < 6)
    {
        for (int i = 0; i < (1 << bits); ++i)
        {
            const int j = reversedByte[static_cast<std::size_t>(i)] >> (8 - bits);
            if (i < j)
            {
                std::swap(a[2 * i], a[2 * j]);
                std::swap(a[2 * i + 1], a[2 * j + 1]);
            }
        }
        return;
    }
    const int stride = tileRowStride(bits);
    constexpr int tileFloats = 128;
    float spare[tileFloats]; // one tile in transit; unaligned moves only
    // to(j, i) = from(rev3 i, rev3 j). The even points of source row s, in
    // the order 0, 4, 2, 6, are its points rev3 0 .. rev3 3 and the odd ones
    // rev3 4 .. rev3 7, so rows 0, 4, 2, 6 of the source transposed give the
    // first four points of every target row and rows 1, 5, 3, 7 the last four.
    const auto move = [](const float* from, int fromStride, float* to, int toStride)
    {
        for (int half = 0; half < 2; ++half)
        {
            __m256d even[4];
            __m256d odd[4];
            constexpr int rows[4] = {0, 4, 2, 6};
            for (int k = 0; k < 4; ++k)
            {
                const float* row = from + (rows[k] + half) * fromStride;
                const __m256d low = _mm256_castps_pd(_mm256_loadu_ps(row));
                const __m256d high = _mm256_castps_pd(_mm256_loadu_ps(row + 8));
                even[k] = _mm256_unpacklo_pd(low, high);
                odd[k] = _mm256_unpackhi_pd(low, high);
            }
            for (int k = 0; k < 2; ++k)
            {
                __m256d* v = k == 0 ? even : odd;
                __m256 r0 = _mm256_castpd_ps(v[0]);
                __m256 r1 = _mm256_castpd_ps(v[1]);
                __m256 r2 = _mm256_castpd_ps(v[2]);
                __m256 r3 = _mm256_castpd_ps(v[3]);
                AvxKernels::transpose(r0, r1, r2, r3);
                float* out = to + 4 * k * toStride + 8 * half;
                _mm256_storeu_ps(out, r0);
                _mm256_storeu_ps(out + toStride, r1);
                _mm256_storeu_ps(out + 2 * toStride, r2);
                _mm256_storeu_ps(out + 3 * toStride, r3);
            }
        }
    };
    const auto copy = [stride](const float* from, float* to)
    {
        for (int j = 0; j < 8; ++j)
        {
            _mm256_storeu_ps(to + j * stride, _mm256_loadu_ps(from + 16 * j));
            _mm256_storeu_ps(to + j * stride + 8, _mm256_loadu_ps(from + 16 * j + 8));
        }
    };
    forEachTilePair(a, bits, [&](float* first, float* second) {
        move(first, stride, spare, 16);
        if (second != first)
        {
            move(second, stride, first, stride);
        }
        copy(spare, second);
    });
}

} // namespace

void transformAvx2(float* a, int points, bool backward, const float* w1, const float* w3, int tablePoints)
{
    const Twiddles t{w1, w3, tablePoints};
    if (backward)
    {
        transform<AvxKernels, true>(a, points, t);
    }
    else
    {
        transform<AvxKernels, false>(a, points, t);
    }
    int bits = 0;
    while ((2 << bits) <= points)
    {
        ++bits;
    }
    bitReverse(a, bits);
}

} // namespace tam
