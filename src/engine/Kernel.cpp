#include "engine/Kernel.h"

#include "engine/KernelAvx2.h"
#include "fft/InstructionSet.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tam {

namespace {

constexpr int nyquistBin = spectrumPoints / 2; // 8192

} // namespace

void splitStereoBins(const float* x, float* out, int first, int end)
{
    float* l = out;
    float* r = out + halfSpectrumFloats;
    // Bins 0 and 8192 pair with themselves: their real parts belong to the
    // left channel, their imaginary parts to the right one.
    l[0] = x[0];
    r[0] = x[1];
    l[1] = x[2 * nyquistBin];
    r[1] = x[2 * nyquistBin + 1];
    for (int k = first; k < end; ++k)
    {
        const float are = x[2 * k];
        const float aim = x[2 * k + 1];
        const float bre = x[2 * (spectrumPoints - k)];
        const float bim = x[2 * (spectrumPoints - k) + 1];
        // L = (X[k] + conj(X[N-k])) / 2, R = (X[k] - conj(X[N-k])) / 2i
        l[2 * k] = 0.5f * (are + bre);
        l[2 * k + 1] = 0.5f * (aim - bim);
        r[2 * k] = 0.5f * (aim + bim);
        r[2 * k + 1] = 0.5f * (bre - are);
    }
}

void joinStereoBins(const float* halves, float* out, int first, int end)
{
    const float* yl = halves;
    const float* yr = halves + halfSpectrumFloats;
    out[0] = yl[0];
    out[1] = yr[0];
    out[2 * nyquistBin] = yl[1];
    out[2 * nyquistBin + 1] = yr[1];
    for (int k = first; k < end; ++k)
    {
        const float lre = yl[2 * k];
        const float lim = yl[2 * k + 1];
        const float rre = yr[2 * k];
        const float rim = yr[2 * k + 1];
        // Y[k] = YL + i*YR; Y[N-k] = conj(YL) + i*conj(YR)
        out[2 * k] = lre - rim;
        out[2 * k + 1] = lim + rre;
        out[2 * (spectrumPoints - k)] = lre + rim;
        out[2 * (spectrumPoints - k) + 1] = rre - lim;
    }
}

void splitStereoSpectrum(const float* x, float* out)
{
#if defined(TAM_HAVE_AVX2)
    if (activeInstructionSet() == InstructionSet::avx2)
    {
        splitStereoSpectrumAvx2(x, out);
        return;
    }
#endif
    splitStereoBins(x, out, 1, nyquistBin);
}

void joinStereoSpectrum(const float* halves, float* out)
{
#if defined(TAM_HAVE_AVX2)
    if (activeInstructionSet() == InstructionSet::avx2)
    {
        joinStereoSpectrumAvx2(halves, out);
        return;
    }
#endif
    joinStereoBins(halves, out, 1, nyquistBin);
}

