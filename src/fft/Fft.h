// The one complex FFT of the system: in place, natural order, unscaled.
//
// Conventions (fixed; every caller relies on them):
// - a holds n floats = n/2 complex points, interleaved (a[2j] real part,
//   a[2j+1] imaginary part); n is a power of two, 4 <= n <= 32768.
// - isgn >= 0 computes X[k] = sum_j x[j] exp(+2 pi i j k / N),
//   isgn <  0 computes X[k] = sum_j x[j] exp(-2 pi i j k / N), N = n/2.
// - No scaling in either direction: forward then backward returns N * x.
// - (ip, w) is the caller's transform context (FftTables holds the pair). ip[0] holds the size of the
//   table currently built in w (0 = none). A call with n > 4 * ip[0] builds
//   the table for n/4 entries and sets ip[0] = n/4; otherwise the table is
//   reused, so a context built for a larger n serves smaller ones too.
//   ip needs at least 2 + sqrt(n/2) entries, w at least n/4 floats; each
//   owner reserves fftContextSize of both.
// Threading: keeps no state outside a, ip and w; two threads may transform
// at once only with separate contexts. Allocation-free: safe on the audio
// thread once the table is built.
#pragma once

#include <cstdint>

namespace tam {

inline constexpr int fftContextSize = 8193;

void cdft(int n, int isgn, float* a, std::int32_t* ip, float* w);

/// One transform context: the work tables (ip, w) that travel together.
/// Starts empty; the first transform builds the table.
struct FftTables
{
    std::int32_t ip[fftContextSize] = {};
    float w[fftContextSize] = {};
};

inline void cdft(int n, int isgn, float* a, FftTables& tables)
{
    cdft(n, isgn, a, tables.ip, tables.w);
}

} // namespace tam
