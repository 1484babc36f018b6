#include "editor/EqBox.h"

#include "editor/Palette.h"
#include "editor/Tmarlo_blue_slider.h"
#include "impulse/LevelText.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace tam
{

namespace
{

constexpr double lowestPosition = 0.4; ///< the box's left edge (about 55 Hz)
constexpr double positionSpan = 0.6;
constexpr int hitRadius = 7;           ///< a point is hit strictly inside its 14-pixel square
constexpr int ringRadius = 7;
constexpr int innerRadius = 6;
constexpr Color edgeColour = rgb(76, 93, 125);
constexpr Color fillColour = palette::dark;
constexpr Color pointColour = rgb(45, 45, 72);
constexpr Color scaleColour = palette::scale;
constexpr int levelSteps = 5;
constexpr int labelSpacing = 30;

float& position(EqValues& v, int point)
{
    return v[static_cast<std::size_t>(2 * (point - 1))];
}
float& factor(EqValues& v, int point)
{
    return v[static_cast<std::size_t>(2 * (point - 1) + 1)];
}
float position(const EqValues& v, int point)
{
    return v[static_cast<std::size_t>(2 * (point - 1))];
}
float factor(const EqValues& v, int point)
{
    return v[static_cast<std::size_t>(2 * (point - 1) + 1)];
}

Point centreOf(float pointPosition, float pointFactor, Size box)
{
    return {nearest(box.width * (static_cast<double>(pointPosition) - lowestPosition) / positionSpan),
            nearest(box.height * (1.0 - static_cast<double>(pointFactor)))};
}

bool isFree(const EqValues& v, int point)
{
    return position(v, point) == 0.0f && factor(v, point) == 0.0f;
}

} // namespace

void eqEditStep(Point p, Size box, EqEditMode mode, int& selected, EqValues& values)
{
    const double w = std::max(box.width, 1);
    const double h = std::max(box.height, 1);
    const auto candidatePosition = static_cast<float>(std::clamp(lowestPosition + positionSpan * p.x / w, lowestPosition, 1.0));
    const auto candidateFactor = static_cast<float>(std::clamp(1.0 - p.y / h, 0.0, 1.0));

    if (selected == noEqPoint)
        for (int point = 1; point <= eqPointCount; ++point)
        {
            const Point c = centreOf(position(values, point), factor(values, point), box);
            if (p.x > c.x - hitRadius && p.x < c.x + hitRadius && p.y > c.y - hitRadius && p.y < c.y + hitRadius)
                selected = point; // the last one hit wins
        }

    if (mode == EqEditMode::remove)
    {
        if (selected != noEqPoint)
        {
            position(values, selected) = 0.0f;
            factor(values, selected) = 0.0f;
        }
        return;
    }
    if (selected == noEqPoint)
    {
        for (int point = eqPointCount; point >= 1 && selected == noEqPoint; --point)
            if (isFree(values, point))
                selected = point;
        if (selected == noEqPoint)
            return; // all eight in use
    }
    position(values, selected) = candidatePosition;
    factor(values, selected) = candidateFactor;
}

bool eqFull(const EqValues& values)
{
    for (int point = 1; point <= eqPointCount; ++point)
        if (position(values, point) == 0.0f)
            return false;
    return true;
}

void drawEqBox(Canvas& canvas, const EqValues& values, TEqCurve& view)
{
    const int w = canvas.width();
    const int h = canvas.height();
    view.buildCurve(values.data());
    std::vector<Point> outline(static_cast<std::size_t>(w) + 1);
    for (int x = 0; x <= w; ++x)
    {
        const float g = view.smoothedValue(static_cast<float>(lowestPosition + positionSpan * x / w));
        const int y = h - nearest(h * static_cast<double>(g));
        outline[static_cast<std::size_t>(x)] = {x, y};
        canvas.line({x, y}, {x, h}, x == 0 || x == w - 1 ? edgeColour : fillColour);
    }
    canvas.polyline(outline.data(), outline.size(), edgeColour);
    canvas.line({0, h - 1}, {w, h - 1}, edgeColour);
    for (int point = 1; point <= eqPointCount; ++point)
    {
        const Point c = centreOf(position(values, point), factor(values, point), {w, h});
        canvas.fillEllipse({c.x - ringRadius, c.y - ringRadius, c.x + ringRadius, c.y + ringRadius}, edgeColour);
        canvas.fillEllipse({c.x - innerRadius, c.y - innerRadius, c.x + innerRadius, c.y + innerRadius}, pointColour);
    }
}

void drawEqLevelScale(Canvas& canvas)
{
    const int w = canvas.width();
    for (int i = 0; i <= levelSteps; ++i)
    {
        const std::string text = eqGainText(1.0f - static_cast<float>(i) / levelSteps);
        const Size size = canvas.measureText(text, Tmarlo_blue_slider::textFont);
        canvas.drawText({w - size.width, canvas.height() / 6 * i}, text, Tmarlo_blue_slider::textFont, scaleColour);
    }
}

std::string frequencyLabel(int hz)
{
    return hz >= 999 ? std::to_string(hz / 1000) + "k" : std::to_string(hz);
}

void drawEqFrequencyScale(Canvas& canvas)
{
    const int w = canvas.width();
    for (int i = 0; i <= w / labelSpacing; ++i)
    {
        const int x = labelSpacing * i;
        const int hz = nearest(std::pow(22000.0, lowestPosition + positionSpan * x / static_cast<double>(w)));
        canvas.drawText({x, 1}, frequencyLabel(hz), Tmarlo_blue_slider::textFont, scaleColour);
    }
}

} // namespace tam
