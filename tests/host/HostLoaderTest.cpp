// Loads the built plug-in module through its exported entries, as a host does.
#include "support/PluginHost.h"

#include <gtest/gtest.h>

using namespace tam;
using namespace tam::test;

namespace {

const PluginModule& module()
{
    static PluginModule loaded(pluginPath());
    return loaded;
}

} // namespace

TEST(HostLoading, BothEntriesReturnAnEffectRecordWithTheDeclaredIdentity)
{
    for (const char* name : {"VSTPluginMain", "main"})
    {
        PluginHost host(module(), 2400, name);
        vst::AEffect* fx = host.effect();
        ASSERT_NE(fx, nullptr) << name;
        EXPECT_EQ(fx->magic, 0x56737450);
        EXPECT_EQ(fx->numPrograms, 1);
        EXPECT_EQ(fx->numParams, 173);
        EXPECT_EQ(fx->numInputs, 2);
        EXPECT_EQ(fx->numOutputs, 2);
        EXPECT_EQ(fx->initialDelay, 8960);
        EXPECT_EQ(fx->uniqueID, 0x34353663);
        EXPECT_EQ(fx->version, 1);
        EXPECT_EQ(fx->ioRatio, 1);
        EXPECT_EQ(host.close(), 1);
    }
}

TEST(HostLoading, AHostAnsweringZeroToTheVersionRequestGetsNoInstance)
{
    PluginHost host(module(), 0);
    EXPECT_EQ(host.effect(), nullptr);
}
