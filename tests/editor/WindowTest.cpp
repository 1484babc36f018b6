// The editor window over a real plug-in object, driven with the mouse: every
// handler must reach the host as automation with the right index and value,
// and the refresh must bring the controls in line with the mirror and the
// plug-in's live state.
#include "EditorFixture.h"
#include "support/FileNameParameters.h"

#include "core/Settings.h"
#include "editor/Palette.h"
#include "impulse/LevelText.h"
#include "impulse/TWAVfile.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace tam::test
{
namespace
{

using Window = TPluginEditorWindow;

struct WindowTest : EditorFixture
{
    std::unique_ptr<Window> window = openWindow();

    /// Loads a stereo response (a plain decay, so that a steady input adds
    /// up to a loud output) through the file-name parameters.
    void loadResponse(float level = 0.9f)
    {
        std::vector<float> samples(2 * 12000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = level * std::exp(-static_cast<float>(i / 2) / 3000.0f);
        const std::string path = dir.file("ir.wav");
        writeFloatWav(path, 44100, 2, samples);
        sendFileName(*plugin, path, ChecksumOrder::last);
        ASSERT_TRUE(plugin->store().isReady());
    }

    /// Runs blocks of a constant signal through the plug-in.
    void play(float level, int blocks)
    {
        std::vector<float> left(512, level), right(512, -level), outLeft(512), outRight(512);
        float* inputs[2] = {left.data(), right.data()};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        for (int b = 0; b < blocks; ++b)
            plugin->processReplacing(inputs, outputs, 512);
    }

    void syncAndTick()
    {
        window->loadMirror();
        window->updaterTimer();
    }
};

TEST_F(WindowTest, InteractiveControlsStayInsideTheWindowAndNeverOverlap)
{
    const std::vector<const Widget*> controls{&window->reversebutton,
                                              &window->scrollbar3,
                                              &window->attackgain_slider,
                                              &window->attacktime_slider,
                                              &window->Scrollbar4,
                                              &window->scrollbar6,
                                              &window->pitch_slider,
                                              &window->marlo_blue_slider3,
                                              &window->scrollbar5,
                                              &window->marlo_blue_slider8,
                                              &window->p_eq_box,
                                              &window->reset_button,
                                              &window->DryBar,
                                              &window->wetbar,
                                              &window->drypassbtn,
                                              &window->bypassbtn,
                                              &window->autogainbtn,
                                              &window->add12dBbutton,
                                              &window->marlo_blue_slider1,
                                              &window->Setupbutton,
                                              &window->open,
                                              &window->ScrollBox1};
    const Rect client{0, 0, Window::designWidth, Window::designHeight};
    for (std::size_t i = 0; i < controls.size(); ++i)
    {
        const Rect a = controls[i]->absoluteRect();
        EXPECT_EQ(a.intersect(client), a) << i;
        for (std::size_t j = i + 1; j < controls.size(); ++j)
            EXPECT_TRUE(a.intersect(controls[j]->absoluteRect()).empty()) << i << " overlaps " << j;
    }
}

TEST_F(WindowTest, DirectSlidersSendEveryChangeAsAutomation)
{
    struct Case
    {
        Tmarlo_blue_slider& slider;
        int index;
        int dx;
        int dy;
    };
    for (const Case& c : {Case{window->scrollbar3, param::predelay, 40, 0},
                          Case{window->marlo_blue_slider3, param::stereoRouting, -30, 0},
                          Case{window->DryBar, param::dry, 0, 30}, Case{window->wetbar, param::wet, 0, -25}})
    {
        clearAutomations();
        const Point start = centre(c.slider);
        window->onMouseDown({start, 1, false});
        window->onMouseMove({{start.x + c.dx / 2, start.y + c.dy / 2}, 1, false});
        window->onMouseMove({{start.x + c.dx, start.y + c.dy}, 1, false});
        const float value = c.slider.getValue();
        window->onMouseUp({{start.x + c.dx, start.y + c.dy}, 1, false});
        const auto calls = sent();
        ASSERT_EQ(calls.size(), 2u) << c.index << ": one automation per move";
        EXPECT_EQ(calls.back(), (Automation{c.index, value}));
        EXPECT_FLOAT_EQ(window->mirrorValue(c.index), value);
        EXPECT_FLOAT_EQ(plugin->getParameter(c.index), value);
    }
}

TEST_F(WindowTest, ShapingSlidersOnlyPreviewWhileDraggingAndSendOnceOnRelease)
{
    struct Case
    {
        Tmarlo_blue_slider& slider;
        int index;
    };
    for (const Case& c :
         {Case{window->attackgain_slider, param::attackLevel}, Case{window->attacktime_slider, param::attackTime},
          Case{window->Scrollbar4, param::envelope}, Case{window->scrollbar6, param::length},
          Case{window->pitch_slider, param::stretch}, Case{window->scrollbar5, param::stereo}})
    {
        clearAutomations();
        const float before = plugin->getParameter(c.index);
        const int direction = c.slider.getPosition() > 0.5f ? -1 : 1;
        const Point start = centre(c.slider);
        window->onMouseDown({start, 1, false});
        window->onMouseMove({{start.x + 30 * direction, start.y}, 1, false});
        window->onMouseMove({{start.x + 60 * direction, start.y}, 1, false});
        EXPECT_TRUE(sent().empty()) << c.index << ": nothing reaches the plug-in during the drag";
        EXPECT_FLOAT_EQ(plugin->getParameter(c.index), before);
        EXPECT_FLOAT_EQ(window->mirrorValue(c.index), c.slider.getValue()) << c.index;
        window->onMouseUp({{start.x + 60 * direction, start.y}, 1, false});
        EXPECT_EQ(sent(), (std::vector<Automation>{{c.index, c.slider.getValue()}})) << c.index;
        EXPECT_NE(plugin->getParameter(c.index), before);
    }
}

TEST_F(WindowTest, AClickOnAShapingSliderResendsItsUnchangedValueOnce)
{
    plugin->setParameter(param::envelope, 0.25f);
    syncAndTick();
    clearAutomations();
    click(*window, window->Scrollbar4);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::envelope, 0.25f}}));
}

