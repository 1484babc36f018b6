// Pixel-exact drawing on a bitmap of 0x00RRGGBB words, shared by the
// platform canvases (cairo's RGB24 surfaces and GDI's 32-bit DIB sections
// both store pixels this way), so 1-pixel lines and filled rectangles come
// out identical on every platform.
#pragma once

#include "editor/Canvas.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace tam::pixelwords
{

inline std::uint32_t packed(Color c)
{
    return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | std::uint32_t{c.b};
}

inline Color unpacked(std::uint32_t v)
{
    return rgb(static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}

/// Rows of words: `rowOf(y)` gives the first word of row y.
template <typename RowOf>
void thinLine(RowOf rowOf, const Rect& clip, Point from, Point to, std::uint32_t value)
{
    // Bresenham; the end point is left out so that joined segments of a
    // polyline touch each pixel once.
    const int dx = std::abs(to.x - from.x);
    const int dy = -std::abs(to.y - from.y);
    const int sx = from.x < to.x ? 1 : -1;
    const int sy = from.y < to.y ? 1 : -1;
    int error = dx + dy;
    int x = from.x;
    int y = from.y;
    while (x != to.x || y != to.y)
    {
        if (clip.contains({x, y}))
            rowOf(y)[x] = value;
        const int twice = 2 * error;
        if (twice >= dy)
        {
            error += dy;
            x += sx;
        }
        if (twice <= dx)
        {
            error += dx;
            y += sy;
        }
    }
}

/// Fills `area` (already clipped) with one word.
template <typename RowOf>
void fill(RowOf rowOf, const Rect& area, std::uint32_t value)
{
    for (int y = area.top; y < area.bottom; ++y)
        std::fill(rowOf(y) + area.left, rowOf(y) + area.right, value);
}

} // namespace tam::pixelwords
