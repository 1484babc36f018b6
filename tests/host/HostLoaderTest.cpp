// Loads the built plug-in module through its exported entries and drives it
// through the dispatcher, as a host does.
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace tam;
using namespace tam::test;

namespace {

const PluginModule& module()
{
    return builtModule();
}

/// Keeps the settings of the test run away from the machine's own.
struct HostFixture : ::testing::Test
{
    TempDir dir;
    SettingsSandbox settings{dir};
};

} // namespace

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit Windows module exports "main" alone, as 32-bit hosts expect.
constexpr const char* entryNames[] = {"main"};
#else
constexpr const char* entryNames[] = {"VSTPluginMain", "main"};
#endif

TEST_F(HostFixture, BothEntriesReturnAnEffectRecordWithTheDeclaredIdentity)
{
#if defined(_WIN32) && !defined(_WIN64)
    EXPECT_EQ(module().entry("VSTPluginMain"), nullptr);
#endif
    for (const char* name : entryNames)
    {
        PluginHost host(module(), 2400, name);
        vst::AEffect* fx = host.effect();
        ASSERT_NE(fx, nullptr) << name;
        EXPECT_EQ(fx->magic, 0x56737450);
        EXPECT_EQ(fx->numPrograms, 1);
        EXPECT_EQ(fx->numParams, 173);
        EXPECT_EQ(fx->numInputs, 2);
        EXPECT_EQ(fx->numOutputs, 2);
        EXPECT_EQ(fx->flags, 0x19);
        EXPECT_EQ(fx->resvd1, 0);
        EXPECT_EQ(fx->resvd2, 0);
        EXPECT_EQ(fx->initialDelay, 8960);
        EXPECT_EQ(fx->realQualities, 0);
        EXPECT_EQ(fx->offQualities, 0);
        EXPECT_EQ(fx->ioRatio, 1);
        EXPECT_NE(fx->object, nullptr);
        EXPECT_EQ(fx->user, nullptr);
        EXPECT_EQ(fx->uniqueID, 0x34353663);
        EXPECT_EQ(fx->version, 1);
        EXPECT_NE(fx->processReplacing, nullptr);
        for (char byte : fx->future)
            EXPECT_EQ(byte, 0);
        EXPECT_EQ(host.close(), 1);
    }
}

TEST_F(HostFixture, AHostAnsweringZeroToTheVersionRequestGetsNoInstance)
{
    PluginHost host(module(), 0);
    EXPECT_EQ(host.effect(), nullptr);
}