TEST_F(WindowTest, StretchSnapsToOneHundredPercentOnReleaseOnlyNearIt)
{
    window->pitch_slider.setPositionSilently(0.505f); // 101 %
    click(*window, window->pitch_slider);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::stretch, 0.5f}}));
    EXPECT_FLOAT_EQ(window->mirrorValue(param::stretch), 0.5f);
    window->updaterTimer();
    EXPECT_FLOAT_EQ(window->pitch_slider.getPosition(), 0.5f) << "the slider follows at the next refresh";

    clearAutomations();
    window->pitch_slider.setPositionSilently(0.52f); // 102 %
    click(*window, window->pitch_slider);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::stretch, 0.52f}}));
}

TEST_F(WindowTest, SwitchButtonsToggleTheirParameterAndTakeTheirLookFromTheRefresh)
{
    EXPECT_EQ(window->bypassbtn.getCaption(), "ON");
    EXPECT_TRUE(window->bypassbtn.getButtondown());
    click(*window, window->bypassbtn);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::bypass, 1.0f}}));
    EXPECT_FLOAT_EQ(plugin->getParameter(param::bypass), 1.0f);
    EXPECT_TRUE(window->bypassbtn.getButtondown()) << "the look waits for the refresh";
    window->updaterTimer();
    EXPECT_EQ(window->bypassbtn.getCaption(), "OFF");
    EXPECT_FALSE(window->bypassbtn.getButtondown());
    click(*window, window->bypassbtn);
    window->updaterTimer();
    EXPECT_EQ(window->bypassbtn.getCaption(), "ON");
    EXPECT_TRUE(window->bypassbtn.getButtondown());

    clearAutomations();
    click(*window, window->drypassbtn);
    window->updaterTimer();
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::muteDry, 1.0f}}));
    EXPECT_EQ(window->drypassbtn.getCaption(), "OFF");

    clearAutomations();
    ASSERT_FLOAT_EQ(window->mirrorValue(param::autogain), 1.0f);
    click(*window, window->autogainbtn);
    window->updaterTimer();
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::autogain, 0.0f}}));
    EXPECT_EQ(window->autogainbtn.getCaption(), "Auto Gain OFF");
    EXPECT_FALSE(window->autogainbtn.getButtondown());
    click(*window, window->autogainbtn);
    window->updaterTimer();
    EXPECT_TRUE(window->autogainbtn.getButtondown());
    EXPECT_EQ(window->autogainbtn.getCaption().rfind("GAIN ", 0), 0u);

    clearAutomations();
    click(*window, window->add12dBbutton);
    EXPECT_FALSE(window->add12dBbutton.getButtondown());
    window->updaterTimer();
    EXPECT_TRUE(window->add12dBbutton.getButtondown());
    EXPECT_EQ(window->add12dBbutton.getCaption(), "+12dB");

    clearAutomations();
    click(*window, window->reversebutton);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::reverse, 1.0f}}));
    EXPECT_TRUE(window->reversebutton.getButtondown()) << "reverse lights at once";
}

