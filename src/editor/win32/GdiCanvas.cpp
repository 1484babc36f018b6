#include "editor/win32/GdiCanvas.h"

#include "editor/PixelWords.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace tam
{

namespace
{

using pixelwords::packed;
using pixelwords::unpacked;

// The design's faces, and what stands in for them where they are missing:
// Tahoma is the usual substitute for both dialog faces on every Windows
// since 2000; the later names cover bare systems (wine on Linux without its
// own fonts). The first one installed wins; with none, GDI picks by family.
constexpr const char* designFace(FontFace face)
{
    switch (face)
    {
    case FontFace::smallFonts:
        return "Small Fonts";
    case FontFace::msSansSerif:
        return "MS Sans Serif";
    case FontFace::verdana:
        break;
    }
    return "Verdana";
}
constexpr const char* fallbackFaces[] = {"Tahoma", "Microsoft Sans Serif", "Arial", "DejaVu Sans"};

int CALLBACK noteFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool installed(HDC dc, const char* face)
{
    LOGFONTA query{};
    query.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(query.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExA(dc, &query, &noteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

/// The fonts every canvas shares, created on first use and deleted when the
/// module unloads; a handful of sizes in all.
class FontCache
{
public:
    FontCache() = default;
    ~FontCache()
    {
        for (const Entry& e : entries)
            DeleteObject(e.handle);
    }
    FontCache(const FontCache&) = delete;
    FontCache& operator=(const FontCache&) = delete;

    HFONT get(const Font& font)
    {
        std::lock_guard guard(lock);
        for (const Entry& e : entries)
            if (e.face == font.face && e.pixelSize == font.pixelSize && e.bold == font.bold)
                return e.handle;
        HFONT handle = create(font);
        if (handle != nullptr)
            entries.push_back({font.face, font.pixelSize, font.bold, handle});
        return handle;
    }

private:
    struct Entry
    {
        FontFace face;
        int pixelSize;
        bool bold;
        HFONT handle;
    };
    struct Choice
    {
        std::string name;
        bool substitute = false;
    };

    const Choice& faceFor(FontFace face)
    {
        Choice& choice = choices[static_cast<int>(face)];
        if (!choice.name.empty())
            return choice;
        HDC dc = CreateCompatibleDC(nullptr);
        choice = {designFace(face), false};
        if (dc != nullptr && !installed(dc, designFace(face)))
        {
            choice = {"", true};
            for (const char* candidate : fallbackFaces)
                if (installed(dc, candidate))
                {
                    choice.name = candidate;
                    break;
                }
        }
        if (dc != nullptr)
            DeleteDC(dc);
        return choice;
    }

    HFONT create(const Font& font)
    {
        const Choice& choice = faceFor(font.face);
        LOGFONTA wanted{};
        wanted.lfHeight = std::max(1, font.pixelSize); // positive: the whole cell, as the layout counts it
        wanted.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
        wanted.lfCharSet = DEFAULT_CHARSET;
        wanted.lfQuality = ANTIALIASED_QUALITY;
        wanted.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
        std::strncpy(wanted.lfFaceName, choice.name.c_str(), LF_FACESIZE - 1);
        HFONT handle = CreateFontIndirectA(&wanted);
        // A stand-in is usually wider than the narrow design faces; condense
        // it so that value texts keep inside the boxes laid out for them.
        const double condense = font.face == FontFace::smallFonts ? 0.92 : font.face == FontFace::msSansSerif ? 0.96 : 1.0;
        if (handle == nullptr || !choice.substitute || condense == 1.0)
            return handle;
        HDC dc = CreateCompatibleDC(nullptr);
        if (dc == nullptr)
            return handle;
        TEXTMETRICA metrics{};
        const HGDIOBJ previous = SelectObject(dc, handle);
        const bool measured = GetTextMetricsA(dc, &metrics) != 0;
        SelectObject(dc, previous);
        DeleteDC(dc);
        if (!measured || metrics.tmAveCharWidth <= 0)
            return handle;
        wanted.lfWidth = std::max(1L, std::lround(metrics.tmAveCharWidth * condense));
        if (HFONT narrow = CreateFontIndirectA(&wanted))
        {
            DeleteObject(handle);
            return narrow;
        }
        return handle;
    }

    std::mutex lock;
    std::vector<Entry> entries;
    Choice choices[3];
};

FontCache& fonts()
{
    static FontCache cache;
    return cache;
}

} // namespace

GdiCanvas::GdiCanvas(int width, int height) : w(std::max(1, width)), h(std::max(1, height))
{
    dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    if (dc != nullptr)
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    if (bitmap == nullptr || memory == nullptr)
    {
        if (bitmap != nullptr)
            DeleteObject(bitmap);
        if (dc != nullptr)
            DeleteDC(dc);
        throw std::bad_alloc();
    }
    bits = static_cast<std::uint32_t*>(memory);
    originalBitmap = SelectObject(dc, bitmap);
    originalFont = GetCurrentObject(dc, OBJ_FONT);
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
    clipArea = {0, 0, w, h};
    std::memset(bits, 0, static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * sizeof(std::uint32_t));
}

GdiCanvas::~GdiCanvas()
{
    SelectObject(dc, originalFont); // the shared fonts outlive the canvas
    SelectObject(dc, originalBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void GdiCanvas::settle() const
{
    if (gdiPending)
    {
        GdiFlush();
        gdiPending = false;
    }
}

HDC GdiCanvas::deviceContext() const
{
    settle();
    return dc;
}

void GdiCanvas::blend(int x, int y, Color color, float coverage)
{
    std::uint32_t& target = row(y)[x];
    const Color below = unpacked(target);
    auto mix = [coverage](int under, int over)
    { return static_cast<int>(std::lround(static_cast<float>(under) + static_cast<float>(over - under) * coverage)); };
    target = packed(rgb(mix(below.r, color.r), mix(below.g, color.g), mix(below.b, color.b)));
}

void GdiCanvas::line(Point from, Point to, Color color, int penWidth)
{
    const Point points[2] = {from, to};
    polyline(points, 2, color, penWidth);
}

void GdiCanvas::polyline(const Point* points, std::size_t count, Color color, int penWidth)
{
    if (count < 2)
        return;
    settle();
    if (penWidth <= 1)
    {
        const std::uint32_t value = packed(color);
        for (std::size_t i = 0; i + 1 < count; ++i)
            pixelwords::thinLine([this](int y) { return row(y); }, clipArea, points[i], points[i + 1], value);
        return;
    }
    // Wide pens: round caps and joins, edges smoothed by the distance of each
    // pixel centre from the path (the union of the segments' capsules).
    const float half = static_cast<float>(penWidth) / 2.0f;
    const int reach = penWidth / 2 + 2;
    Rect box;
    for (std::size_t i = 0; i < count; ++i)
        box = box.unite({points[i].x - reach, points[i].y - reach, points[i].x + reach + 1, points[i].y + reach + 1});
    box = box.intersect(clipArea);
    if (box.empty())
        return;
    std::vector<float> coverage(static_cast<std::size_t>(box.width()) * static_cast<std::size_t>(box.height()), 0.0f);
    for (std::size_t i = 0; i + 1 < count; ++i)
    {
        const Point a = points[i];
        const Point b = points[i + 1];
        const Rect reach2 = Rect{std::min(a.x, b.x) - reach, std::min(a.y, b.y) - reach, std::max(a.x, b.x) + reach + 1,
                                 std::max(a.y, b.y) + reach + 1}
                                .intersect(box);
        const float ex = static_cast<float>(b.x - a.x);
        const float ey = static_cast<float>(b.y - a.y);
        const float length2 = ex * ex + ey * ey;
        for (int y = reach2.top; y < reach2.bottom; ++y)
            for (int x = reach2.left; x < reach2.right; ++x)
            {
                const float px = static_cast<float>(x - a.x);
                const float py = static_cast<float>(y - a.y);
                const float t = length2 > 0.0f ? std::clamp((px * ex + py * ey) / length2, 0.0f, 1.0f) : 0.0f;
                const float distance = std::hypot(px - t * ex, py - t * ey);
                const float c = std::clamp(half + 0.5f - distance, 0.0f, 1.0f);
                float& cell = coverage[static_cast<std::size_t>(y - box.top) * static_cast<std::size_t>(box.width()) +
                                       static_cast<std::size_t>(x - box.left)];
                cell = std::max(cell, c);
            }
    }
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
        {
            const float c = coverage[static_cast<std::size_t>(y - box.top) * static_cast<std::size_t>(box.width()) +
                                     static_cast<std::size_t>(x - box.left)];
            if (c > 0.0f)
                blend(x, y, color, c);
        }
}

void GdiCanvas::fillRect(const Rect& area, Color color)
{
    const Rect r = area.intersect(clipArea);
    if (r.empty())
        return;
    settle();
    pixelwords::fill([this](int y) { return row(y); }, r, packed(color));
}

void GdiCanvas::fillEllipse(const Rect& box, Color color)
{
    const Rect r = box.intersect(clipArea);
    if (r.empty())
        return;
    settle();
    // Coverage from a 4 x 4 grid of samples per pixel: a smoothed edge.
    constexpr int grid = 4;
    const float cx = static_cast<float>(box.left + box.right) / 2.0f;
    const float cy = static_cast<float>(box.top + box.bottom) / 2.0f;
    const float rx = static_cast<float>(box.width()) / 2.0f;
    const float ry = static_cast<float>(box.height()) / 2.0f;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
        {
            int inside = 0;
            for (int j = 0; j < grid; ++j)
                for (int i = 0; i < grid; ++i)
                {
                    const float dx = (static_cast<float>(x) + (static_cast<float>(i) + 0.5f) / grid - cx) / rx;
                    const float dy = (static_cast<float>(y) + (static_cast<float>(j) + 0.5f) / grid - cy) / ry;
                    inside += dx * dx + dy * dy <= 1.0f ? 1 : 0;
                }
            if (inside > 0)
                blend(x, y, color, static_cast<float>(inside) / (grid * grid));
        }
}

Size GdiCanvas::measureText(std::string_view text, const Font& font) const
{
    HFONT handle = fonts().get(font);
    if (handle == nullptr)
        return {0, font.pixelSize};
    const HGDIOBJ previous = SelectObject(dc, handle);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SIZE extent{};
    if (!text.empty())
        GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    return {static_cast<int>(extent.cx), static_cast<int>(metrics.tmHeight)};
}

void GdiCanvas::drawText(Point topLeft, std::string_view text, const Font& font, Color color, const Rect* clip)
{
    const Rect area = clip != nullptr ? clip->intersect(clipArea) : clipArea;
    if (text.empty() || area.empty())
        return;
    HFONT handle = fonts().get(font);
    if (handle == nullptr)
        return;
    const HGDIOBJ previous = SelectObject(dc, handle);
    SetTextColor(dc, RGB(color.r, color.g, color.b));
    const RECT bounds{area.left, area.top, area.right, area.bottom};
    ExtTextOutA(dc, topLeft.x, topLeft.y, ETO_CLIPPED, &bounds, text.data(), static_cast<UINT>(text.size()), nullptr);
    SelectObject(dc, previous);
    gdiPending = true;
}

void GdiCanvas::setClip(const Rect& area)
{
    clipArea = area.intersect({0, 0, w, h});
}

void GdiCanvas::resetClip()
{
    clipArea = {0, 0, w, h};
}

void GdiCanvas::copyFrom(const Canvas& source, const Rect& sourceArea, Point to)
{
    const auto& other = dynamic_cast<const GdiCanvas&>(source);
    const Rect from = sourceArea.intersect({0, 0, other.w, other.h});
    if (from.empty())
        return;
    const Point shift{to.x - sourceArea.left, to.y - sourceArea.top};
    const Rect target = from.offset(shift.x, shift.y).intersect(clipArea);
    if (target.empty())
        return;
    other.settle();
    settle();
    const std::size_t bytes = static_cast<std::size_t>(target.width()) * sizeof(std::uint32_t);
    for (int y = target.top; y < target.bottom; ++y)
        std::memmove(row(y) + target.left, other.row(y - shift.y) + (target.left - shift.x), bytes);
}

Color GdiCanvas::pixel(Point p) const
{
    if (p.x < 0 || p.y < 0 || p.x >= w || p.y >= h)
        return colors::black;
    settle();
    return unpacked(row(p.y)[p.x]);
}

bool GdiCanvas::savePng(const std::string&) const
{
    return false; // no image encoder on this platform; the snapshot tool is a Linux program
}

std::unique_ptr<Canvas> createCanvas(int width, int height)
{
    return std::make_unique<GdiCanvas>(width, height);
}

Size measureText(std::string_view text, const Font& font)
{
    // One shared measuring bitmap; the lock keeps two UI threads (two hosts
    // in one process are rare but possible) from sharing its DC.
    static std::mutex lock;
    static GdiCanvas measurer(1, 1);
    std::lock_guard guard(lock);
    return measurer.measureText(text, font);
}

} // namespace tam
