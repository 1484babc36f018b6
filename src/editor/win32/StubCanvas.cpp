// Windows has no editor yet: the drawing layer exists so that the portable
// editor code links, and draws nothing. A GDI version replaces this file.
#include "editor/Canvas.h"

#include <algorithm>

namespace tam
{

namespace
{

class StubCanvas final : public Canvas
{
public:
    StubCanvas(int width, int height) : w(std::max(1, width)), h(std::max(1, height)) {}

    int width() const override { return w; }
    int height() const override { return h; }
    void line(Point, Point, Color, int) override {}
    void polyline(const Point*, std::size_t, Color, int) override {}
    void fillRect(const Rect&, Color) override {}
    void fillGradient(const Rect&, Color, Color, bool) override {}
    void fillEllipse(const Rect&, Color) override {}
    Size measureText(std::string_view text, const Font& font) const override { return tam::measureText(text, font); }
    void drawText(Point, std::string_view, const Font&, Color, const Rect*) override {}
    void setClip(const Rect&) override {}
    void resetClip() override {}
    void copyFrom(const Canvas&, const Rect&, Point) override {}
    Color pixel(Point) const override { return colors::black; }
    bool savePng(const std::string&) const override { return false; }

private:
    int w;
    int h;
};

} // namespace

std::unique_ptr<Canvas> createCanvas(int width, int height)
{
    return std::make_unique<StubCanvas>(width, height);
}

Size measureText(std::string_view text, const Font& font)
{
    // A plausible average advance keeps layout code meaningful.
    return {static_cast<int>(text.size()) * font.pixelSize / 2, font.pixelSize};
}

} // namespace tam