TEST_F(WindowTest, SwitchValuesBetweenOffAndOnLeaveTheLookAlone)
{
    plugin->setParameter(param::bypass, 0.5f);
    plugin->setParameter(param::reverse, 0.5f);
    syncAndTick();
    EXPECT_TRUE(window->bypassbtn.getButtondown());
    EXPECT_EQ(window->bypassbtn.getCaption(), "ON");
    EXPECT_FALSE(window->reversebutton.getButtondown());
    // A non-zero value counts as on when toggling.
    click(*window, window->reversebutton);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::reverse, 0.0f}}));
}

TEST_F(WindowTest, AutoGainCaptionShowsTheGainRelativeToTheOffLevel)
{
    loadResponse();
    window->updaterTimer();
    EXPECT_EQ(window->autogainbtn.getCaption(),
              "GAIN " + amplitudeText(plugin->store().getAutoGain() / APlugin::autogainOffFactor));
    plugin->setParameter(param::autogain, 0.0f);
    syncAndTick();
    EXPECT_EQ(window->autogainbtn.getCaption(), "Auto Gain OFF") << "off: the caption set on switching off stays";
}

TEST_F(WindowTest, ShapingResetSendsEightValuesInOrderWithOneRecalculation)
{
    loadResponse();
    plugin->setParameter(param::envelope, 0.5f);
    plugin->setParameter(param::predelay, 0.3f);
    syncAndTick();
    clearAutomations();
    const auto generation = plugin->store().getGeneration();
    click(*window, window->marlo_blue_slider8);
    const std::vector<Automation> expected{
        {param::predelay, 0.0f}, {param::envelope, 0.0f},      {param::length, 1.0f},      {param::stretch, 0.5f},
        {param::stereo, 1.0f},   {param::stereoRouting, 1.0f}, {param::attackLevel, 1.0f}, {param::attackTime, 0.0f}};
    EXPECT_EQ(sent(), expected);
    EXPECT_EQ(plugin->store().getGeneration(), generation + 1);
    EXPECT_FALSE(plugin->store().isSuspended());
    EXPECT_FLOAT_EQ(window->mirrorValue(param::envelope), 0.0f);
}

TEST_F(WindowTest, EqResetSendsOnlyChangedValuesPositionsFirstWithOneRecalculation)
{
    loadResponse();
    plugin->setParameter(param::eqFirst + 0, 0.5f); // point 1 position
    plugin->setParameter(param::eqFirst + 1, 0.7f); // point 1 factor
    plugin->setParameter(param::eqFirst + 4, 0.8f); // point 3 position
    plugin->setParameter(param::eqFirst + 5, 0.0f); // point 3 factor: already 0
    syncAndTick();
    clearAutomations();
    const auto generation = plugin->store().getGeneration();
    click(*window, window->reset_button);
    EXPECT_EQ(sent(), (std::vector<Automation>{{16, 0.0f}, {20, 0.0f}, {17, 0.0f}}));
    EXPECT_EQ(plugin->store().getGeneration(), generation + 1);
    EXPECT_FALSE(plugin->store().isSuspended());
    for (int i = param::eqFirst; i <= param::eqLast; ++i)
        EXPECT_FLOAT_EQ(window->mirrorValue(i), 0.0f);
}

TEST_F(WindowTest, HelpPanelOpensOverTheControlsAndClosesFromThreePlaces)
{
    click(*window, window->marlo_blue_slider1);
    EXPECT_TRUE(window->help.isVisible());
    EXPECT_EQ(window->help.absoluteRect(), Rect::fromSize(75, 97, 486, 268));
    EXPECT_TRUE(window->marlo_blue_slider1.getButtondown());
    EXPECT_GT(window->helpText.lineCount(), window->helpText.visibleLines()) << "the text scrolls";
    window->onWheel(centre(window->helpText), 2);
    EXPECT_EQ(window->helpText.getScrollLine(), 6);
    // Its bar: a press below the thumb pages, the thumb drags to the last line.
    const Rect text = window->helpText.absoluteRect();
    click(*window, Point{text.right - 5, text.bottom - 3});
    EXPECT_EQ(window->helpText.getScrollLine(), 6 + window->helpText.visibleLines());
    window->helpText.scrollTo(0);
    drag(*window, Point{text.right - 5, text.top + 4}, 0, text.height());
    EXPECT_EQ(window->helpText.getScrollLine(), window->helpText.lineCount() - window->helpText.visibleLines());

    // The panel lies over the envelope slider: clicks there stay in the panel.
    clearAutomations();
    click(*window, centre(window->Scrollbar4));
    EXPECT_TRUE(sent().empty());

    click(*window, window->helpClose);
    EXPECT_FALSE(window->help.isVisible());
    EXPECT_FALSE(window->marlo_blue_slider1.getButtondown());
    click(*window, window->marlo_blue_slider1);
    click(*window, window->helpTitle);
    EXPECT_FALSE(window->help.isVisible());
    click(*window, window->marlo_blue_slider1);
    click(*window, window->marlo_blue_slider1);
    EXPECT_FALSE(window->help.isVisible());
    EXPECT_FALSE(window->marlo_blue_slider1.getButtondown());
}

