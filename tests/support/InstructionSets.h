// Runs a test body on every instruction set this machine can run.
#pragma once

#include "fft/InstructionSet.h"

#include <gtest/gtest.h>

namespace tam::test {

/// Calls body(set) with each runnable set forced in turn, then restores the
/// set that was active.
template <class Body>
void forEachInstructionSet(Body body)
{
    const InstructionSet before = activeInstructionSet();
    for (const InstructionSet set : runnableInstructionSets())
    {
        SCOPED_TRACE(instructionSetName(set));
        useInstructionSet(set);
        body(set);
    }
    useInstructionSet(before);
}

} // namespace tam::test
