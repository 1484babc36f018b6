// The plug-in as the module assembles it for a host (createEffectInstance).
#include "frame/AudioEffect.h"
#include "frame/PluginEntry.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tam;
using namespace tam::test;

namespace {

using PluginFixture = SandboxedTest;

} // namespace

TEST_F(PluginFixture, RunningOutOfMemoryDuringConstructionYieldsNoInstanceAndLeaksNothing)
{
    // Count the allocations of a normal construction, then refuse each one in
    // turn (a sample of them, to keep the run short).
    long total = 0;
    {
        AllocationCounter counter;
        delete createEffectInstance(versionOnlyHost);
        total = counter.count();
    }
    ASSERT_GT(total, 10);
    int refused = 0;
    for (long n = 0; n < total; n += std::max(1L, total / 60))
    {
        AudioEffect* effect = nullptr;
        bool triggered = false;
        {
            FailingAllocation failure(n);
            effect = createEffectInstance(versionOnlyHost);
            triggered = failure.triggered();
        }
        if (triggered && effect == nullptr)
            ++refused;
        delete effect; // a refusal the plug-in absorbed still gives a working instance
    }
    EXPECT_GT(refused, 0);
}
