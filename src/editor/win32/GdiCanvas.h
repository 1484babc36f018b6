// Canvas on a GDI DIB section (Windows). Shapes are drawn straight into the
// section's 0x00RRGGBB words, so lines and rectangles come out pixel for
// pixel as on the other platforms; text goes through GDI on the section's
// memory DC. The window layer copies finished frames from that DC.
#pragma once

#include "editor/Canvas.h"

#include <cstdint>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tam
{

class GdiCanvas final : public Canvas
{
public:
    GdiCanvas(int width, int height);
    ~GdiCanvas() override;

    int width() const override { return w; }
    int height() const override { return h; }
    void line(Point from, Point to, Color color, int penWidth) override;
    void polyline(const Point* points, std::size_t count, Color color, int penWidth) override;
    void fillRect(const Rect& area, Color color) override;
    void fillEllipse(const Rect& box, Color color) override;
    Size measureText(std::string_view text, const Font& font) const override;
    void drawText(Point topLeft, std::string_view text, const Font& font, Color color, const Rect* clip) override;
    void setClip(const Rect& area) override;
    void resetClip() override;
    void copyFrom(const Canvas& source, const Rect& sourceArea, Point to) override;
    Color pixel(Point p) const override;
    bool savePng(const std::string& path) const override;

    /// The memory DC holding the section, for copying onto a window; GDI's
    /// pending work on it is finished.
    HDC deviceContext() const;

private:
    std::uint32_t* row(int y) const { return bits + static_cast<std::ptrdiff_t>(y) * w; }
    /// Lets GDI finish queued text before the words are touched directly.
    void settle() const;
    /// Mixes `color` into one pixel with the given coverage (0..1).
    void blend(int x, int y, Color color, float coverage);

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ originalBitmap = nullptr;
    HGDIOBJ originalFont = nullptr;
    std::uint32_t* bits = nullptr; ///< top-down rows of w words
    int w = 1;
    int h = 1;
    Rect clipArea; ///< where drawing lands; the whole bitmap unless clipped
    mutable bool gdiPending = false;
};

} // namespace tam
