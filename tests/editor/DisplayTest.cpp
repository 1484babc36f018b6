// The waveform area and the information line, checked on the pixels the
// window composes, and the peak-column rule on known responses.
#include "EditorFixture.h"
#include "core/FileNameCodec.h"

#include "editor/ResponseDisplay.h"

#include <vector>

namespace tam::test
{
namespace
{

constexpr WaveformGeometry area{533, 89}; // the waveform area: plot 458 wide, full scale 41 pixels
constexpr int middle = 44;

struct DisplayTest : EditorFixture
{
    std::unique_ptr<TPluginEditorWindow> window = openWindow();

    void open(const std::vector<float>& interleaved)
    {
        ASSERT_TRUE(plugin->openFile(writeResponse("ir.wav", interleaved)).loaded);
        window->loadMirror();
        window->updaterTimer();
    }
    const Canvas& waveform() { return window->PaintBox1.picture(); }
};

TEST(PeakColumns, FollowTheLargestSampleSinceThePreviousColumn)
{
    std::vector<float> impulse(1000, 0.0f), silent(1000, 0.0f);
    impulse[0] = 1.0f;
    auto columns = peakColumns(impulse.data(), silent.data(), 999, area);
    ASSERT_EQ(columns.size(), 459u) << "one per plot column, both ends included";
    EXPECT_EQ(columns[0].left, 41);
    EXPECT_EQ(columns[1].left, 0);

    std::vector<float> ramp(1000);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = -static_cast<float>(i) / 999.0f; // magnitudes count, not signs
    columns = peakColumns(silent.data(), ramp.data(), 999, area);
    EXPECT_EQ(columns.back().right, 41);
    for (std::size_t c = 1; c < columns.size(); ++c)
        ASSERT_GE(columns[c].right, columns[c - 1].right);

    const float loud[3] = {2.0f, 0.0f, -0.5f};
    columns = peakColumns(loud, loud, 2, area);
    ASSERT_EQ(columns.size(), 3u) << "a short response spreads its columns";
    EXPECT_EQ(columns[1].x, 229);
    EXPECT_EQ(columns[0].left, 82) << "beyond full scale, drawn past the half";
    EXPECT_EQ(columns[2].x, 458);

    columns = peakColumns(loud, loud, 0, area);
    ASSERT_EQ(columns.size(), 1u) << "a single sample: one column at the left edge";
    EXPECT_EQ(columns[0].x, 0);
}

TEST_F(DisplayTest, NothingLoadedShowsOnlyTheHint)
{
    const Canvas& picture = waveform();
    EXPECT_GT(countBright(picture, {60, 33, 480, 50}), 50);
    EXPECT_EQ(countBright(picture, {0, 0, 533, 33}), 0);
    EXPECT_EQ(countBright(picture, {0, 50, 533, 89}), 0);
    EXPECT_EQ(countBright(window->PaintBox3.picture(), {0, 0, 469, 15}), 0);
}

TEST_F(DisplayTest, ColumnsRiseFromTheirLinesAndALoudSampleCrossesIntoTheUpperHalf)
{
    std::vector<float> samples(2 * 2000, 0.0f);
    samples[0] = 1.0f; // channel 1: full scale
    samples[1] = 1.5f; // channel 2: beyond it
    open(samples);
    const Canvas& picture = waveform();
    EXPECT_EQ(picture.pixel({0, middle - 41}), colors::white);
    EXPECT_NE(picture.pixel({0, middle - 42}), colors::white);
    EXPECT_EQ(picture.pixel({0, middle + 2}), colors::white) << "channel 2's line reaches above the bottom half";
    EXPECT_EQ(picture.pixel({200, middle}), colors::white) << "middle line";
    EXPECT_NE(picture.pixel({200, middle - 1}), colors::white);
    EXPECT_EQ(count(picture, {0, 0, 458, 89}, colors::silver), 0) << "neutral shaping: no envelope";
    EXPECT_NE(window->informationLine().find("ir.wav"), std::string::npos);
}

TEST_F(DisplayTest, TheEnvelopeOverlayFollowsTheShapingAndThePreviewTheDrag)
{
    open(std::vector<float>(2 * 20000, 0.25f));
    const ParameterValue attackOnly[] = {{param::attackTime, 0.5f}, {param::attackLevel, 1.0f}};
    plugin->setParameters(attackOnly, Automate::no);
    window->updaterTimer();
    EXPECT_EQ(count(waveform(), {0, 0, 458, 89}, colors::silver), 0) << "an attack at full level is neutral";

    plugin->setParameter(param::envelope, 0.5f);
    window->updaterTimer();
    EXPECT_GT(count(waveform(), {0, 0, 458, 89}, colors::silver), 100);

    // Dragging the envelope back to 0 previews the flat curve without the waveform.
    window->Scrollbar4.mouseDown({{200, 10}, 1, false});
    window->Scrollbar4.mouseMove({{100, 10}, 1, false});
    const Canvas& preview = waveform();
    EXPECT_GT(count(preview, {0, 0, 458, 89}, colors::silver), 100);
    EXPECT_EQ(count(preview, {0, middle, 458, middle + 1}, colors::white), 0) << "no waveform under the preview";
    window->Scrollbar4.mouseUp({{100, 10}, 1, false});
}

TEST_F(DisplayTest, ThePreviewDurationScalesWithStretch)
{
    open(std::vector<float>(2 * 44101, 0.1f));
    const ResponseSnapshot& r = window->shownResponse();
    ASSERT_EQ(r.sourceLength, 44100);
    ShapingInputs shape;
    shape.length = 0.5f;
    EXPECT_NEAR(previewSeconds(r, shape), 0.5, 1e-9);
    shape.stretch = 1.0f;
    EXPECT_NEAR(previewSeconds(r, shape), 0.75, 1e-9);
    EXPECT_EQ(durationText(0.75), "0.75 sec. ");
}

TEST_F(DisplayTest, AMissingNamedFileIsReportedOnTheInformationLine)
{
    const std::string missing = dir.file("moved away.wav");
    const auto values = fileNameToValues(missing);
    for (int i = 0; i < fileNameValueCount; ++i)
        plugin->setParameter(param::fileNameFirst + i, values[static_cast<std::size_t>(i)]);
    plugin->setParameter(param::fileChecksum, fileNameChecksum(missing));
    window->updaterTimer();
    EXPECT_EQ(window->informationLine(), "File not found: " + missing);
    EXPECT_GT(countBright(window->PaintBox3.picture(), {0, 0, 469, 15}), 20);
}

} // namespace
} // namespace tam::test
