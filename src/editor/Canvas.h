// The editor's drawing layer: geometry and colour types and an off-screen
// bitmap with the few drawing operations the editor needs. Every control and
// drawing area paints into a Canvas of its own; the window composes them into
// one frame and copies that onto the screen.
//
// The platform layer implements it (cairo image surfaces on Linux; a stub
// that draws nothing on Windows until a GDI version exists). Semantics follow
// the simplest raster rules so that both can meet them exactly: rectangles
// are (left, top, right, bottom) with right and bottom exclusive, a line
// includes its start point and excludes its end point, 1-pixel lines and
// rectangles are never antialiased.
//
// Threading: a Canvas belongs to the thread that made it (the editor's UI
// thread, or the snapshot tool's only thread). Never used by audio code.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tam
{

struct Color
{
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

constexpr Color rgb(int r, int g, int b)
{
    return Color{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
}

namespace colors
{
inline constexpr Color white = rgb(255, 255, 255);
inline constexpr Color black = rgb(0, 0, 0);
inline constexpr Color grey = rgb(128, 128, 128);
inline constexpr Color silver = rgb(192, 192, 192);
inline constexpr Color navy = rgb(0, 0, 128);
inline constexpr Color yellow = rgb(255, 255, 0);
inline constexpr Color red = rgb(255, 0, 0);
inline constexpr Color blue = rgb(0, 0, 255);
inline constexpr Color aqua = rgb(0, 255, 255);
} // namespace colors

struct Point
{
    int x = 0;
    int y = 0;

    friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size
{
    int width = 0;
    int height = 0;

    friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Rect
{
    int left = 0;
    int top = 0;
    int right = 0;  ///< exclusive
    int bottom = 0; ///< exclusive

    static constexpr Rect fromSize(int x, int y, int width, int height) { return {x, y, x + width, y + height}; }

    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    constexpr Point topLeft() const { return {left, top}; }
    constexpr Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    constexpr Rect intersect(const Rect& o) const
    {
        const Rect r{left > o.left ? left : o.left, top > o.top ? top : o.top, right < o.right ? right : o.right,
                     bottom < o.bottom ? bottom : o.bottom};
        return r.empty() ? Rect{} : r;
    }
    /// The smallest rectangle holding both; an empty rectangle counts as nothing.
    constexpr Rect unite(const Rect& o) const
    {
        if (empty())
            return o;
        if (o.empty())
            return *this;
        return {left < o.left ? left : o.left, top < o.top ? top : o.top, right > o.right ? right : o.right,
                bottom > o.bottom ? bottom : o.bottom};
    }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

/// The three faces the design names; the platform maps each to a system
/// font that fits the boxes laid out for it.
enum class FontFace
{
    smallFonts,  ///< tiny labels and value texts
    msSansSerif, ///< dialog-style texts
    verdana,     ///< the window's default face
};

struct Font
{
    FontFace face = FontFace::verdana;
    int pixelSize = 11; ///< nominal character-cell height in pixels
    bool bold = false;
};

class Canvas
{
public:
    Canvas() = default;
    virtual ~Canvas() = default;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    virtual int width() const = 0;
    virtual int height() const = 0;

    /// A line of the given pen width; width 1 is pixel-exact (start
    /// included, end excluded), wider pens are smoothed.
    virtual void line(Point from, Point to, Color color, int penWidth = 1) = 0;
    /// Consecutive lines through the points; the last point is excluded.
    virtual void polyline(const Point* points, std::size_t count, Color color, int penWidth = 1) = 0;
    virtual void fillRect(const Rect& area, Color color) = 0;
    /// Fills `area` blending from `from` to `to` (top to bottom, or left to
    /// right), one solid band per row or column so every platform draws it
    /// alike.
    void fillGradient(const Rect& area, Color from, Color to, bool vertical)
    {
        const int steps = vertical ? area.height() : area.width();
        if (steps <= 0 || area.empty())
            return;
        auto mix = [](int a, int b, double t) { return static_cast<int>(std::lround(a + (b - a) * t)); };
        for (int i = 0; i < steps; ++i)
        {
            const double t = steps > 1 ? static_cast<double>(i) / (steps - 1) : 0.0;
            const Color c = rgb(mix(from.r, to.r, t), mix(from.g, to.g, t), mix(from.b, to.b, t));
            if (vertical)
                fillRect({area.left, area.top + i, area.right, area.top + i + 1}, c);
            else
                fillRect({area.left + i, area.top, area.left + i + 1, area.bottom}, c);
        }
    }
    /// The ellipse inscribed in `box`, smoothed at its edge.
    virtual void fillEllipse(const Rect& box, Color color) = 0;

    /// Advance width and cell height of a single-line text.
    virtual Size measureText(std::string_view text, const Font& font) const = 0;
    /// Draws text with the top of its cell at `topLeft`, without background,
    /// clipped to `clip` when given.
    virtual void drawText(Point topLeft, std::string_view text, const Font& font, Color color,
                          const Rect* clip = nullptr) = 0;

    /// Limits every following drawing operation to `area` (until the next
    /// setClip or resetClip).
    virtual void setClip(const Rect& area) = 0;
    virtual void resetClip() = 0;

    /// Copies `sourceArea` of `source` (a canvas of the same platform) so that
    /// its top-left corner lands on `to`.
    virtual void copyFrom(const Canvas& source, const Rect& sourceArea, Point to) = 0;

    /// Colour of one pixel (black outside the bitmap).
    virtual Color pixel(Point p) const = 0;
    /// Writes the bitmap as a PNG file; false when the platform cannot.
    virtual bool savePng(const std::string& path) const = 0;
};

/// A new off-screen bitmap, cleared to black. Sizes below 1 become 1.
std::unique_ptr<Canvas> createCanvas(int width, int height);

/// Measuring without a target bitmap (label sizes, text wrapping).
Size measureText(std::string_view text, const Font& font);

} // namespace tam
