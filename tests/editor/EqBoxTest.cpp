// The EQ box driven with the mouse: what a gesture does to the points, what
// reaches the host on release, and the one recalculation per gesture.
#include "EditorFixture.h"

#include "editor/EqBox.h"

namespace tam::test
{
namespace
{

constexpr Point box{42, 353}; // the box's top-left corner in the window; 346 x 94

struct EqBoxTest : EditorFixture
{
    std::unique_ptr<TPluginEditorWindow> window = openWindow();

    EqBoxTest()
    {
        std::vector<float> samples(2 * 4000, 0.0f);
        samples[0] = samples[1] = 1.0f;
        EXPECT_TRUE(plugin->openFile(writeResponse("ir.wav", samples)).loaded);
        clearAutomations();
    }
    static Point at(int x, int y) { return {box.x + x, box.y + y}; }
    float eq(int i) const { return window->mirrorValue(param::eqFirst + i); }
    /// Sets point n (1..8) in the plug-in and the mirror.
    void setPoint(int n, float position, float factor)
    {
        plugin->setParameter(param::eqFirst + 2 * (n - 1), position);
        plugin->setParameter(param::eqFirst + 2 * (n - 1) + 1, factor);
        window->loadMirror();
    }
};

TEST_F(EqBoxTest, ALeftDragAddsTheLastFreePointClampedAndSendsItOnReleaseWithOneRecalculation)
{
    const auto generation = plugin->store().getGeneration();
    window->onMouseDown({at(173, 47), 1, false});
    window->onMouseMove({at(-30, -20), 1, false}); // left of 55 Hz, above the top
    EXPECT_TRUE(sent().empty()) << "nothing reaches the plug-in during the drag";
    window->onMouseUp({at(-30, -20), 1, false});
    EXPECT_FLOAT_EQ(eq(14), 0.4f);
    EXPECT_FLOAT_EQ(eq(15), 1.0f);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::eqFirst + 14, 0.4f}, {param::eqFirst + 15, 1.0f}}));
    EXPECT_EQ(plugin->store().getGeneration(), generation + 1);
    EXPECT_FLOAT_EQ(plugin->getParameter(param::eqFirst + 15), 1.0f);
}

TEST_F(EqBoxTest, AClickOnAPointMovesItAndOverlappingPointsResolveToTheHigherNumber)
{
    setPoint(2, 0.7f, 0.5f); // centre (173, 47)
    setPoint(5, 0.7f, 0.5f);
    click(*window, at(175, 49));
    EXPECT_FLOAT_EQ(eq(2), 0.7f) << "point 2 stays";
    EXPECT_NEAR(eq(8), 0.4f + 0.6f * 175.0f / 346.0f, 1e-6f) << "point 5 moved under the mouse";
    EXPECT_NEAR(eq(9), 1.0f - 49.0f / 94.0f, 1e-6f);
    EXPECT_FLOAT_EQ(eq(14), 0.0f) << "no point added";
    EXPECT_EQ(sent().size(), 2u);
}

TEST_F(EqBoxTest, ANinthPointIsRefusedWithAMessageOnlyWhenNoPointWasHit)
{
    for (int n = 1; n <= 8; ++n)
        setPoint(n, 0.45f + 0.07f * static_cast<float>(n), 0.5f);
    click(*window, at(340, 5));
    EXPECT_EQ(window->currentMessage(), "Maximum 8 Filter Points!");
    EXPECT_TRUE(sent().empty());
    window->alertBox.dismiss();

    const int cx = nearest(346.0 * (0.45 + 0.07 * 3 - 0.4) / 0.6);
    click(*window, at(cx, 47));
    EXPECT_EQ(window->currentMessage(), "") << "moving a point is no ninth point";
    click(*window, at(340, 5), 3);
    EXPECT_EQ(window->currentMessage(), "") << "the right button never reports it";
}

TEST_F(EqBoxTest, TheRightButtonDeletesThePointUnderItAndNothingElse)
{
    setPoint(3, 0.7f, 0.5f);
    click(*window, at(20, 80), 3);
    EXPECT_TRUE(sent().empty()) << "empty space: nothing changes, nothing is sent";
    click(*window, at(173, 47), 3);
    EXPECT_EQ(sent(), (std::vector<Automation>{{param::eqFirst + 4, 0.0f}, {param::eqFirst + 5, 0.0f}}));
    EXPECT_FLOAT_EQ(plugin->getParameter(param::eqFirst + 4), 0.0f);
}

TEST_F(EqBoxTest, TheCurveAndTheScalesAreDrawn)
{
    setPoint(1, 0.7f, 0.5f); // one point: flat at half height
    window->updaterTimer();
    const Canvas& picture = window->p_eq_box.picture();
    const Color edge = rgb(76, 93, 125);
    EXPECT_EQ(picture.pixel({100, 47}), edge) << "outline";
    EXPECT_EQ(picture.pixel({100, 70}), palette::dark) << "fill below it";
    EXPECT_EQ(picture.pixel({100, 93}), edge) << "bottom line";
    EXPECT_EQ(picture.pixel({0, 70}), edge) << "first column";
    EXPECT_EQ(frequencyLabel(nearest(std::pow(22000.0, 0.4))), "55");
    EXPECT_EQ(frequencyLabel(1200), "1k");
    EXPECT_GT(countBright(window->PaintBox7.picture(), {0, 0, 343, 13}, 150), 20);
    EXPECT_GT(countBright(window->PaintBox6.picture(), {0, 0, 33, 92}, 150), 20);
}

} // namespace
} // namespace tam::test
