// Canvas on a cairo image surface (Linux). The X11 window layer reads the
// surface to copy finished frames onto the screen.
#pragma once

#include "editor/Canvas.h"

#include <cairo.h>

namespace tam
{

class CairoCanvas final : public Canvas
{
public:
    CairoCanvas(int width, int height);
    ~CairoCanvas() override;

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

    cairo_surface_t* surface() const { return image; }

private:
    std::uint32_t* row(int y) const;

    cairo_surface_t* image = nullptr;
    cairo_t* context = nullptr;
    int w = 1;
    int h = 1;
    Rect clipArea; ///< where drawing lands; the whole bitmap unless clipped
};

/// Selects the system font for `font` on a cairo context; returns the
/// ascent in pixels (the baseline offset below the top of the cell).
double selectFont(cairo_t* context, const Font& font);

} // namespace tam
