// Denormal handling of the audio path: flushDenormal for single values, and
// DenormalGuard, which sets flush-to-zero and denormals-are-zero for its
// lifetime and restores the caller's floating-point control state afterwards, so the
// host's own settings survive our process call.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace tam {

/// 0 for a denormal (exponent bits all zero, mantissa not zero), else x.
/// Cheap enough for the audio thread.
inline float flushDenormal(float x)
{
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return ((bits & 0x7F800000u) == 0 && (bits & 0x007FFFFFu) != 0) ? 0.0f : x;
}

class DenormalGuard
{
public:
#if defined(__SSE2__)
    static constexpr unsigned flushToZero = 0x8000u;      // MXCSR FTZ
    static constexpr unsigned denormalsAreZero = 0x0040u; // MXCSR DAZ

    // Writing the control register costs more than reading it: a host that
    // already runs with both flags set pays for neither write.
    DenormalGuard() : saved(_mm_getcsr()), changed((saved & bothFlags) != bothFlags)
    {
        if (changed)
            _mm_setcsr(saved | bothFlags);
    }
    ~DenormalGuard()
    {
        if (changed)
            _mm_setcsr(saved);
    }

private:
    static constexpr unsigned bothFlags = flushToZero | denormalsAreZero;
    unsigned saved;
    bool changed;
#else
    DenormalGuard() = default;
#endif

public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

} // namespace tam
