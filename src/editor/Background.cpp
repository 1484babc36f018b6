#include "editor/Background.h"

#include "editor/Palette.h"
#include "editor/Tmarlo_blue_slider.h"

#include <cmath>

namespace tam
{

namespace
{

constexpr int headerBottom = 58;
constexpr int columnLeft = 548; ///< start of the file column

constexpr Color headerTop = rgb(44, 43, 100);
constexpr Color headerLow = rgb(70, 68, 152);
constexpr Color bodyTop = rgb(96, 94, 190);
constexpr Color bodyLow = rgb(76, 74, 160);
constexpr Color sectionTop = rgb(92, 90, 184);
constexpr Color sectionLow = rgb(80, 78, 166);
constexpr Color columnTop = rgb(66, 64, 142);
constexpr Color columnLow = rgb(56, 55, 124);
constexpr Color wellGrid = rgb(50, 50, 98);
constexpr Color eqWell = rgb(72, 72, 132);
constexpr Color eqGrid = rgb(86, 86, 150);
constexpr Color captionColor = rgb(196, 202, 246);
constexpr Color logoShadow = rgb(24, 24, 54);

constexpr Font captionFont{FontFace::smallFonts, 10, true};
constexpr Font logoFont{FontFace::verdana, 42, true};

/// A raised section: gradient face, light top/left edge, dark bottom/right.
void section(Canvas& c, const Rect& r, Color top, Color low)
{
    c.fillGradient(r, top, low, true);
    const Color light = shade(top, 0.18);
    const Color dark = shade(low, -0.3);
    c.line({r.left, r.top}, {r.right, r.top}, light);
    c.line({r.left, r.top}, {r.left, r.bottom}, light);
    c.line({r.left, r.bottom - 1}, {r.right, r.bottom - 1}, dark);
    c.line({r.right - 1, r.top + 1}, {r.right - 1, r.bottom}, dark);
}

/// A sunken well for a display area, one pixel of frame around `inner`.
void well(Canvas& c, const Rect& inner, Color face = palette::dark)
{
    const Rect outer{inner.left - 2, inner.top - 2, inner.right + 2, inner.bottom + 2};
    bevelBox(c, outer, face, true);
    c.fillRect(inner, face);
}

/// A small spaced caption with a rule running to `ruleEnd`.
void caption(Canvas& c, Point at, const char* text, int ruleEnd)
{
    c.drawText(at, text, captionFont, captionColor);
    const Size size = c.measureText(text, captionFont);
    const int y = at.y + size.height / 2;
    const int start = at.x + size.width + 6;
    if (start < ruleEnd)
    {
        c.line({start, y}, {ruleEnd, y}, shade(sectionTop, -0.25));
        c.line({start, y + 1}, {ruleEnd, y + 1}, shade(sectionTop, 0.2));
    }
}

void drawHeader(Canvas& c)
{
    c.fillGradient({0, 0, columnLeft, headerBottom}, headerTop, headerLow, true);
    c.line({0, headerBottom}, {columnLeft, headerBottom}, shade(headerLow, -0.45));
    c.line({0, headerBottom + 1}, {columnLeft, headerBottom + 1}, shade(bodyTop, 0.25));

    // Product mark: the name with a soft drop shadow.
    c.drawText({14, 5}, "TAM", logoFont, logoShadow);
    c.drawText({12, 3}, "TAM", logoFont, colors::white);

    // An impulse response decaying to the right, as a signature graphic.
    const int base = 34;
    for (int i = 0; i < 17; ++i)
    {
        const int x = 108 + 4 * i;
        const double level = std::exp(-i / 4.5) * (i % 2 == 0 ? 1.0 : 0.72);
        const int top = base - static_cast<int>(std::lround(26.0 * level));
        c.fillRect({x, top, x + 2, base}, i == 0 ? colors::white : shade(palette::slider, 0.3 - 0.03 * i));
    }
    c.line({104, base}, {176, base}, shade(palette::slider, -0.2));
}

void drawDisplaySection(Canvas& c)
{
    // Waveform display with its information line and the reverse switch.
    section(c, {0, 61, 545, 172}, sectionTop, sectionLow);
    well(c, {5, 64, 541, 168});
    c.fillRect({5, 64, 541, 79}, rgb(30, 30, 64));
    c.line({5, 79}, {541, 79}, wellGrid);
    // A faint oscilloscope grid for the waveform to be drawn over.
    const Rect plot{6, 80, 539, 168};
    for (int x = plot.left + 50; x < plot.right - 75; x += 50)
        c.line({x, plot.top}, {x, plot.bottom}, wellGrid);
    c.line({plot.left, plot.top + plot.height() / 2 - 1}, {plot.right - 75, plot.top + plot.height() / 2 - 1},
           rgb(58, 58, 112));
    c.line({plot.right - 75, plot.top}, {plot.right - 75, plot.bottom}, wellGrid);
}

void drawShapingSection(Canvas& c)
{
    // One section for shaping and EQ, so that the small reset buttons at the
    // window's left edge sit inside it.
    section(c, {0, 174, 404, c.height()}, sectionTop, sectionLow);
    caption(c, {62, 174}, "IMPULSE SHAPING", 398);
    // Quiet row bands behind the slider labels.
    for (int row = 0; row < 6; ++row)
    {
        const int y = 185 + 25 * row;
        c.fillRect({4, y, 58, y + 22}, shade(sectionLow, row % 2 == 0 ? -0.06 : -0.03));
    }
}

void drawEqSection(Canvas& c)
{
    caption(c, {42, 337}, "SPECTRAL EQ", 398);
    // Lighter than the other wells: the EQ curve is filled in the dark colour below it.
    well(c, {42, 353, 388, 447}, eqWell);
    // Frequency grid matching the scale below, level grid matching the one beside.
    for (int x = 30; x < 346; x += 30)
        c.line({42 + x, 353}, {42 + x, 447}, eqGrid);
    for (int i = 1; i < 5; ++i)
    {
        const int y = 353 + 94 * i / 5;
        c.line({42, y}, {388, y}, eqGrid);
    }
}

void drawMixerSection(Canvas& c)
{
    section(c, {405, 174, 545, c.height()}, sectionTop, sectionLow);
    // Fader bays.
    for (const int x : {408, 475})
        c.fillRect({x, 180, x + 64, 406}, shade(sectionLow, -0.08));
    c.line({473, 182}, {473, 404}, shade(sectionLow, -0.3));
    c.line({474, 182}, {474, 404}, shade(sectionTop, 0.15));
}

void drawFileColumn(Canvas& c)
{
    c.fillGradient({columnLeft, 0, c.width(), c.height()}, columnTop, columnLow, true);
    c.line({columnLeft, 0}, {columnLeft, c.height()}, shade(columnLow, -0.45));
    c.line({columnLeft + 1, 0}, {columnLeft + 1, c.height()}, shade(columnTop, 0.25));
    section(c, {552, 3, 734, 462}, shade(columnTop, 0.06), columnLow);
}

} // namespace

void drawBackground(Canvas& canvas)
{
    canvas.fillGradient({0, 0, canvas.width(), canvas.height()}, bodyTop, bodyLow, true);
    drawHeader(canvas);
    drawDisplaySection(canvas);
    drawShapingSection(canvas);
    drawEqSection(canvas);
    drawMixerSection(canvas);
    drawFileColumn(canvas);
}

} // namespace tam
