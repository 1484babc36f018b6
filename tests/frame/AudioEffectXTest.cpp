// The host interface classes on their own: defaults, flag setters and the
// wrappers that turn operations into host callback requests.
#include "frame/AEffEditor.h"
#include "frame/AudioEffectX.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tam;
using namespace tam::vst;

namespace {

struct Request
{
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

std::vector<Request> requests;
VstIntPtr answer = 0;

VstIntPtr TAM_VST_CALL recordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt)
{
    requests.push_back({opcode, index, value, ptr, opt});
    return answer;
}

class BareEffect : public AudioEffectX
{
public:
    explicit BareEffect(audioMasterCallback host) : AudioEffectX(host, 1, 4) {}
    void process(float**, float**, VstInt32) override {}
    using AudioEffect::setFlag;
};

class KeyEditor : public AEffEditor
{
public:
    using AEffEditor::AEffEditor;
    VstInt32 onKeyDown(VstKeyCode& key) override
    {
        last = key;
        return 7;
    }
    VstKeyCode last{};
};

struct FrameFixture : ::testing::Test
{
    void SetUp() override
    {
        requests.clear();
        answer = 0;
    }
};

} // namespace

TEST_F(FrameFixture, TheBaseRecordHasItsDefaultsUntilThePlugInSetsItsOwn)
{
    BareEffect fx(recordingHost);
    const AEffect& record = *fx.getAeffect();
    EXPECT_EQ(record.magic, 0x56737450);
    EXPECT_EQ(record.numInputs, 1);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, 0);
    EXPECT_EQ(record.uniqueID, fourCharCode('N', 'o', 'E', 'f'));
    EXPECT_EQ(record.ioRatio, 1);
    EXPECT_EQ(record.object, &fx);
    EXPECT_FLOAT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);

    fx.canMono(true);
    fx.canProcessReplacing(true);
    fx.hasClip(true);
    fx.hasClip(false);
    fx.isSynth(true);
    EXPECT_EQ(record.flags, effFlagsCanMono | effFlagsCanReplacing | effFlagsIsSynth);
    EXPECT_EQ(fx.dispatcher(effGetPlugCategory, 0, 0, nullptr, 0.0f), kPlugCategSynth);
    fx.noTail(true);
    fx.wantAsyncOperation(true);
    fx.hasExternalBuffer(true);
    EXPECT_EQ(record.flags & (effFlagsNoSoundInStop | effFlagsExtIsAsync | effFlagsExtHasBuffer),
              effFlagsNoSoundInStop | effFlagsExtIsAsync | effFlagsExtHasBuffer);
}

TEST_F(FrameFixture, HostWrappersSendTheirRequestsAndConvertTheAnswers)
{
    BareEffect fx(recordingHost);
    answer = 0;
    EXPECT_EQ(fx.getMasterVersion(), 1) << "a host answering 0 counts as version 1";
    EXPECT_TRUE(fx.isInputConnected(1)) << "0 means connected";
    EXPECT_EQ(requests.back().opcode, audioMasterPinConnected);
    EXPECT_EQ(requests.back().index, 1);
    EXPECT_EQ(requests.back().value, 0);
    EXPECT_TRUE(fx.isOutputConnected(0));
    EXPECT_EQ(requests.back().value, 1);

    answer = 5;
    EXPECT_EQ(fx.getMasterVersion(), 5);
    EXPECT_EQ(fx.canHostDo(nullptr), 1);
    EXPECT_TRUE(fx.sizeWindow(736, 464));
    EXPECT_EQ(requests.back().opcode, audioMasterSizeWindow);
    EXPECT_EQ(requests.back().index, 736);
    EXPECT_EQ(requests.back().value, 464);
    EXPECT_FLOAT_EQ(fx.updateSampleRate(), 44100.0f) << "the stored rate, not the answer";
    EXPECT_EQ(requests.back().opcode, audioMasterGetSampleRate);
    fx.setOutputSamplerate(48000.0f);
    EXPECT_FLOAT_EQ(requests.back().opt, 48000.0f);
    EXPECT_FALSE(fx.openFileSelector(nullptr)) << "nothing sent without a selector";
    EXPECT_EQ(requests.back().opcode, audioMasterSetOutputSampleRate);
    fx.wantEvents(0);
    EXPECT_EQ(requests.back().opcode, audioMasterWantMidi);
    EXPECT_EQ(requests.back().value, 0);
    fx.setParameterAutomated(2, 0.25f);
    EXPECT_EQ(requests.back().opcode, audioMasterAutomate);
    EXPECT_EQ(requests.back().index, 2);
    EXPECT_FLOAT_EQ(requests.back().opt, 0.25f);

    BareEffect orphan(nullptr);
    EXPECT_EQ(orphan.getMasterVersion(), 1);
    EXPECT_FALSE(orphan.isInputConnected(0));
    EXPECT_EQ(orphan.getCurrentUniqueId(), 0);
    EXPECT_EQ(orphan.getTimeInfo(0), nullptr);
    orphan.setParameterAutomated(0, 1.0f); // no host: nothing to call
}

TEST_F(FrameFixture, DefaultAnswersOfTheExtensionRequests)
{
    BareEffect fx(recordingHost);
    EXPECT_EQ(fx.dispatcher(effKeysRequired, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(fx.dispatcher(effGetVstVersion, 0, 0, nullptr, 0.0f), 2200);
    EXPECT_EQ(fx.dispatcher(effGetCurrentMidiProgram, 0, 0, nullptr, 0.0f), -1);
    EXPECT_EQ(fx.dispatcher(effConnectInput, 0, 1, nullptr, 0.0f), 1);
    EXPECT_EQ(fx.dispatcher(effSetBlockSizeAndSampleRate, 0, 128, nullptr, 96000.0f), 1);
    EXPECT_EQ(fx.getBlockSize(), 128);
    EXPECT_FLOAT_EQ(fx.getSampleRate(), 96000.0f);
    EXPECT_EQ(fx.dispatcher(effProcessEvents, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(fx.dispatcher(effGetVu, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(fx.dispatcher(effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    EXPECT_EQ(fx.dispatcher(effEditKeyDown, 65, 0, nullptr, 0.0f), 0) << "no editor";
    EXPECT_EQ(fx.dispatcher(99, 0, 0, nullptr, 0.0f), 0);
}

TEST_F(FrameFixture, KeyRequestsReachTheEditorWithTheirKeyCode)
{
    BareEffect fx(recordingHost);
    auto* editor = new KeyEditor(&fx);
    fx.setEditor(editor);
    EXPECT_EQ(fx.getAeffect()->flags & effFlagsHasEditor, effFlagsHasEditor);
    EXPECT_EQ(fx.dispatcher(effEditKeyDown, 65, 0x1F3, nullptr, 2.6f), 7);
    EXPECT_EQ(editor->last.character, 65);
    EXPECT_EQ(editor->last.virt, 0xF3);
    EXPECT_EQ(editor->last.modifier, 3);
    EXPECT_EQ(fx.dispatcher(effEditKeyUp, 65, 0, nullptr, 0.0f), -1) << "the base editor does not use keys";
}