TEST_F(WindowTest, HidingAPanelRestoresThePixelsUnderIt)
{
    const Point under = centre(window->Scrollbar4);
    const Color before = window->frame().pixel(under);
    click(*window, window->marlo_blue_slider1);
    EXPECT_NE(window->frame().pixel(under), before);
    click(*window, window->helpClose);
    EXPECT_EQ(window->frame().pixel(under), before);
}

TEST_F(WindowTest, RepaintsUnderStackedPanelsNeverDrawOverTheTopPanel)
{
    click(*window, window->marlo_blue_slider1);
    click(*window, window->Setupbutton); // the setup panel lies over the help text
    const Point setupTitle{300, 140};
    const Color title = window->frame().pixel(setupTitle);
    EXPECT_EQ(title, palette::dark);
    // The wet fader lies under both panels; its meter repaints it.
    window->wetbar.set_vu(0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(window->frame().pixel(setupTitle), title);
    window->wetbar.set_vu(0.1f, 0.1f, 0.1f, 0.1f);
    EXPECT_EQ(window->frame().pixel(setupTitle), title);
}

TEST_F(WindowTest, SetupPanelShowsAndChangesTheSettings)
{
    click(*window, window->Setupbutton);
    ASSERT_TRUE(window->setuppanel.isVisible());
    EXPECT_EQ(window->setuppanel.absoluteRect(), Rect::fromSize(237, 132, 263, 201)) << "centred";
    EXPECT_TRUE(window->Setupbutton.getButtondown());
    EXPECT_EQ(window->defaultfilelabel.getText(), "<none>");
    EXPECT_EQ(window->dccbutton.getButtondown(), plugin->getDcc());

    const bool before = plugin->getDcc();
    click(*window, window->dccbutton);
    EXPECT_NE(plugin->getDcc(), before);
    EXPECT_EQ(window->dccbutton.getButtondown(), plugin->getDcc());
    EXPECT_EQ(ReadSettingInt("using_dcc"), plugin->getDcc() ? 1 : 0) << "stored for the next instances";

    click(*window, window->setupClose);
    EXPECT_FALSE(window->setuppanel.isVisible());
    EXPECT_FALSE(window->Setupbutton.getButtondown());

    plugin->setDefaultFile("/responses/hall.wav");
    click(*window, window->Setupbutton);
    EXPECT_EQ(window->defaultfilelabel.getText(), "/responses/hall.wav");
}

TEST_F(WindowTest, HostChangesReachTheControlsAtTheNextRefresh)
{
    plugin->setParameter(param::wet, 0.25f);
    plugin->setParameter(param::length, 0.4f);
    window->updaterTimer();
    EXPECT_NE(window->wetbar.getValue(), 0.25f) << "the window never reads parameters by itself";
    syncAndTick();
    EXPECT_NEAR(window->wetbar.getValue(), 0.25f, 1e-5);
    EXPECT_FLOAT_EQ(window->scrollbar6.getValue(), 0.4f);
    EXPECT_TRUE(sent().empty()) << "the refresh sets controls silently";
}

TEST_F(WindowTest, TheRefreshLeavesASliderUnderTheMouseToTheUser)
{
    const Point start = centre(window->DryBar);
    window->onMouseDown({start, 1, false});
    window->onMouseMove({{start.x, start.y + 40}, 1, false});
    const float dragged = window->DryBar.getPosition();
    plugin->setParameter(param::dry, 1.0f);
    syncAndTick();
    EXPECT_FLOAT_EQ(window->DryBar.getPosition(), dragged);
    window->onMouseUp({{start.x, start.y + 40}, 1, false});
}

TEST_F(WindowTest, HostSideEqChangesRepaintTheEqBoxOnce)
{
    int paints = 0;
    window->p_eq_box.OnPaint = [&paints](PaintBox&, Canvas&) { ++paints; };
    window->p_eq_box.repaint();
    window->frame();
    paints = 0;
    plugin->setParameter(param::eqFirst + 2, 0.6f);
    syncAndTick();
    window->frame();
    EXPECT_EQ(paints, 1);
    window->updaterTimer();
    window->frame();
    EXPECT_EQ(paints, 1) << "unchanged values do not repaint";
}

TEST_F(WindowTest, ANewResponseGenerationRepaintsTheWaveform)
{
    int paints = 0;
    window->PaintBox1.OnPaint = [&paints](PaintBox&, Canvas&) { ++paints; };
    window->frame();
    paints = 0;
    window->updaterTimer();
    window->frame();
    EXPECT_EQ(paints, 0);
    loadResponse();
    window->updaterTimer();
    window->frame();
    EXPECT_EQ(paints, 1);
}

TEST_F(WindowTest, MetersMoveWithTheAudio)
{
    plugin->resume();
    window->updaterTimer();
    EXPECT_EQ(window->DryBar.getMeter(), (std::array<float, 4>{}));
    play(0.5f, 40);
    window->updaterTimer();
    for (const float v : window->DryBar.getMeter())
        EXPECT_GT(v, 0.0f);
}

TEST_F(WindowTest, OverloadColoursTheWetKnobForOneRefresh)
{
    loadResponse(1.0f);
    plugin->setParameter(param::add12dB, 1.0f);
    plugin->setParameter(param::wet, 1.0f);
    plugin->resume();
    for (int i = 0; i < 200 && plugin->getEngine().peekClipState() == 0; ++i)
        play(0.9f, 4);
    ASSERT_NE(plugin->getEngine().peekClipState(), 0) << "the test signal must overload the wet path";
    const int state = plugin->getEngine().peekClipState();
    window->updaterTimer();
    EXPECT_EQ(window->wetbar.getSliColor(), state == 2 ? colors::red : colors::yellow);
    EXPECT_EQ(plugin->getEngine().peekClipState(), 0) << "the refresh takes the state";

    // Raised again before the next refresh: the colour stays.
    while (plugin->getEngine().peekClipState() == 0)
        play(0.9f, 1);
    window->updaterTimer();
    EXPECT_NE(window->wetbar.getSliColor(), palette::slider);

    plugin->suspend(); // silence: no new overload
    window->updaterTimer();
    EXPECT_EQ(window->wetbar.getSliColor(), palette::slider);
}

TEST_F(WindowTest, AFailingStepStopsTheTimerAndReportsItsStage)
{
    std::vector<std::string> stages;
    window->stageObserver = [&stages](const std::string& stage)
    {
        stages.push_back(stage);
        if (stage == "700")
            throw std::runtime_error("broken slider");
    };
    plugin->setParameter(param::bypass, 1.0f);
    syncAndTick();
    EXPECT_EQ(stages, (std::vector<std::string>{"400", "500", "600", "700"}));
    EXPECT_FALSE(window->timerRunning());
    EXPECT_EQ(window->currentMessage(),
              "TAM GUI-Error: 700 => broken slider Copy this error and send to the author via email");
    EXPECT_EQ(window->bypassbtn.getCaption(), "ON") << "steps after the failure did not run";

    stages.clear();
    window->updaterTimer();
    EXPECT_TRUE(stages.empty()) << "no further ticks for this window";

    // The message box is modal: controls do not react until OK.
    clearAutomations();
    click(*window, window->drypassbtn);
    EXPECT_TRUE(sent().empty());
    click(*window, window->alertBox.okButton);
    EXPECT_EQ(window->currentMessage(), "");
    click(*window, window->drypassbtn);
    EXPECT_EQ(sent().size(), 1u);

    // A new window starts with a running timer.
    auto reopened = openWindow();
    EXPECT_TRUE(reopened->timerRunning());
    EXPECT_EQ(reopened->bypassbtn.getCaption(), "OFF");
}

TEST_F(WindowTest, EveryStageRunsInOrderOnAHealthyTick)
{
    std::vector<std::string> stages;
    window->stageObserver = [&stages](const std::string& stage) { stages.push_back(stage); };
    window->updaterTimer();
    EXPECT_EQ(stages, (std::vector<std::string>{"400", "500", "600", "700", "800", "900", "1000", "1100", "1200",
                                                "1300", "1500"}));
}

} // namespace
} // namespace tam::test
