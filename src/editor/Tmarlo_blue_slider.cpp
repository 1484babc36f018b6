#include "editor/Tmarlo_blue_slider.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tam
{

namespace
{

constexpr double halfPi = std::numbers::pi / 2.0;
constexpr int horizontalKnobSpan = 35; ///< travel the knob itself takes, horizontal layout
constexpr int verticalKnobSpan = 20;
constexpr int horizontalScaleStep = 40;
constexpr int verticalScaleStep = 20;
constexpr float fineDivisor = 4.0f; ///< Shift moves the value four times slower

float clamp01(float v)
{
    if (!(v >= 0.0f)) // negative or not a number
        return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

} // namespace

float shape(float x)
{
    return static_cast<float>(1.0 - std::sin((1.0 - static_cast<double>(x)) * halfPi));
}

float unshape(float y)
{
    // asin is defined for 1 - y in -1..1 only; meter peaks above 2 would
    // otherwise turn into NaN bars.
    const auto clamped = static_cast<double>(clamp01(y));
    return static_cast<float>(1.0 - std::asin(1.0 - clamped) / halfPi);
}

int nearest(double x)
{
    return static_cast<int>(std::nearbyint(x));
}

Color shade(Color c, double amount)
{
    const double r = c.r / 255.0;
    const double g = c.g / 255.0;
    const double b = c.b / 255.0;
    const double delta = amount > 0.0 ? (1.0 - std::min({r, g, b})) * amount : amount * std::max({r, g, b});
    auto component = [delta](double v) { return nearest(std::clamp(v + delta, 0.0, 1.0) * 255.0); };
    return rgb(component(r), component(g), component(b));
}

void bevelBox(Canvas& canvas, const Rect& r, Color c, bool sunken)
{
    const int l = r.left;
    const int t = r.top;
    const int rr = r.right;
    const int b = r.bottom;
    const Color outerTopLeft = shade(c, sunken ? -0.5 : 0.5);
    const Color innerTopLeft = shade(c, sunken ? -0.25 : 0.25);
    const Color outerBottomRight = shade(c, sunken ? 0.5 : -0.5);
    const Color innerBottomRight = shade(c, sunken ? 0.25 : -0.25);
    // A raised box lets its top-left light reach the bottom-left corner.
    const int raisedShift = sunken ? 0 : 1;

    const Point outerTl[3] = {{l, b - 1}, {l, t}, {rr, t}};
    canvas.polyline(outerTl, 3, outerTopLeft);
    const Point innerTl[3] = {{l + 1, b - 2}, {l + 1, t + 1}, {rr - 1, t + 1}};
    canvas.polyline(innerTl, 3, innerTopLeft);
    const Point outerBr[3] = {{l + raisedShift, b - 1}, {rr - 1, b - 1}, {rr - 1, t}};
    canvas.polyline(outerBr, 3, outerBottomRight);
    const Point innerBr[3] = {{l + 1 + raisedShift, b - 2}, {rr - 2, b - 2}, {rr - 2, t + 1}};
    canvas.polyline(innerBr, 3, innerBottomRight);
    canvas.fillRect({l + 2, t + 2, rr - 2, b - 2}, c);
}

std::string decibelText(float amplitude, bool withUnit)
{
    const double a = amplitude <= 0.0f ? 1e-11 : static_cast<double>(amplitude);
    const auto tenths = static_cast<long>(200.0 * std::log10(1.0 / a)); // truncated towards zero
    const char* unit = withUnit ? " dB" : "";
    if (tenths == 0)
        return std::string("0") + unit;
    if (tenths > 1000)
        return std::string("-oo") + unit;
    // Amplitudes above 1 would give negative tenths; the controls never
    // produce them, and the text then reads as a gain.
    const long magnitude = tenths < 0 ? -tenths : tenths;
    return std::string(tenths < 0 ? "+" : "-") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10) +
           unit;
}

Tmarlo_blue_slider::Tmarlo_blue_slider(Rect area) : Widget(area)
{
    layout();
}

Tmarlo_blue_slider::~Tmarlo_blue_slider() = default;

float Tmarlo_blue_slider::getValue() const
{
    return log ? shape(shape(position)) : position;
}

void Tmarlo_blue_slider::setValue(float v)
{
    const float before = position;
    setPositionSilently(v);
    if (position != before)
        fire(OnChanged);
}

void Tmarlo_blue_slider::setPositionSilently(float v)
{
    const float clamped = clamp01(v);
    // Compared after the mapping: a level slider is given amplitudes, and
    // the refresh sets the same one on every tick.
    const float next = log ? unshape(unshape(clamped)) : clamped;
    if (next == position)
        return;
    position = next;
    repaint();
}

void Tmarlo_blue_slider::set_vu(float leftMarker, float rightMarker, float leftBar, float rightBar)
{
    const std::array<float, 4> input{leftMarker, rightMarker, leftBar, rightBar};
    if (input == meterInput)
        return;
    meterInput = input;
    for (std::size_t i = 0; i < meter.size(); ++i)
        meter[i] = clamp01(unshape(unshape(input[i])));
    repaint();
}

std::string Tmarlo_blue_slider::positionText(float p, bool withUnit) const
{
    if (log)
        return decibelText(shape(shape(p)), withUnit);
    if (time)
        return std::to_string(nearest(static_cast<double>(p) * 300.0)) + (withUnit ? " ms" : "");
    if (rela)
        return std::to_string(nearest(static_cast<double>(p) * 100.0) + 50) + (withUnit ? "%" : "");
    return std::to_string(nearest(static_cast<double>(p) * 100.0)) + (withUnit ? "%" : "");
}

void Tmarlo_blue_slider::repaint()
{
    stale = true;
    invalidate();
}

void Tmarlo_blue_slider::boundsChanged()
{
    image.reset();
    layout();
    repaint();
}

void Tmarlo_blue_slider::layout()
{
    const int w = width();
    const int h = height();
    if (button)
    {
        textRect = {0, 0, w, h};
        trackRect = {};
        travel = 0;
        trackOffset = 0;
    }
    else if (Vertical)
    {
        textRect = {0, 0, valueBoxWidth, h};
        trackRect = {valueBoxWidth, 0, w, h};
        travel = w - valueBoxWidth;
        trackOffset = valueBoxWidth;
    }
    else
    {
        textRect = {0, h - valueBoxHeight, w, h};
        trackRect = {0, 0, w, h - valueBoxHeight};
        travel = h - valueBoxHeight;
        trackOffset = 0;
    }
}

// ------------------------------------------------------------------ mouse

void Tmarlo_blue_slider::mouseDown(const MouseEvent& event)
{
    if (button)
        return;
    pressPosition = position;
    layout();
    fineRefPoint = event.point;
    pressPoint = event.point;
    const Point p = event.point;
    if (p.x > trackRect.left && p.x < trackRect.right && p.y > trackRect.top && p.y < trackRect.bottom)
    {
        // The knob does not jump to the press: the drag moves the value
        // relative to the value at the press.
        buttondown = true;
        repaint();
        fineBase = position;
        coarseBase = position;
        dragging = true;
        mouseMove(event);
    }
}

void Tmarlo_blue_slider::mouseMove(const MouseEvent& event)
{
    if (button || !dragging)
        return;
    const int k = Vertical ? horizontalKnobSpan : verticalKnobSpan;
    auto displacement = [this, &event](Point from)
    { return Vertical ? event.point.x - from.x : from.y - event.point.y; };
    if (event.shift)
    {
        // Fine movement from where Shift was first held.
        const int span = std::max(1, travel);
        applyDragValue(static_cast<double>(fineBase) +
                       static_cast<double>(displacement(fineRefPoint)) / span / static_cast<double>(fineDivisor));
    }
    else
    {
        // Normal movement stays absolute with respect to the press.
        fineRefPoint = event.point;
        const int span = std::max(1, travel - k);
        applyDragValue(static_cast<double>(coarseBase) + static_cast<double>(displacement(pressPoint)) / span);
        fineBase = position;
    }
}

void Tmarlo_blue_slider::applyDragValue(double v)
{
    const auto value = static_cast<float>(v);
    if (value == position)
        return;
    // Dragging beyond an end keeps reporting the clamped value.
    position = clamp01(value);
    repaint();
    fire(OnChanged);
}

void Tmarlo_blue_slider::mouseUp(const MouseEvent& event)
{
    (void)event;
    if (button)
    {
        fire(OnpostChanged);
        return;
    }
    dragging = false;
    buttondown = false;
    repaint();
    fire(OnpostChanged);
    if (position == pressPosition)
        fire(OnNothingChanged);
}

void Tmarlo_blue_slider::fire(const Event& event)
{
    if (event)
        event(*this);
}

// --------------------------------------------------------------- painting

const Canvas& Tmarlo_blue_slider::picture()
{
    if (!image || image->width() != std::max(1, width()) || image->height() != std::max(1, height()))
    {
        image = createCanvas(width(), height());
        stale = true;
    }
    if (stale)
    {
        render(*image);
        stale = false;
    }
    return *image;
}

void Tmarlo_blue_slider::paint(Canvas& target, Point at, const Rect& clip)
{
    const Canvas& own = picture();
    target.copyFrom(own, clip.offset(-at.x, -at.y), clip.topLeft());
}

void Tmarlo_blue_slider::render(Canvas& canvas)
{
    layout();
    const int w = width();
    const int h = height();
    if (button)
    {
        if (buttondown)
            bevelBox(canvas, textRect, shade(color, 0.25), true);
        else
            bevelBox(canvas, textRect, color, false);
        const Size text = canvas.measureText(caption, textFont);
        canvas.drawText({w / 2 - text.width / 2, h / 2 - text.height / 2}, caption, textFont, textColor, &textRect);
        return;
    }

    bevelBox(canvas, trackRect, color, true);
    if (!Vertical)
        drawMeter(canvas);
    if (scal)
        drawScale(canvas);

    bevelBox(canvas, textRect, color, true);
    const std::string value = positionText(position, true);
    const Size text = canvas.measureText(value, textFont);
    const Point textAt = Vertical
                             ? Point{valueBoxWidth / 2 - text.width / 2, h / 2 - text.height / 2}
                             : Point{w / 2 - text.width / 2, (textRect.top + textRect.bottom) / 2 - text.height / 2};
    canvas.drawText(textAt, value, textFont, textColor, &textRect);

    Rect knob;
    if (Vertical)
    {
        const int x0 =
            trackOffset + nearest(static_cast<double>(travel - horizontalKnobSpan) * static_cast<double>(position));
        knob = {x0 + 2, 2, x0 + 33, h - 2};
    }
    else
    {
        const int y0 = nearest((1.0 - static_cast<double>(position)) * (travel - verticalKnobSpan));
        knob = {10, y0 + 2, w - 10, y0 + 18};
    }
    if (buttondown)
        bevelBox(canvas, knob, shade(sliColor, -0.25), true);
    else
        bevelBox(canvas, knob, sliColor, false);
}

void Tmarlo_blue_slider::drawMeter(Canvas& canvas)
{
    if (std::all_of(meter.begin(), meter.end(), [](float v) { return v == 0.0f; }))
        return;
    const int bottom = trackRect.bottom;
    const int left = trackRect.left;
    const int right = trackRect.right;
    auto heightOf = [bottom](float v) { return nearest(static_cast<double>(bottom - 8) * static_cast<double>(v)); };
    canvas.fillRect({left + 4, bottom - 4 - heightOf(meter[2]), left + 8, bottom - 4}, scalColor);
    canvas.fillRect({right - 8, bottom - 4 - heightOf(meter[3]), right - 4, bottom - 4}, scalColor);
    const int leftMarker = bottom - 4 - heightOf(meter[0]);
    canvas.fillRect({left + 4, leftMarker, left + 8, leftMarker + 2}, colors::white);
    const int rightMarker = bottom - 4 - heightOf(meter[1]);
    canvas.fillRect({right - 8, rightMarker, right - 4, rightMarker + 2}, colors::white);
}

void Tmarlo_blue_slider::drawScale(Canvas& canvas)
{
    const int step = Vertical ? horizontalScaleStep : verticalScaleStep;
    const int span = travel - (Vertical ? horizontalKnobSpan : verticalKnobSpan);
    const int offset = Vertical ? 17 : 10; // centre of the knob
    const int n = span / step;
    if (n < 1)
        return; // too short for two labels
    for (int i = 0; i <= n; ++i)
    {
        const int pos = nearest(static_cast<double>(span) / n * i) + offset;
        const float f = static_cast<float>(i) / static_cast<float>(n);
        const std::string label = positionText(Vertical ? f : 1.0f - f, false);
        const Size text = canvas.measureText(label, textFont);
        const Point at = Vertical ? Point{trackOffset + pos - text.width / 2, height() / 2 - text.height / 2}
                                  : Point{width() / 2 - text.width / 2, pos - text.height / 2};
        canvas.drawText(at, label, textFont, scalColor, &trackRect);
    }
}

} // namespace tam
