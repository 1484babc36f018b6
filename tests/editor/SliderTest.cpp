// The slider and button control: level mapping, texts, drag arithmetic,
// events, and its picture checked pixel by pixel.
#include "editor/Tmarlo_blue_slider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace tam
{
namespace
{

constexpr Color trackColor = rgb(38, 38, 78);
constexpr Color knobColor = rgb(115, 149, 212);
constexpr Color meterColor = rgb(205, 205, 205);

/// Records the events of a control in the order they fire.
struct EventLog
{
    std::vector<std::string> events;
    std::vector<float> changedValues;

    void attach(Tmarlo_blue_slider& s)
    {
        s.OnChanged = [this](Tmarlo_blue_slider& sender)
        {
            events.push_back("changed");
            changedValues.push_back(sender.getValue());
        };
        s.OnpostChanged = [this](Tmarlo_blue_slider&) { events.push_back("post"); };
        s.OnNothingChanged = [this](Tmarlo_blue_slider&) { events.push_back("nothing"); };
    }
};

std::unique_ptr<Tmarlo_blue_slider> horizontalSlider(int width = 338, int height = 20)
{
    auto s = std::make_unique<Tmarlo_blue_slider>(Rect::fromSize(0, 0, width, height));
    s->setVertical(true); // horizontal travel
    s->setColor(trackColor);
    s->setSliColor(knobColor);
    s->setScalColor(meterColor);
    return s;
}

std::unique_ptr<Tmarlo_blue_slider> fader()
{
    auto s = std::make_unique<Tmarlo_blue_slider>(Rect::fromSize(0, 0, 60, 206));
    s->setLog(true);
    s->setColor(trackColor);
    s->setSliColor(knobColor);
    s->setScalColor(meterColor);
    return s;
}

MouseEvent at(int x, int y, bool shift = false)
{
    return {{x, y}, 1, shift};
}

TEST(LevelMapping, ShapeAndUnshapeAreInversesWithMinusSixDecibelsNearThreeQuarters)
{
    EXPECT_FLOAT_EQ(shape(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(shape(1.0f), 1.0f);
    for (float x = 0.0f; x <= 1.0f; x += 0.0625f)
        EXPECT_NEAR(unshape(shape(x)), x, 1e-5) << x;
    EXPECT_NEAR(shape(shape(0.784f)), 0.5f, 2e-3);
    // Meter peaks above 2 and negative values stay finite.
    EXPECT_FLOAT_EQ(unshape(3.0f), 1.0f);
    EXPECT_FLOAT_EQ(unshape(-0.5f), 0.0f);
    EXPECT_FALSE(std::isnan(unshape(std::nanf(""))));
}

TEST(LevelMapping, ShadeLightensTowardsWhiteAndDarkensByTheBrightestComponent)
{
    EXPECT_EQ(shade(knobColor, 0.25), rgb(150, 184, 247));
    EXPECT_EQ(shade(trackColor, -0.5), rgb(0, 0, 39));
    EXPECT_EQ(shade(colors::white, 0.5), colors::white);
    EXPECT_EQ(shade(colors::black, -0.5), colors::black);
    EXPECT_EQ(shade(colors::black, 0.5), rgb(128, 128, 128));
}

TEST(ValueText, DecibelsInTenthsTruncatedTowardsZero)
{
    EXPECT_EQ(decibelText(1.0f, true), "0 dB");
    EXPECT_EQ(decibelText(0.5f, true), "-6.0 dB");
    EXPECT_EQ(decibelText(0.0f, true), "-oo dB");
    EXPECT_EQ(decibelText(0.0001f, true), "-80.0 dB");
    EXPECT_EQ(decibelText(0.00001f, true), "-100.0 dB");
    EXPECT_EQ(decibelText(0.000009f, true), "-oo dB");
    EXPECT_EQ(decibelText(0.9f, true), "-0.9 dB");
    EXPECT_EQ(decibelText(0.5f, false), "-6.0");
    EXPECT_EQ(decibelText(1.0f, false), "0");
    EXPECT_EQ(decibelText(0.0f, false), "-oo");
    EXPECT_EQ(decibelText(2.0f, true), "+6.0 dB");
}

TEST(ValueText, EveryModeShowsItsUnitAndRoundsHalvesToEven)
{
    auto level = fader();
    level->setValue(1.0f);
    EXPECT_EQ(level->positionText(level->getPosition(), true), "0 dB");
    level->setValue(0.5f);
    EXPECT_EQ(level->positionText(level->getPosition(), true), "-6.0 dB");
    level->setValue(0.0f);
    EXPECT_EQ(level->positionText(level->getPosition(), true), "-oo dB");

    auto timeSlider = horizontalSlider();
    timeSlider->setTime(true);
    EXPECT_EQ(timeSlider->positionText(0.5f, true), "150 ms");
    EXPECT_EQ(timeSlider->positionText(0.5f, false), "150");
    EXPECT_EQ(timeSlider->positionText(1.0f, true), "300 ms");

    auto relative = horizontalSlider();
    relative->setRela(true);
    EXPECT_EQ(relative->positionText(0.5f, true), "100%");
    EXPECT_EQ(relative->positionText(0.0f, true), "50%");
    EXPECT_EQ(relative->positionText(1.0f, false), "150");

    auto plain = horizontalSlider();
    EXPECT_EQ(plain->positionText(0.333f, true), "33%");
    EXPECT_EQ(plain->positionText(0.125f, true), "12%"); // 12.5 to the even neighbour
    EXPECT_EQ(plain->positionText(0.375f, true), "38%");

    // log wins over time, time over rela.
    plain->setRela(true);
    plain->setTime(true);
    EXPECT_EQ(plain->positionText(0.5f, true), "150 ms");
    plain->setLog(true);
    EXPECT_EQ(plain->positionText(1.0f, true), "0 dB");
}

TEST(SliderValue, LevelSliderStoresAmplitudesThroughTheCurve)
{
    auto level = fader();
    level->setPositionSilently(0.5f);
    EXPECT_NEAR(level->getPosition(), 0.784f, 1e-3);
    EXPECT_NEAR(level->getValue(), 0.5f, 1e-5);
    level->setPositionSilently(7.0f);
    EXPECT_FLOAT_EQ(level->getPosition(), 1.0f);
}

TEST(SliderLayout, HorizontalVerticalAndButtonLayouts)
{
    auto h = horizontalSlider();
    EXPECT_EQ(h->getTextRect(), (Rect{0, 0, 40, 20}));
    EXPECT_EQ(h->getTrackRect(), (Rect{40, 0, 338, 20}));
    EXPECT_EQ(h->getTravel(), 298);
    auto v = fader();
    EXPECT_EQ(v->getTextRect(), (Rect{0, 186, 60, 206}));
    EXPECT_EQ(v->getTrackRect(), (Rect{0, 0, 60, 186}));
    EXPECT_EQ(v->getTravel(), 186);
}

TEST(SliderDrag, CoarseDragCoversTheSpanAndClampsWhileStillReporting)
{
    auto s = horizontalSlider();
    EventLog log;
    log.attach(*s);
    s->mouseDown(at(100, 10));
    EXPECT_TRUE(s->isDragging());
    EXPECT_TRUE(log.events.empty()) << "a press alone changes nothing";
    s->mouseMove(at(100 + 263, 10));
    EXPECT_FLOAT_EQ(s->getPosition(), 1.0f) << "263 pixels are the whole span 338 - 40 - 35";
    s->mouseMove(at(100 + 300, 10));
    s->mouseMove(at(100 + 320, 10));
    EXPECT_FLOAT_EQ(s->getPosition(), 1.0f);
    ASSERT_EQ(log.changedValues.size(), 3u) << "beyond the end OnChanged keeps firing with the clamped value";
    EXPECT_FLOAT_EQ(log.changedValues.back(), 1.0f);
    s->mouseMove(at(100 - 20, 10));
    EXPECT_FLOAT_EQ(s->getPosition(), 0.0f);
    s->mouseUp(at(100 - 20, 10));
    EXPECT_FALSE(s->isDragging());
    EXPECT_EQ(log.events.back(), "nothing") << "released at the value it had at the press";
}

TEST(SliderDrag, ShiftMovesFourTimesFinerFromWhereItWasHeldThenCoarseResumesAbsolutely)
{
    auto s = horizontalSlider();
    s->setPositionSilently(0.2f);
    s->mouseDown(at(150, 10));
    s->mouseMove(at(150 + 263, 10, true));
    EXPECT_NEAR(s->getPosition(), 0.2 + 263.0 / 298.0 / 4.0, 1e-6);
    // Fine movement is measured from the last move without Shift.
    s->mouseMove(at(150 + 10, 10, false));
    EXPECT_NEAR(s->getPosition(), 0.2 + 10.0 / 263.0, 1e-6) << "normal movement is absolute from the press";
    s->mouseMove(at(150 + 10 + 40, 10, true));
    EXPECT_NEAR(s->getPosition(), 0.2 + 10.0 / 263.0 + 40.0 / 298.0 / 4.0, 1e-6);
}

TEST(SliderDrag, VerticalFaderMovesUpwardsOverTravelMinusTheKnob)
{
    auto s = fader();
    EventLog log;
    log.attach(*s);
    s->mouseDown(at(30, 180));
    s->mouseMove(at(30, 180 - 83));
    EXPECT_NEAR(s->getPosition(), 0.5f, 1e-6) << "83 of 166 pixels";
    s->mouseMove(at(30, 180 - 83, true));
    EXPECT_NEAR(s->getPosition(), 0.5f, 1e-6);
    s->mouseMove(at(30, 180 - 83 - 186, true));
    EXPECT_NEAR(s->getPosition(), 0.5 + 186.0 / 186.0 / 4.0, 1e-6);
    s->mouseUp(at(30, 0));
    ASSERT_EQ(log.events.size(), 3u);
    EXPECT_EQ(log.events[2], "post") << "a changed value fires no OnNothingChanged";
}

TEST(SliderDrag, PressOutsideTheTrackStartsNoDragButTheReleaseStillReports)
{
    auto s = horizontalSlider();
    EventLog log;
    log.attach(*s);
    s->mouseDown(at(20, 10)); // the value box
    EXPECT_FALSE(s->isDragging());
    s->mouseMove(at(300, 10));
    EXPECT_FLOAT_EQ(s->getPosition(), 0.0f);
    s->mouseUp(at(300, 10));
    EXPECT_EQ(log.events, (std::vector<std::string>{"post", "nothing"}));

    // The track's border pixels do not count either: the test is strict.
    log.events.clear();
    s->mouseDown(at(40, 10));
    EXPECT_FALSE(s->isDragging());
    s->mouseDown(at(100, 0));
    EXPECT_FALSE(s->isDragging());
}

TEST(SliderDrag, ClickWithoutMovementFiresPostThenNothing)
{
    auto s = horizontalSlider();
    s->setPositionSilently(0.4f);
    EventLog log;
    log.attach(*s);
    s->mouseDown(at(200, 10));
    EXPECT_TRUE(s->getButtondown()) << "the knob is drawn pressed while dragging";
    s->mouseUp(at(200, 10));
    EXPECT_FALSE(s->getButtondown());
    EXPECT_EQ(log.events, (std::vector<std::string>{"post", "nothing"}));
}

TEST(SliderEvents, SilentSettersFireNothingAndValueFiresOncePerChange)
{
    auto s = fader();
    EventLog log;
    log.attach(*s);
    s->setPositionSilently(0.3f);
    s->set_vu(0.5f, 0.4f, 0.3f, 0.2f);
    EXPECT_TRUE(log.events.empty());
    s->setValue(0.7f);
    s->setValue(0.7f);
    EXPECT_EQ(log.events, (std::vector<std::string>{"changed"}));
    EXPECT_NEAR(log.changedValues[0], 0.7f, 1e-5);
}

TEST(ButtonControl, IgnoresPressesAndReportsEveryRelease)
{
    Tmarlo_blue_slider b(Rect::fromSize(0, 0, 60, 19));
    b.setButton(true);
    EventLog log;
    log.attach(b);
    b.mouseDown(at(30, 9));
    EXPECT_FALSE(b.getButtondown());
    b.mouseUp(at(30, 9));
    EXPECT_EQ(log.events, (std::vector<std::string>{"post"}));
    EXPECT_FALSE(b.getButtondown()) << "the editor decides the lit state";
}

// ------------------------------------------------------------- pixels

void expectRaisedBox(const Canvas& c, const Rect& r, Color face)
{
    const int l = r.left, t = r.top, rr = r.right, b = r.bottom;
    EXPECT_EQ(c.pixel({l, t}), shade(face, 0.5)) << "outer top-left";
    EXPECT_EQ(c.pixel({rr - 1, t}), shade(face, 0.5)) << "top edge reaches the right corner";
    EXPECT_EQ(c.pixel({l, b - 1}), shade(face, 0.5)) << "raised: the light edge owns the bottom-left corner";
    EXPECT_EQ(c.pixel({l + 1, b - 1}), shade(face, -0.5)) << "outer bottom starts one pixel further right";
    EXPECT_EQ(c.pixel({rr - 1, b - 1}), shade(face, -0.5));
    EXPECT_EQ(c.pixel({rr - 1, t + 1}), shade(face, -0.5)) << "outer right edge";
    EXPECT_EQ(c.pixel({l + 1, t + 1}), shade(face, 0.25)) << "inner top-left";
    EXPECT_EQ(c.pixel({l + 1, b - 2}), shade(face, 0.25));
    EXPECT_EQ(c.pixel({l + 2, b - 2}), shade(face, -0.25)) << "inner bottom starts one pixel further right";
    EXPECT_EQ(c.pixel({rr - 2, t + 2}), shade(face, -0.25)) << "inner right edge";
    EXPECT_EQ(c.pixel({l + 2, t + 2}), face);
    EXPECT_EQ(c.pixel({rr - 3, b - 3}), face);
}

void expectSunkenBox(const Canvas& c, const Rect& r, Color face)
{
    const int l = r.left, t = r.top, rr = r.right, b = r.bottom;
    EXPECT_EQ(c.pixel({l, t}), shade(face, -0.5));
    EXPECT_EQ(c.pixel({l, b - 1}), shade(face, 0.5)) << "sunken: the bottom edge owns the bottom-left corner";
    EXPECT_EQ(c.pixel({rr - 1, t}), shade(face, -0.5));
    EXPECT_EQ(c.pixel({rr - 1, b - 1}), shade(face, 0.5));
    EXPECT_EQ(c.pixel({l + 1, t + 1}), shade(face, -0.25));
    EXPECT_EQ(c.pixel({l + 1, b - 2}), shade(face, 0.25));
    EXPECT_EQ(c.pixel({rr - 2, b - 2}), shade(face, 0.25));
    EXPECT_EQ(c.pixel({l + 2, t + 2}), face);
}

TEST(SliderPicture, HorizontalKnobSitsWhereThePositionSaysWithRaisedAndPressedBevels)
{
    auto s = horizontalSlider();
    s->setPositionSilently(0.5f);
    const int x0 = 40 + nearest(263 * 0.5); // 131.5 rounds to 132
    ASSERT_EQ(x0, 172);
    const Rect knob{x0 + 2, 2, x0 + 33, 18};
    expectRaisedBox(s->picture(), knob, knobColor);
    EXPECT_EQ(s->picture().pixel({x0 + 1, 10}), trackColor) << "left of the knob lies the track";
    EXPECT_EQ(s->picture().pixel({x0 + 34, 10}), trackColor);

    s->mouseDown(at(200, 10));
    expectSunkenBox(s->picture(), knob, shade(knobColor, -0.25));
    s->mouseUp(at(200, 10));
    expectRaisedBox(s->picture(), knob, knobColor);
}

TEST(SliderPicture, TrackAndValueBoxAreSunkenBoxesInTheTrackColour)
{
    auto s = horizontalSlider();
    s->setPositionSilently(1.0f);
    expectSunkenBox(s->picture(), {0, 0, 40, 20}, trackColor);
    expectSunkenBox(s->picture(), {40, 0, 338, 20}, trackColor);
}

TEST(SliderPicture, VerticalKnobAndLitButton)
{
    auto s = fader();
    s->setPositionSilently(1.0f); // amplitude 1: top
    expectRaisedBox(s->picture(), {10, 2, 50, 18}, knobColor);
    s->setPositionSilently(0.0f);
    expectRaisedBox(s->picture(), {10, 166 + 2, 50, 166 + 18}, knobColor);

    Tmarlo_blue_slider b(Rect::fromSize(0, 0, 60, 19));
    b.setButton(true);
    b.setColor(colors::grey);
    expectRaisedBox(b.picture(), {0, 0, 60, 19}, colors::grey);
    b.setButtondown(true);
    expectSunkenBox(b.picture(), {0, 0, 60, 19}, shade(colors::grey, 0.25));
}

TEST(SliderPicture, MeterBarsAndMarkersFollowTheLevelCurve)
{
    auto s = fader();
    s->setPositionSilently(1.0f); // knob out of the way at the top
    const int bottom = 186;
    EXPECT_EQ(s->picture().pixel({5, bottom - 5}), trackColor) << "all zero: no bars at all";

    s->set_vu(0.5f, 1.0f, 0.25f, 0.0f);
    const int barHeight = nearest((bottom - 8) * unshape(unshape(0.25f)));
    const int markerY = bottom - 4 - nearest((bottom - 8) * unshape(unshape(0.5f)));
    const Canvas& c = s->picture();
    EXPECT_EQ(c.pixel({4, bottom - 5}), meterColor) << "left bar grows from four pixels above the bottom";
    EXPECT_EQ(c.pixel({7, bottom - 4 - barHeight}), meterColor);
    EXPECT_EQ(c.pixel({7, bottom - 5 - barHeight}), trackColor) << "and is exactly as high as the curve says";
    EXPECT_EQ(c.pixel({8, bottom - 5}), trackColor) << "four pixels wide";
    EXPECT_EQ(c.pixel({4, markerY}), colors::white);
    EXPECT_EQ(c.pixel({7, markerY + 1}), colors::white);
    EXPECT_EQ(c.pixel({52, bottom - 5}), trackColor) << "right bar at 0";
    EXPECT_EQ(c.pixel({52, bottom - 4 - (bottom - 8)}), colors::white) << "right marker at full scale";

    // Peaks beyond twice full scale show a full bar instead of nothing.
    s->set_vu(5.0f, 5.0f, 5.0f, 5.0f);
    EXPECT_EQ(s->picture().pixel({4, bottom - 4 - (bottom - 8) + 2}), meterColor);
}

TEST(SliderPicture, ScaleNeedsAtLeastOneStep)
{
    auto small = horizontalSlider(100, 20); // span 25 < one step of 40
    small->setScal(true);
    small->setPositionSilently(1.0f);
    expectSunkenBox(small->picture(), {40, 0, 100, 20}, trackColor);
}

} // namespace
} // namespace tam

// Fontconfig builds its configuration and font patterns once per process and
// frees them only in FcFini, which a plug-in must never call (the host may
// use fontconfig too). Cairo's font cache keeps such patterns as well. The
// leak checker would report them at exit; they do not grow with use.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
