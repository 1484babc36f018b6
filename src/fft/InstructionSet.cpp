#include "fft/InstructionSet.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace tam {
namespace {

constexpr int unset = -1;

InstructionSet detect()
{
#if defined(TAM_HAVE_AVX2)
    // The builtins also check that the operating system saves the 256-bit
    // registers (XGETBV), not only the processor's feature bits.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return InstructionSet::avx2;
#endif
#if defined(__SSE2__)
    return InstructionSet::sse2;
#else
    return InstructionSet::portable;
#endif
}

InstructionSet capped(InstructionSet wanted)
{
    const InstructionSet best = detect();
    return static_cast<int>(wanted) < static_cast<int>(best) ? wanted : best;
}

InstructionSet fromEnvironment()
{
    const char* name = std::getenv("TAM_INSTRUCTION_SET");
    if (name != nullptr)
    {
        for (const InstructionSet set : {InstructionSet::portable, InstructionSet::sse2, InstructionSet::avx2})
        {
            if (std::strcmp(name, instructionSetName(set)) == 0)
                return capped(set);
        }
    }
    return detect();
}

// Constant-initialised, so a call that comes before the module's dynamic
// initialisation still finds a defined value (and detects on the spot).
std::atomic<int> active{unset};
const bool selectedAtLoad = (active.store(static_cast<int>(fromEnvironment()), std::memory_order_relaxed), true);

} // namespace

InstructionSet supportedInstructionSet()
{
    return detect();
}

InstructionSet activeInstructionSet()
{
    const int set = active.load(std::memory_order_relaxed);
    return set == unset ? fromEnvironment() : static_cast<InstructionSet>(set);
}

InstructionSet useInstructionSet(InstructionSet set)
{
    static_cast<void>(selectedAtLoad);
    const InstructionSet chosen = capped(set);
    active.store(static_cast<int>(chosen), std::memory_order_relaxed);
    return chosen;
}

std::vector<InstructionSet> runnableInstructionSets()
{
    std::vector<InstructionSet> sets;
    for (int s = 0; s <= static_cast<int>(detect()); ++s)
        sets.push_back(static_cast<InstructionSet>(s));
    return sets;
}

const char* instructionSetName(InstructionSet set)
{
    switch (set)
    {
    case InstructionSet::portable:
        return "portable";
    case InstructionSet::sse2:
        return "sse2";
    case InstructionSet::avx2:
        return "avx2";
    }
    return "portable";
}

} // namespace tam
