// Compiled with -mavx2 -mfma. Uses intrinsics and plain pointers only: no
// inline library code that the linker could share with the SSE2 build.
#include "engine/KernelAvx2.h"

#include "engine/Kernel.h"

#include <immintrin.h>

namespace tam {
namespace {

// The kernel streams two 64 KiB halves per call from memory at full length;
// asking for the data a few cache lines ahead keeps the loads fed.
constexpr int prefetchFloats = 512;

// Four complex bins per vector: x * h = x * (re h) -+ swap(x) * (im h).
inline __m256 product(__m256 x, __m256 h)
{
    const __m256 swapped = _mm256_permute_ps(x, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm256_fmaddsub_ps(x, _mm256_moveldup_ps(h), _mm256_mul_ps(swapped, _mm256_movehdup_ps(h)));
}

inline __m128 product(__m128 x, __m128 h)
{
    const __m128 swapped = _mm_permute_ps(x, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_fmaddsub_ps(x, _mm_moveldup_ps(h), _mm_mul_ps(swapped, _mm_movehdup_ps(h)));
}

inline void prefetch(const float* x, const float* h, int k)
{
    _mm_prefetch(reinterpret_cast<const char*>(x + k + prefetchFloats), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(h + k + prefetchFloats), _MM_HINT_T0);
}

// One channel of the [L | R] layout. Floats 0..3 hold the two real bins
// and bin 1, then 2047 groups of four bins and one of two. The buffers are
// 16-byte aligned only: unaligned loads and stores throughout.
template <bool Store>
void macHalf(const float* x, const float* h, float* y)
{
    const float y0 = x[0] * h[0];
    const float y1 = x[1] * h[1];
    const float y2 = x[2] * h[2] - x[3] * h[3];
    const float y3 = x[2] * h[3] + x[3] * h[2];
    if constexpr (Store)
    {
        y[0] = y0;
        y[1] = y1;
        y[2] = y2;
        y[3] = y3;
    }
    else
    {
        y[0] += y0;
        y[1] += y1;
        y[2] += y2;
        y[3] += y3;
    }
    int k = 4;
    for (; k + 16 <= halfSpectrumFloats; k += 16)
    {
        prefetch(x, h, k);
        __m256 a = product(_mm256_loadu_ps(x + k), _mm256_loadu_ps(h + k));
        __m256 b = product(_mm256_loadu_ps(x + k + 8), _mm256_loadu_ps(h + k + 8));
        if constexpr (!Store)
        {
            a = _mm256_add_ps(_mm256_loadu_ps(y + k), a);
            b = _mm256_add_ps(_mm256_loadu_ps(y + k + 8), b);
        }
        _mm256_storeu_ps(y + k, a);
        _mm256_storeu_ps(y + k + 8, b);
    }
    for (; k + 8 <= halfSpectrumFloats; k += 8)
    {
        __m256 a = product(_mm256_loadu_ps(x + k), _mm256_loadu_ps(h + k));
        if constexpr (!Store)
            a = _mm256_add_ps(_mm256_loadu_ps(y + k), a);
        _mm256_storeu_ps(y + k, a);
    }
    for (; k < halfSpectrumFloats; k += 4)
    {
        __m128 a = product(_mm_loadu_ps(x + k), _mm_loadu_ps(h + k));
        if constexpr (!Store)
            a = _mm_add_ps(_mm_loadu_ps(y + k), a);
        _mm_storeu_ps(y + k, a);
    }
}

// Points k .. k+3 of the spectrum read downwards from point m = N - k:
// m, m - 1, m - 2, m - 3.
inline __m256 loadMirrored(const float* x, int m)
{
    const __m256d v = _mm256_castps_pd(_mm256_loadu_ps(x + 2 * (m - 3)));
    return _mm256_castpd_ps(_mm256_permute4x64_pd(v, _MM_SHUFFLE(0, 1, 2, 3)));
}

inline void storeMirrored(float* x, int m, __m256 v)
{
    const __m256d d = _mm256_permute4x64_pd(_mm256_castps_pd(v), _MM_SHUFFLE(0, 1, 2, 3));
    _mm256_storeu_ps(x + 2 * (m - 3), _mm256_castpd_ps(d));
}

inline __m256 swapParts(__m256 v)
{
    return _mm256_permute_ps(v, _MM_SHUFFLE(2, 3, 0, 1));
}

inline __m256 negateImag(__m256 v)
{
    return _mm256_xor_ps(v, _mm256_castsi256_ps(_mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull))));
}

// The first bins whose mirrored group of four lies wholly above them.
constexpr int firstVectorBin = 4;
constexpr int nyquistBin = spectrumPoints / 2;

} // namespace

void splitStereoSpectrumAvx2(const float* x, float* out)
{
    splitStereoBins(x, out, 1, firstVectorBin);
    float* l = out;
    float* r = out + halfSpectrumFloats;
    // The same sums as the scalar loop, term for term: L = (X[k] +
    // conj X[N-k]) / 2, R = (swap X[N-k] + conj swap X[k]) / 2.
    const __m256 half = _mm256_set1_ps(0.5f);
    for (int k = firstVectorBin; k < nyquistBin; k += 4)
    {
        const __m256 a = _mm256_loadu_ps(x + 2 * k);
        const __m256 b = loadMirrored(x, spectrumPoints - k);
        _mm256_storeu_ps(l + 2 * k, _mm256_mul_ps(half, _mm256_add_ps(a, negateImag(b))));
        _mm256_storeu_ps(r + 2 * k, _mm256_mul_ps(half, _mm256_add_ps(swapParts(b), negateImag(swapParts(a)))));
    }
}

void joinStereoSpectrumAvx2(const float* halves, float* out)
{
    joinStereoBins(halves, out, 1, firstVectorBin);
    const float* yl = halves;
    const float* yr = halves + halfSpectrumFloats;
    // Y[k] = YL + i YR, Y[N-k] = conj YL + i conj YR.
    for (int k = firstVectorBin; k < nyquistBin; k += 4)
    {
        const __m256 left = _mm256_loadu_ps(yl + 2 * k);
        const __m256 right = swapParts(_mm256_loadu_ps(yr + 2 * k));
        _mm256_storeu_ps(out + 2 * k, _mm256_addsub_ps(left, right));
        storeMirrored(out, spectrumPoints - k, _mm256_add_ps(right, negateImag(left)));
    }
}

void multiplyAccumulateAvx2(const float* slot, const float* partition, float* acc, bool store)
{
    if (store)
    {
        macHalf<true>(slot, partition, acc);
        macHalf<true>(slot + halfSpectrumFloats, partition + halfSpectrumFloats, acc + halfSpectrumFloats);
    }
    else
    {
        macHalf<false>(slot, partition, acc);
        macHalf<false>(slot + halfSpectrumFloats, partition + halfSpectrumFloats, acc + halfSpectrumFloats);
    }
}

} // namespace tam