TEST_F(HostFixture, BasicRequestsAnswerAsAHostExpects)
{
    PluginHost host(module());
    EXPECT_EQ(host.dispatch(vst::effOpen), 0);
    EXPECT_EQ(host.dispatch(vst::effIdentify), 0x4E764566);
    EXPECT_EQ(host.dispatch(vst::effGetProgram), 0);
    EXPECT_EQ(host.dispatch(vst::effSetProgram, 0, 1), 0);
    EXPECT_EQ(host.dispatch(vst::effGetProgram), 0);
    EXPECT_EQ(host.dispatchText(vst::effGetProgramName), "Programm");
    char name[64] = "My Hall";
    host.dispatch(vst::effSetProgramName, 0, 0, name);
    EXPECT_EQ(host.dispatchText(vst::effGetProgramName), "My Hall");
    EXPECT_EQ(host.dispatch(vst::effGetVu), 0);
    EXPECT_EQ(host.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(host.dispatch(vst::effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(host.dispatch(vst::effMainsChanged, 0, 1), 0);
    EXPECT_EQ(host.dispatch(vst::effMainsChanged, 0, 0), 0);
    for (const vst::VstInt32 opcode : {vst::effEditDraw, vst::effEditMouse, vst::effEditKey, vst::effEditTop,
                                       vst::effEditSleep, vst::effGetChunk, vst::effSetChunk})
        EXPECT_EQ(host.dispatch(opcode), 0) << opcode;
    vst::ERect* rect = nullptr;
    if (host.effect()->flags & vst::effFlagsHasEditor)
    {
        EXPECT_EQ(host.dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->bottom, 464);
        EXPECT_EQ(rect->right, 736);
    }
    EXPECT_EQ(host.dispatch(vst::effClose + 1000), 0);
}

TEST_F(HostFixture, ParametersAreNamedLabelledAndDisplayed)
{
    PluginHost host(module());
    EXPECT_EQ(host.dispatchText(vst::effGetParamName, 0), "Dry");
    EXPECT_EQ(host.dispatchText(vst::effGetParamName, 16), "FFT EQ1 Position ");
    EXPECT_EQ(host.dispatchText(vst::effGetParamName, 31), "FFT EQ8 gain ");
    EXPECT_EQ(host.dispatchText(vst::effGetParamName, 45), "CheckSumDoNotTouch");
    EXPECT_EQ(host.dispatchText(vst::effGetParamName, 172), "FileNameDoNotTouch");
    for (const int reserved : {3, 11, 14, 15, 32, 40, 44, 173, 500, -1})
        EXPECT_EQ(host.dispatchText(vst::effGetParamName, reserved), "reserved") << reserved;
    EXPECT_EQ(host.dispatchText(vst::effGetParamLabel, 7), "%");
    EXPECT_EQ(host.dispatchText(vst::effGetParamDisplay, 1), "0.50");
    host.setParameter(0, 0.126f);
    EXPECT_EQ(host.dispatchText(vst::effGetParamDisplay, 0), "0.13");
    EXPECT_EQ(host.dispatchText(vst::effGetParamDisplay, 172), "0.00");
    EXPECT_EQ(host.dispatchText(vst::effGetParamDisplay, 3), "0.00");
    EXPECT_FLOAT_EQ(host.getParameter(0), 0.126f);
}

TEST_F(HostFixture, EveryParameterReadsBackWhatWasSetAndReservedOnesReadZero)
{
    PluginHost host(module());
    for (int index = 0; index <= 175; ++index)
    {
        const bool reserved = host.dispatchText(vst::effGetParamName, index) == "reserved";
        const float value = 0.125f + static_cast<float>(index) / 512.0f;
        host.setParameter(index, value);
        EXPECT_FLOAT_EQ(host.getParameter(index), reserved ? 0.0f : value) << index;
    }
}

TEST_F(HostFixture, ExtensionRequestsGiveThePluginsOwnAnswersAndTheDefaults)
{
    PluginHost host(module());
    EXPECT_EQ(host.dispatchText(vst::effGetEffectName), "TAM");
    EXPECT_EQ(host.dispatchText(vst::effGetVendorString), "Veldrana");
    EXPECT_EQ(host.dispatchText(vst::effGetProductString), "TAM Impulse Response Processor");
    EXPECT_EQ(host.dispatch(vst::effGetVendorVersion), 1);
    EXPECT_EQ(host.dispatch(vst::effGetVstVersion), 2200);
    EXPECT_EQ(host.dispatch(vst::effKeysRequired), 1);
    EXPECT_EQ(host.dispatch(vst::effGetNumProgramCategories), 1);
    EXPECT_EQ(host.dispatch(vst::effGetTailSize), 0);
    EXPECT_EQ(host.dispatch(vst::effGetPlugCategory), 0);
    EXPECT_EQ(host.dispatch(vst::effCanBeAutomated, 5), 1);
    EXPECT_EQ(host.dispatch(vst::effGetCurrentMidiProgram), -1);
    EXPECT_EQ(host.dispatch(vst::effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f), 1);
    EXPECT_EQ(host.dispatch(vst::effConnectInput, 0, 1), 1);
    EXPECT_EQ(host.dispatch(vst::effProcessEvents), 1);

    char receive[] = "receiveVstEvents";
    char midi[] = "receiveVstMidiEvent";
    char other[] = "sendVstEvents";
    EXPECT_EQ(host.dispatch(vst::effCanDo, 0, 0, receive), 0);
    EXPECT_EQ(host.dispatch(vst::effCanDo, 0, 0, midi), 0);
    EXPECT_EQ(host.dispatch(vst::effCanDo, 0, 0, other), -1);

    char programName[64] = {};
    EXPECT_EQ(host.dispatch(vst::effGetProgramNameIndexed, 0, 0, programName), 1);
    EXPECT_STREQ(programName, "Programm");
    EXPECT_EQ(host.dispatch(vst::effGetProgramNameIndexed, 1, 0, programName), 0);

    vst::VstPinProperties pin{};
    std::memset(&pin, 0x55, sizeof pin);
    EXPECT_EQ(host.dispatch(vst::effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "TAM  2");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(pin.arrangementType, 0x55555555) << "fields beyond the flags stay as the host left them";
    EXPECT_EQ(host.dispatch(vst::effGetOutputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(host.dispatch(vst::effGetInputProperties, 0, 0, &pin), 0);
    for (const vst::VstInt32 opcode : {69, 70, 1000, -5})
        EXPECT_EQ(host.dispatch(opcode), 0) << opcode;
}

TEST_F(HostFixture, BadArgumentsGetAZeroAnswerAndTouchNothing)
{
    PluginHost host(module());
    for (const vst::VstInt32 opcode :
         {vst::effGetParamName, vst::effGetParamLabel, vst::effGetParamDisplay, vst::effGetProgramName,
          vst::effSetProgramName, vst::effGetEffectName, vst::effGetVendorString, vst::effGetProductString,
          vst::effCanDo, vst::effGetOutputProperties, vst::effGetProgramNameIndexed, vst::effString2Parameter,
          vst::effEditGetRect, vst::effGetChunk})
        EXPECT_EQ(host.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    EXPECT_EQ(host.dispatch(vst::effSetProgram, 0, -7), 0);
    EXPECT_EQ(host.dispatch(vst::effGetProgram), 0);
    EXPECT_EQ(host.getParameter(-3), 0.0f);
    EXPECT_EQ(host.getParameter(1 << 30), 0.0f);
    host.setParameter(1 << 30, 1.0f);
    // Null channel pointers and empty blocks are ignored.
    vst::AEffect* fx = host.effect();
    fx->processReplacing(fx, nullptr, nullptr, 64);
    float* none[2] = {nullptr, nullptr};
    fx->process(fx, none, none, 64);
    float left[4] = {1, 2, 3, 4};
    float* io[2] = {left, left};
    fx->processReplacing(fx, io, io, 0);
    fx->processReplacing(fx, io, io, -5);
    EXPECT_EQ(left[0], 1.0f);
}
