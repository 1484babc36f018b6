// Sets flush-to-zero and denormals-are-zero for the lifetime of the guard
// and restores the caller's floating-point control state afterwards, so the
// host's own settings survive our process call.
#pragma once

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace tam {

class DenormalGuard
{
public:
#if defined(__SSE2__)
    static constexpr unsigned flushToZero = 0x8000u;      // MXCSR FTZ
    static constexpr unsigned denormalsAreZero = 0x0040u; // MXCSR DAZ

    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | flushToZero | denormalsAreZero); }
    ~DenormalGuard() { _mm_setcsr(saved); }

private:
    unsigned saved;
#else
    DenormalGuard() = default;
#endif

public:
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

} // namespace tam
