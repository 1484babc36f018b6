#include "editor/ResponseDisplay.h"

#include "editor/Tmarlo_blue_slider.h"
#include "impulse/TWAVfile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tam
{

namespace
{

constexpr Font displayFont{FontFace::msSansSerif, 12, false};
constexpr Point hintAt{70, 35};
constexpr int textInset = 55;     ///< texts start this far left of the right edge
constexpr int durationTop = 25;
constexpr int rateTop = 51;
constexpr int envelopePen = 2;
constexpr int envelopeMargin = 8; ///< the curve's height is (H - 8) / 2
constexpr int peakMargin = 3;     ///< full scale is H / 2 - 3 pixels
constexpr float pixelLimit = 1.0e6f; ///< keeps absurd samples inside int range
constexpr int informationInset = 10;

int pixels(float scale, float sample)
{
    return static_cast<int>(std::lrint(std::clamp(scale * sample, -pixelLimit, pixelLimit)));
}

/// The envelope curve on a baseline, one point per plot column.
void drawEnvelope(Canvas& canvas, const std::vector<float>& gains, int baseline, int h)
{
    std::vector<Point> points(gains.size());
    for (std::size_t x = 0; x < gains.size(); ++x)
        points[x] = {static_cast<int>(x), static_cast<int>(static_cast<float>(baseline) - static_cast<float>(h) * gains[x])};
    canvas.polyline(points.data(), points.size(), colors::silver, envelopePen);
}

/// Envelope gains at the plot's columns for a destination of last index n,
/// sampled at (span * x) div P.
std::vector<float> envelopeGains(const ResponseSnapshot& r, const ShapingInputs& s, std::int32_t n,
                                 std::int64_t span, int plotWidth)
{
    std::vector<float> gains(static_cast<std::size_t>(std::max(plotWidth, 0)) + 1);
    for (int x = 0; x <= plotWidth; ++x)
    {
        const std::int64_t i = x == 0 || plotWidth == 0 ? 0 : span * x / plotWidth;
        gains[static_cast<std::size_t>(x)] =
            TWAVfile::envelopeAt(r.attackMaxSamples, static_cast<float>(i), static_cast<float>(n), s.reverse, s.length,
                                 s.envelope, s.attackTime, s.attackLevel, 1.0f);
    }
    return gains;
}

void drawTexts(Canvas& canvas, double seconds, float fileRate)
{
    const int w = canvas.width();
    canvas.drawText({w - textInset, durationTop}, durationText(seconds), displayFont, colors::white);
    canvas.drawText({w - textInset, rateTop}, std::to_string(nearest(static_cast<double>(fileRate))) + " hz ", displayFont, colors::white);
}

} // namespace

std::vector<PeakColumn> peakColumns(const float* c1, const float* c2, std::int32_t lastIndex,
                                    const WaveformGeometry& geometry)
{
    std::vector<PeakColumn> columns;
    const int plot = std::max(geometry.plotWidth(), 0);
    const std::int64_t divisor = std::max<std::int32_t>(lastIndex, 1);
    const float scale = static_cast<float>(geometry.height / 2 - peakMargin);
    columns.reserve(static_cast<std::size_t>(std::min<std::int64_t>(plot, lastIndex) + 1));
    int previous = -1;
    int left = 0;
    int right = 0;
    for (std::int32_t i = 0; i <= lastIndex; ++i)
    {
        const int x = static_cast<int>(plot * static_cast<std::int64_t>(i) / divisor);
        left = std::max(left, std::abs(pixels(scale, c1[i])));
        right = std::max(right, std::abs(pixels(scale, c2[i])));
        if (x != previous)
        {
            columns.push_back({x, left, right});
            left = 0;
            right = 0;
            previous = x;
        }
    }
    return columns;
}

ResponseSnapshot takeSnapshot(const TWAVfile& store, const WaveformGeometry& geometry)
{
    ResponseSnapshot r;
    r.generation = store.getGeneration();
    r.ready = store.isReady();
    r.destLength = store.destLength;
    r.sourceLength = store.sourceLength;
    r.destSeconds = store.destSeconds;
    r.hostRate = store.hostRate;
    r.fileRate = store.fileRate;
    r.attackMaxSamples = store.attackMaxSamples;
    r.fileName = store.fileName;
    r.shaping = store.shaping;
    if (r.ready)
        r.peaks = peakColumns(store.destWave(0), store.destWave(1), std::clamp(r.destLength, 0, TWAVfile::maxLength),
                              geometry);
    return r;
}

bool neutralShaping(const ShapingInputs& s)
{
    return (s.attackLevel == 1.0f || s.attackTime == 0.0f) && s.length == 1.0f && s.envelope == 0.0f;
}

std::string durationText(double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.2f sec. ", seconds);
    return text;
}

void drawWaveform(Canvas& canvas, const ResponseSnapshot& r)
{
    if (!r.ready)
    {
        canvas.drawText(hintAt, noResponseHint, displayFont, colors::white);
        return;
    }
    const int w = canvas.width();
    const int h = canvas.height();
    const int plot = w - WaveformGeometry::textColumn;
    const int middle = h / 2;
    canvas.line({0, middle}, {plot, middle}, colors::white);
    canvas.line({0, h - 1}, {plot, h - 1}, colors::white);
    for (const PeakColumn& c : r.peaks)
    {
        canvas.line({c.x, middle - c.left}, {c.x, middle}, colors::white);
        canvas.line({c.x, h - 1 - c.right}, {c.x, h - 1}, colors::white);
    }
    if (!neutralShaping(r.shaping))
    {
        const auto gains = envelopeGains(r, r.shaping, r.destLength, r.destLength, plot);
        const int curve = (h - envelopeMargin) / 2;
        drawEnvelope(canvas, gains, middle, curve);
        drawEnvelope(canvas, gains, h - 1, curve);
    }
    drawTexts(canvas, static_cast<double>(r.destSeconds) * static_cast<double>(r.shaping.length), r.fileRate);
}

void drawEnvelopePreview(Canvas& canvas, const ResponseSnapshot& r, const ShapingInputs& s)
{
    if (!r.ready)
    {
        drawWaveform(canvas, r);
        return;
    }
    const int w = canvas.width();
    const int h = canvas.height();
    const int plot = w - WaveformGeometry::textColumn;
    const double stretched = static_cast<double>(r.sourceLength) * (static_cast<double>(s.stretch) + 0.5);
    const auto m = static_cast<std::int32_t>(std::nearbyint(stretched));
    const std::int32_t n = std::clamp(m, 0, TWAVfile::maxLength);
    const auto gains = envelopeGains(r, s, n, m, plot);
    const int curve = (h - envelopeMargin) / 2;
    drawEnvelope(canvas, gains, h / 2, curve);
    drawEnvelope(canvas, gains, h - 1, curve);
    drawTexts(canvas, previewSeconds(r, s), r.fileRate);
}

double previewSeconds(const ResponseSnapshot& r, const ShapingInputs& s)
{
    return static_cast<double>(r.sourceLength) * static_cast<double>(s.length) * (static_cast<double>(s.stretch) + 0.5) /
           static_cast<double>(r.hostRate);
}

void drawInformationLine(Canvas& canvas, const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return;
    const std::string trimmed = text.substr(first, text.find_last_not_of(' ') + 1 - first);
    const int w = canvas.width();
    const Rect clip{0, 0, w - informationInset, canvas.height()};
    const Size size = canvas.measureText(trimmed, displayFont);
    canvas.drawText({w - size.width - informationInset, 0}, trimmed, displayFont, colors::white, &clip);
}

} // namespace tam
