#include "editor/x11/CairoCanvas.h"

#include "editor/PixelWords.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <numbers>
#include <string>

namespace tam
{

namespace
{

// DejaVu Sans: ascent 0.928 em plus descent 0.236 em make the cell, so a
// cell of N pixels asks for an em of N / 1.164.
constexpr double emPerCellPixel = 1.0 / 1.164;
constexpr const char* sansFamily = "DejaVu Sans";

using pixelwords::packed;

void setSource(cairo_t* context, Color c)
{
    cairo_set_source_rgb(context, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

/// The font options every text uses, released when the module unloads.
class FontOptions
{
public:
    FontOptions() : options(cairo_font_options_create())
    {
        // Grey-scale smoothing with light hinting: crisp small texts without
        // colour fringes; metrics hinted so advances are whole pixels.
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    }
    ~FontOptions() { cairo_font_options_destroy(options); }
    FontOptions(const FontOptions&) = delete;
    FontOptions& operator=(const FontOptions&) = delete;

    const cairo_font_options_t* get() const { return options; }

private:
    cairo_font_options_t* options;
};

const cairo_font_options_t* fontOptions()
{
    static const FontOptions options;
    return options.get();
}

int roundToInt(double v)
{
    return static_cast<int>(std::lround(v));
}

std::string terminated(std::string_view text)
{
    return std::string(text);
}

} // namespace

double selectFont(cairo_t* context, const Font& font)
{
    double xScale = 1.0;
    double cell = font.pixelSize;
    switch (font.face)
    {
    case FontFace::smallFonts:
        // A narrow face in the original; condensing keeps value texts
        // inside their 40-pixel boxes.
        xScale = 0.92;
        break;
    case FontFace::msSansSerif:
        xScale = 0.96;
        break;
    case FontFace::verdana:
        break;
    }
    const double em = std::max(1.0, cell * emPerCellPixel);
    cairo_select_font_face(context, sansFamily, CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_matrix_t matrix;
    cairo_matrix_init_scale(&matrix, em * xScale, em);
    cairo_set_font_matrix(context, &matrix);
    cairo_set_font_options(context, fontOptions());
    cairo_font_extents_t extents;
    cairo_font_extents(context, &extents);
    return extents.ascent;
}

CairoCanvas::CairoCanvas(int width, int height) : w(std::max(1, width)), h(std::max(1, height))
{
    image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS)
    {
        cairo_surface_destroy(image);
        throw std::bad_alloc();
    }
    context = cairo_create(image);
    // Shapes are placed on whole pixels; only ellipses, wide pens and text
    // switch smoothing on for themselves.
    cairo_set_antialias(context, CAIRO_ANTIALIAS_NONE);
    clipArea = {0, 0, w, h};
    fillRect({0, 0, w, h}, colors::black);
}

CairoCanvas::~CairoCanvas()
{
    cairo_destroy(context);
    cairo_surface_destroy(image);
}

std::uint32_t* CairoCanvas::row(int y) const
{
    unsigned char* data = cairo_image_surface_get_data(image);
    return reinterpret_cast<std::uint32_t*>(data +
                                            static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(image));
}

void CairoCanvas::line(Point from, Point to, Color color, int penWidth)
{
    const Point points[2] = {from, to};
    polyline(points, 2, color, penWidth);
}

void CairoCanvas::polyline(const Point* points, std::size_t count, Color color, int penWidth)
{
    if (count < 2)
        return;
    if (penWidth <= 1)
    {
        cairo_surface_flush(image);
        const std::uint32_t value = packed(color);
        for (std::size_t i = 0; i + 1 < count; ++i)
            pixelwords::thinLine([this](int y) { return row(y); }, clipArea, points[i], points[i + 1], value);
        cairo_surface_mark_dirty(image);
        return;
    }
    cairo_save(context);
    cairo_set_antialias(context, CAIRO_ANTIALIAS_DEFAULT);
    cairo_set_line_width(context, penWidth);
    cairo_set_line_cap(context, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(context, CAIRO_LINE_JOIN_ROUND);
    setSource(context, color);
    cairo_move_to(context, points[0].x + 0.5, points[0].y + 0.5);
    for (std::size_t i = 1; i < count; ++i)
        cairo_line_to(context, points[i].x + 0.5, points[i].y + 0.5);
    cairo_stroke(context);
    cairo_restore(context);
}

void CairoCanvas::fillRect(const Rect& area, Color color)
{
    const Rect r = area.intersect(clipArea);
    if (r.empty())
        return;
    cairo_surface_flush(image);
    pixelwords::fill([this](int y) { return row(y); }, r, packed(color));
    cairo_surface_mark_dirty_rectangle(image, r.left, r.top, r.width(), r.height());
}

void CairoCanvas::fillEllipse(const Rect& box, Color color)
{
    if (box.empty())
        return;
    cairo_save(context);
    cairo_set_antialias(context, CAIRO_ANTIALIAS_DEFAULT);
    setSource(context, color);
    cairo_save(context);
    cairo_translate(context, (box.left + box.right) / 2.0, (box.top + box.bottom) / 2.0);
    cairo_scale(context, box.width() / 2.0, box.height() / 2.0);
    cairo_arc(context, 0.0, 0.0, 1.0, 0.0, 2.0 * std::numbers::pi);
    cairo_restore(context); // the path keeps the scaled circle; the fill uses the plain transform
    cairo_fill(context);
    cairo_restore(context);
}

Size CairoCanvas::measureText(std::string_view text, const Font& font) const
{
    cairo_save(context);
    selectFont(context, font);
    cairo_font_extents_t fontExtents;
    cairo_font_extents(context, &fontExtents);
    cairo_text_extents_t extents{};
    if (!text.empty())
        cairo_text_extents(context, terminated(text).c_str(), &extents);
    cairo_restore(context);
    return {roundToInt(extents.x_advance), roundToInt(fontExtents.ascent + fontExtents.descent)};
}

void CairoCanvas::drawText(Point topLeft, std::string_view text, const Font& font, Color color, const Rect* clip)
{
    if (text.empty())
        return;
    cairo_save(context);
    if (clip != nullptr)
    {
        if (clip->empty())
        {
            cairo_restore(context);
            return;
        }
        cairo_rectangle(context, clip->left, clip->top, clip->width(), clip->height());
        cairo_clip(context);
    }
    cairo_set_antialias(context, CAIRO_ANTIALIAS_DEFAULT);
    const double ascent = selectFont(context, font);
    setSource(context, color);
    cairo_move_to(context, topLeft.x, topLeft.y + std::round(ascent));
    cairo_show_text(context, terminated(text).c_str());
    cairo_restore(context);
}

void CairoCanvas::setClip(const Rect& area)
{
    clipArea = area.intersect({0, 0, w, h});
    cairo_reset_clip(context);
    cairo_rectangle(context, clipArea.left, clipArea.top, clipArea.width(), clipArea.height());
    cairo_clip(context);
}

void CairoCanvas::resetClip()
{
    clipArea = {0, 0, w, h};
    cairo_reset_clip(context);
}

void CairoCanvas::copyFrom(const Canvas& source, const Rect& sourceArea, Point to)
{
    const auto& other = dynamic_cast<const CairoCanvas&>(source);
    const Rect from = sourceArea.intersect({0, 0, other.w, other.h});
    if (from.empty())
        return;
    const Point target{to.x + (from.left - sourceArea.left), to.y + (from.top - sourceArea.top)};
    cairo_surface_flush(other.image);
    cairo_save(context);
    cairo_set_operator(context, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(context, other.image, target.x - from.left, target.y - from.top);
    cairo_pattern_set_filter(cairo_get_source(context), CAIRO_FILTER_NEAREST);
    cairo_rectangle(context, target.x, target.y, from.width(), from.height());
    cairo_fill(context);
    cairo_restore(context);
}

Color CairoCanvas::pixel(Point p) const
{
    if (p.x < 0 || p.y < 0 || p.x >= w || p.y >= h)
        return colors::black;
    cairo_surface_flush(image);
    const std::uint32_t v = row(p.y)[p.x];
    return rgb(static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}

bool CairoCanvas::savePng(const std::string& path) const
{
    cairo_surface_flush(image);
    return cairo_surface_write_to_png(image, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

std::unique_ptr<Canvas> createCanvas(int width, int height)
{
    return std::make_unique<CairoCanvas>(width, height);
}

Size measureText(std::string_view text, const Font& font)
{
    // One shared measuring bitmap; the lock keeps two UI threads (two hosts
    // in one process are rare but possible) from sharing its context.
    static std::mutex lock;
    static CairoCanvas measurer(1, 1);
    std::lock_guard guard(lock);
    return measurer.measureText(text, font);
}

} // namespace tam
