#include "editor/Widget.h"

#include "editor/Tmarlo_blue_slider.h"

#include <algorithm>

namespace tam
{

// ------------------------------------------------------------------ Widget

Widget::~Widget()
{
    if (parent != nullptr)
    {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    for (Widget* child : children)
        child->parent = nullptr;
}

void Widget::add(Widget& child)
{
    child.parent = this;
    children.push_back(&child);
    child.invalidate();
}

void Widget::raise(Widget& child)
{
    auto found = std::find(children.begin(), children.end(), &child);
    if (found == children.end() || found + 1 == children.end())
        return;
    children.erase(found);
    children.push_back(&child);
    child.invalidate();
}

void Widget::setBounds(const Rect& area)
{
    if (area == bounds)
        return;
    invalidate();
    bounds = area;
    boundsChanged();
    invalidate();
}

void Widget::setVisible(bool value)
{
    if (value == visible)
        return;
    // Invalidate while visible, so that the area is recomposed either way.
    if (visible)
        invalidate();
    visible = value;
    if (visible)
        invalidate();
}

Rect Widget::absoluteRect() const
{
    Rect r = bounds;
    for (const Widget* p = parent; p != nullptr; p = p->parent)
        r = r.offset(p->bounds.left, p->bounds.top);
    return r;
}

bool Widget::isShowing() const
{
    for (const Widget* w = this; w != nullptr; w = w->parent)
        if (!w->visible)
            return false;
    return true;
}

void Widget::invalidate()
{
    if (!isShowing())
        return;
    invalidateArea(absoluteRect());
}

void Widget::invalidateArea(const Rect& absolute)
{
    if (parent != nullptr)
        parent->invalidateArea(absolute);
}

void Widget::compose(Canvas& target, Point origin, const Rect& clip)
{
    if (!visible)
        return;
    const Rect area = bounds.offset(origin.x, origin.y);
    const Rect limited = clip.intersect(area);
    if (limited.empty())
        return;
    // Nothing a widget draws may leave the area being recomposed: pixels
    // outside it may belong to a widget lying above this one.
    target.setClip(limited);
    paint(target, area.topLeft(), limited);
    target.resetClip();
    for (Widget* child : children)
        child->compose(target, area.topLeft(), limited);
}

Widget* Widget::hitTest(Point p)
{
    if (!visible || !bounds.contains(p))
        return nullptr;
    const Point local{p.x - bounds.left, p.y - bounds.top};
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (Widget* hit = (*it)->hitTest(local))
            return hit;
    return takesMouse() ? this : nullptr;
}

// -------------------------------------------------------------- wrapText

std::vector<std::string> wrapText(const std::string& text, const Font& font, int width)
{
    std::vector<std::string> lines;
    auto fits = [&font, width](const std::string& s) { return measureText(s, font).width <= width; };
    std::size_t start = 0;
    for (;;)
    {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string paragraph = text.substr(start, end - start);
        std::string current;
        std::size_t pos = 0;
        bool emitted = false;
        while (pos < paragraph.size())
        {
            std::size_t wordEnd = paragraph.find(' ', pos);
            if (wordEnd == std::string::npos)
                wordEnd = paragraph.size();
            const std::string word = paragraph.substr(pos, wordEnd - pos);
            const std::string candidate = current.empty() ? word : current + " " + word;
            if (fits(candidate))
            {
                current = candidate;
                pos = wordEnd + 1;
            }
            else if (!current.empty())
            {
                lines.push_back(current); // the word starts the next line
                emitted = true;
                current.clear();
            }
            else
            {
                std::size_t count = word.size();
                while (count > 1 && !fits(word.substr(0, count)))
                    --count;
                lines.push_back(word.substr(0, count));
                emitted = true;
                pos += count;
            }
        }
        if (!current.empty() || !emitted)
            lines.push_back(current);
        if (end >= text.size())
            break;
        start = end + 1;
    }
    return lines;
}

// ------------------------------------------------------------------- Label

Label::Label(Point at, std::string caption, Font labelFont, Color labelColor, int width)
    : Widget(Rect::fromSize(at.x, at.y, 1, 1)), text(std::move(caption)), font(labelFont), color(labelColor),
      fixedWidth(width)
{
    fit();
}

void Label::setText(const std::string& value)
{
    if (value == text)
        return;
    invalidate();
    text = value;
    fit();
    invalidate();
}

void Label::fit()
{
    const Size size = measureText(text.empty() ? std::string_view(" ") : std::string_view(text), font);
    const Rect& b = getBounds();
    setBounds(Rect::fromSize(b.left, b.top, fixedWidth > 0 ? fixedWidth : std::max(1, size.width), size.height));
}

void Label::paint(Canvas& target, Point at, const Rect& clip)
{
    target.drawText(at, text, font, color, &clip);
}

// ---------------------------------------------------------------- PaintBox

PaintBox::PaintBox(Rect area, const Canvas* picture) : Widget(area), background(picture) {}

PaintBox::~PaintBox() = default;

void PaintBox::repaint()
{
    stale = true;
    invalidate();
}

const Canvas& PaintBox::picture()
{
    if (!image || image->width() != std::max(1, width()) || image->height() != std::max(1, height()))
    {
        image = createCanvas(width(), height());
        stale = true;
    }
    if (stale)
    {
        stale = false;
        if (background != nullptr)
            image->copyFrom(*background, absoluteRect(), {0, 0});
        if (OnPaint)
            OnPaint(*this, *image);
    }
    return *image;
}

void PaintBox::paint(Canvas& target, Point at, const Rect& clip)
{
    target.copyFrom(picture(), clip.offset(-at.x, -at.y), clip.topLeft());
}

// --------------------------------------------------------------- ScrollBar

Rect ScrollBar::thumb(int left, int right, int height, long long shown, long long total, int position,
                      int maxPosition)
{
    if (maxPosition <= 0)
        return {};
    const int track = height - 4;
    const int thumbHeight = std::max(16, static_cast<int>(track * shown / total));
    const int top = 2 + static_cast<int>(static_cast<long long>(track - thumbHeight) * position / maxPosition);
    return {left, top, right, top + thumbHeight};
}

int ScrollBar::press(Point p, const Rect& thumb, int barLeft, int position)
{
    if (thumb.empty() || p.x < barLeft)
        return 0;
    if (!thumb.contains(p))
        return p.y < thumb.top ? -1 : 1;
    dragging = true;
    dragStartY = p.y;
    dragStartPosition = position;
    return 0;
}

std::optional<double> ScrollBar::dragTravel(int y, int height, const Rect& thumb, int maxPosition) const
{
    const int range = height - 4 - thumb.height();
    if (!dragging || range <= 0)
        return std::nullopt;
    return static_cast<double>(y - dragStartY) * maxPosition / range;
}

// --------------------------------------------------------------- ScrollBox

ScrollBox::ScrollBox(Rect area, Color faceColor) : Widget(area), face(faceColor) {}

void ScrollBox::setContent(Widget& child)
{
    content = &child;
    add(child);
    layoutContent();
}

void ScrollBox::setContentHeight(int value)
{
    contentHeight = std::max(value, 0);
    scrollTop = std::clamp(scrollTop, 0, maxScrollTop());
    layoutContent();
    invalidate();
}

int ScrollBox::maxScrollTop() const
{
    return std::max(0, contentHeight - height());
}

void ScrollBox::scrollTo(int top)
{
    const int clamped = std::clamp(top, 0, maxScrollTop());
    if (clamped == scrollTop)
        return;
    scrollTop = clamped;
    layoutContent();
    invalidate();
}

void ScrollBox::layoutContent()
{
    if (content == nullptr)
        return;
    const int contentWidth = maxScrollTop() > 0 ? width() - barWidth : width();
    content->setBounds(Rect::fromSize(0, -scrollTop, contentWidth, contentHeight));
}

Rect ScrollBox::thumbRect() const
{
    return ScrollBar::thumb(width() - barWidth + 1, width() - 1, height(), height(), contentHeight, scrollTop,
                            maxScrollTop());
}

void ScrollBox::paint(Canvas& target, Point at, const Rect& clip)
{
    (void)clip;
    target.fillRect(Rect::fromSize(at.x, at.y, width(), height()), face);
    const Rect thumb = thumbRect();
    if (thumb.empty())
        return;
    target.fillRect(Rect::fromSize(at.x + width() - barWidth, at.y, barWidth, height()), shade(face, -0.3));
    bevelBox(target, thumb.offset(at.x, at.y), shade(face, 0.35), false);
}

void ScrollBox::mouseDown(const MouseEvent& event)
{
    if (const int page = bar.press(event.point, thumbRect(), width() - barWidth, scrollTop))
        scrollTo(scrollTop + page * height());
}

void ScrollBox::mouseMove(const MouseEvent& event)
{
    if (const auto travel = bar.dragTravel(event.point.y, height(), thumbRect(), maxScrollTop()))
        scrollTo(bar.dragStart() + static_cast<int>(*travel));
}

void ScrollBox::mouseUp(const MouseEvent& event)
{
    (void)event;
    bar.release();
}

void ScrollBox::wheel(Point p, int steps)
{
    (void)p;
    scrollTo(scrollTop + wheelStep * steps);
}

// ---------------------------------------------------------------- GroupBox

GroupBox::GroupBox(Rect area, std::string text, Color faceColor, Color captionColor)
    : Widget(area), caption(std::move(text)), face(faceColor), textColor(captionColor)
{
}

void GroupBox::paint(Canvas& target, Point at, const Rect& clip)
{
    static constexpr Font font{FontFace::smallFonts, 11, false};
    (void)clip;
    const Size text = target.measureText(caption, font);
    const int w = width();
    const int h = height();
    const int top = at.y + text.height / 2;
    const Color dark = shade(face, -0.35);
    const Color light = shade(face, 0.45);
    // An etched frame: a dark line with a light one just inside/below it.
    const Rect frame{at.x, top, at.x + w, at.y + h};
    const Point darkLines[5] = {{frame.left, frame.top},
                                {frame.right - 2, frame.top},
                                {frame.right - 2, frame.bottom - 2},
                                {frame.left, frame.bottom - 2},
                                {frame.left, frame.top}};
    target.polyline(darkLines, 5, dark);
    const Point lightLines[5] = {{frame.left + 1, frame.top + 1},
                                 {frame.right - 1, frame.top + 1},
                                 {frame.right - 1, frame.bottom - 1},
                                 {frame.left + 1, frame.bottom - 1},
                                 {frame.left + 1, frame.top + 1}};
    target.polyline(lightLines, 5, light);
    target.line({frame.right - 1, frame.top}, {frame.right - 1, frame.top + 1}, light);
    target.line({frame.left, frame.bottom - 1}, {frame.left + 1, frame.bottom - 1}, light);
    const Rect captionArea = Rect::fromSize(at.x + 8, at.y, text.width, text.height);
    target.fillRect(captionArea, face);
    target.drawText(captionArea.topLeft(), caption, font, textColor, &captionArea);
}

// ---------------------------------------------------------------- TextView

TextView::TextView(Rect area, Font textFont, Color color, Color faceColor)
    : Widget(area), font(textFont), textColor(color), face(faceColor)
{
}

void TextView::setText(std::string value)
{
    text = std::move(value);
    firstLine = 0;
    wrap();
    invalidate();
}

int TextView::lineHeight() const
{
    return std::max(1, measureText("Ag", font).height + 1);
}

int TextView::visibleLines() const
{
    return std::max(1, (height() - 4) / lineHeight());
}

int TextView::maxFirstLine() const
{
    return std::max(0, lineCount() - visibleLines());
}

void TextView::scrollTo(int line)
{
    const int clamped = std::clamp(line, 0, maxFirstLine());
    if (clamped == firstLine)
        return;
    firstLine = clamped;
    invalidate();
}

void TextView::wrap()
{
    lines = wrapText(text, font, std::max(10, width() - barWidth - 8));
    firstLine = std::clamp(firstLine, 0, maxFirstLine());
}

Rect TextView::thumbRect() const
{
    return ScrollBar::thumb(width() - barWidth, width() - 2, height(), visibleLines(), lineCount(), firstLine,
                            maxFirstLine());
}

void TextView::paint(Canvas& target, Point at, const Rect& clip)
{
    (void)clip;
    const Rect own = Rect::fromSize(at.x, at.y, width(), height());
    bevelBox(target, own, face, true);
    const Rect textArea{own.left + 2, own.top + 2, own.right - barWidth - 2, own.bottom - 2};
    const int step = lineHeight();
    int y = textArea.top + 1;
    for (int i = firstLine; i < lineCount() && y < textArea.bottom; ++i, y += step)
        target.drawText({textArea.left + 4, y}, lines[static_cast<std::size_t>(i)], font, textColor, &textArea);

    const Rect thumb = thumbRect();
    if (!thumb.empty())
    {
        const Rect track{own.right - barWidth, own.top + 2, own.right - 2, own.bottom - 2};
        target.fillRect(track, shade(face, -0.15));
        bevelBox(target, thumb.offset(at.x, at.y), face, false);
    }
}

void TextView::mouseDown(const MouseEvent& event)
{
    if (const int page = bar.press(event.point, thumbRect(), width() - barWidth, firstLine))
        scrollTo(firstLine + page * visibleLines());
}

void TextView::mouseMove(const MouseEvent& event)
{
    if (const auto travel = bar.dragTravel(event.point.y, height(), thumbRect(), maxFirstLine()))
        scrollTo(bar.dragStart() + nearest(*travel));
}

void TextView::mouseUp(const MouseEvent& event)
{
    (void)event;
    bar.release();
}

void TextView::wheel(Point p, int steps)
{
    (void)p;
    scrollTo(firstLine + 3 * steps);
}

} // namespace tam