namespace {

// One channel: bin 0 and the Nyquist bin are real and multiply as reals,
// bins 1..8191 as complex numbers.
inline void macHalfScalar(const float* x, const float* h, float* y, bool store)
{
    if (store)
    {
        y[0] = x[0] * h[0];
        y[1] = x[1] * h[1];
        for (int k = 2; k < halfSpectrumFloats; k += 2)
        {
            y[k] = x[k] * h[k] - x[k + 1] * h[k + 1];
            y[k + 1] = x[k] * h[k + 1] + x[k + 1] * h[k];
        }
    }
    else
    {
        y[0] += x[0] * h[0];
        y[1] += x[1] * h[1];
        for (int k = 2; k < halfSpectrumFloats; k += 2)
        {
            y[k] += x[k] * h[k] - x[k + 1] * h[k + 1];
            y[k + 1] += x[k] * h[k + 1] + x[k + 1] * h[k];
        }
    }
}

#if defined(__SSE2__)
// Two complex bins per vector: with x = (a0, b0, a1, b1) and
// h = (c0, d0, c1, d1) the product is x * (c, c) + swap(x) * (-d, d).
inline __m128 complexProduct(__m128 x, __m128 h)
{
    const __m128 signs = _mm_castsi128_ps(_mm_set_epi32(0, static_cast<int>(0x80000000u), 0,
                                                        static_cast<int>(0x80000000u)));
    const __m128 hre = _mm_shuffle_ps(h, h, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128 him = _mm_xor_ps(_mm_shuffle_ps(h, h, _MM_SHUFFLE(3, 3, 1, 1)), signs);
    const __m128 xswap = _mm_shuffle_ps(x, x, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_add_ps(_mm_mul_ps(x, hre), _mm_mul_ps(xswap, him));
}

inline void macHalfSse(const float* x, const float* h, float* y, bool store)
{
    // Floats 0..3 hold the two real bins and bin 1; the rest is 16-byte aligned
    // groups of two complex bins.
    const float y0 = x[0] * h[0];
    const float y1 = x[1] * h[1];
    const float y2 = x[2] * h[2] - x[3] * h[3];
    const float y3 = x[2] * h[3] + x[3] * h[2];
    if (store)
    {
        y[0] = y0;
        y[1] = y1;
        y[2] = y2;
        y[3] = y3;
        for (int k = 4; k < halfSpectrumFloats; k += 4)
            _mm_store_ps(y + k, complexProduct(_mm_load_ps(x + k), _mm_load_ps(h + k)));
    }
    else
    {
        y[0] += y0;
        y[1] += y1;
        y[2] += y2;
        y[3] += y3;
        for (int k = 4; k < halfSpectrumFloats; k += 4)
            _mm_store_ps(y + k,
                         _mm_add_ps(_mm_load_ps(y + k), complexProduct(_mm_load_ps(x + k), _mm_load_ps(h + k))));
    }
}
#endif

} // namespace

void multiplyAccumulateScalar(const float* slot, const float* partition, float* acc, bool store)
{
    macHalfScalar(slot, partition, acc, store);
    macHalfScalar(slot + halfSpectrumFloats, partition + halfSpectrumFloats, acc + halfSpectrumFloats, store);
}

void multiplyAccumulate(const float* slot, const float* partition, float* acc, bool store)
{
    switch (activeInstructionSet())
    {
#if defined(TAM_HAVE_AVX2)
    case InstructionSet::avx2:
        multiplyAccumulateAvx2(slot, partition, acc, store);
        return;
#endif
#if defined(__SSE2__)
    case InstructionSet::sse2:
        macHalfSse(slot, partition, acc, store);
        macHalfSse(slot + halfSpectrumFloats, partition + halfSpectrumFloats, acc + halfSpectrumFloats, store);
        return;
#endif
    default:
        multiplyAccumulateScalar(slot, partition, acc, store);
        return;
    }
}

void multiplyPartition(const float* x, const float* s, const float* d, float* a, bool& accumulatorEmpty)
{
    // Extended-precision intermediates, rounded to single precision on store.
    const auto wide = [](float v) { return static_cast<double>(v); };
    const bool store = accumulatorEmpty;
    accumulatorEmpty = false;
    // Bins 0..3 one by one, each component in one expression.
    for (int k = 0; k < 4; ++k)
    {
        const int m = (spectrumPoints - k) % spectrumPoints;
        const double xr = wide(x[2 * k]), xi = wide(x[2 * k + 1]);
        const double mr = wide(x[2 * m]), mi = wide(x[2 * m + 1]);
        const double sr = wide(s[2 * k]), si = wide(s[2 * k + 1]);
        const double dr = wide(d[2 * k]), di = wide(d[2 * k + 1]);
        const double re = (xr * sr - xi * si) + mr * dr + mi * di;
        const double im = (xr * si + xi * sr) + mr * di - mi * dr;
        a[2 * k] = static_cast<float>(store ? re : static_cast<double>(a[2 * k]) + re);
        a[2 * k + 1] = static_cast<float>(store ? im : static_cast<double>(a[2 * k + 1]) + im);
    }
    for (int k = 4; k < spectrumPoints; ++k)
    {
        const int m = spectrumPoints - k;
        const double xr = wide(x[2 * k]), xi = wide(x[2 * k + 1]);
        const double mr = wide(x[2 * m]), mi = wide(x[2 * m + 1]);
        const double sr = wide(s[2 * k]), si = wide(s[2 * k + 1]);
        const double dr = wide(d[2 * k]), di = wide(d[2 * k + 1]);
        if (store)
        {
            a[2 * k] = static_cast<float>((xr * sr - xi * si) + mr * dr + mi * di);
            a[2 * k + 1] = static_cast<float>((xr * si + xi * sr) + mr * di - mi * dr);
        }
        else
        {
            // The direct product is added and stored first, then the mirrored
            // one: each component is rounded to single precision twice.
            a[2 * k] = static_cast<float>(static_cast<double>(a[2 * k]) + (xr * sr - xi * si));
            a[2 * k + 1] = static_cast<float>(static_cast<double>(a[2 * k + 1]) + (xr * si + xi * sr));
            a[2 * k] = static_cast<float>(static_cast<double>(a[2 * k]) + (mr * dr + mi * di));
            a[2 * k + 1] = static_cast<float>(static_cast<double>(a[2 * k + 1]) + (mr * di - mi * dr));
        }
    }
}

} // namespace tam
