// The instruction set the transform and the engine's kernel run on.
//
// Chosen once when the module loads: the best one the processor and the
// operating system support, or a lower one named by the environment
// variable TAM_INSTRUCTION_SET ("portable", "sse2", "avx2"), which lets a
// user or a benchmark compare the paths on one machine. The modules are
// built for SSE2 machines; the AVX2 code (with FMA) lives in translation
// units of its own and runs only when selected.
//
// Threading: the choice is one atomic; reading it is lock-free and
// allocation-free, so the audio thread reads it on every call.
#pragma once

#include <vector>

namespace tam {

enum class InstructionSet : int
{
    portable, ///< plain C++
    sse2,     ///< 128-bit vectors
    avx2,     ///< 256-bit vectors with fused multiply-add
};

/// The best set this machine can run.
InstructionSet supportedInstructionSet();

/// The set in use.
InstructionSet activeInstructionSet();

/// Switches every later call to `set`, capped at the supported one, and
/// returns the set now in use. For tests and benchmarks: the plug-in never
/// calls it.
InstructionSet useInstructionSet(InstructionSet set);

/// Every set this machine can run, lowest first.
std::vector<InstructionSet> runnableInstructionSets();

/// "portable", "sse2" or "avx2".
const char* instructionSetName(InstructionSet set);

} // namespace tam
