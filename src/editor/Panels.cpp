#include "editor/Panels.h"

#include "editor/Palette.h"

#include <algorithm>

namespace tam
{

namespace
{

constexpr Font messageFont{FontFace::verdana, 13, false};
constexpr int titleHeight = 20;
constexpr int padding = 14;
constexpr int buttonWidth = 72;
constexpr int buttonHeight = 20;

} // namespace

AlertBox::AlertBox(Rect area)
    : Widget(area), title(Rect::fromSize(0, 0, boxWidth, titleHeight)),
      okButton(Rect::fromSize(0, 0, buttonWidth, buttonHeight))
{
    title.setButton(true);
    title.setColor(palette::dark);
    title.setCaption("Alert");
    okButton.setButton(true);
    okButton.setColor(palette::slider);
    okButton.setTextColor(colors::black);
    okButton.setCaption("OK");
    okButton.OnpostChanged = [this](Tmarlo_blue_slider&) { dismiss(); };
    add(title);
    add(okButton);
    setVisible(false);
}

void AlertBox::showMessage(const std::string& text)
{
    queue.push_back(text);
    if (queue.size() == 1)
    {
        layoutBox();
        setVisible(true);
        invalidate();
    }
}

std::string AlertBox::currentMessage() const
{
    return isVisible() && !queue.empty() ? queue.front() : std::string();
}

void AlertBox::dismiss()
{
    if (queue.empty())
        return;
    invalidate();
    queue.pop_front();
    if (queue.empty())
    {
        setVisible(false);
        return;
    }
    layoutBox();
    invalidate();
}

void AlertBox::layoutBox()
{
    lines = wrapText(queue.front(), messageFont, boxWidth - 2 * padding);
    const int lineHeight = measureText("Ag", messageFont).height + 2;
    const int textHeight = static_cast<int>(lines.size()) * lineHeight;
    const int boxHeight = titleHeight + padding + textHeight + padding + buttonHeight + padding;
    box = Rect::fromSize((width() - boxWidth) / 2, std::max(0, (height() - boxHeight) / 2), boxWidth, boxHeight);
    title.setBounds(Rect::fromSize(box.left, box.top, boxWidth, titleHeight));
    okButton.setBounds(Rect::fromSize(box.left + (boxWidth - buttonWidth) / 2, box.bottom - padding - buttonHeight,
                                      buttonWidth, buttonHeight));
}

void AlertBox::paint(Canvas& target, Point at, const Rect& clip)
{
    (void)clip;
    const Rect outer = box.offset(at.x, at.y);
    // A dark rim separates the box from whatever lies under it.
    target.fillRect({outer.left - 2, outer.top - 2, outer.right + 2, outer.bottom + 2}, palette::dark);
    bevelBox(target, outer, palette::slider, false);
    const int lineHeight = measureText("Ag", messageFont).height + 2;
    int y = outer.top + titleHeight + padding;
    const Rect textArea{outer.left + padding, outer.top + titleHeight, outer.right - padding, outer.bottom};
    for (const std::string& line : lines)
    {
        target.drawText({outer.left + padding, y}, line, messageFont, colors::black, &textArea);
        y += lineHeight;
    }
}

void LoadingIcon::paint(Canvas& target, Point at, const Rect& clip)
{
    (void)clip;
    const Rect frame = Rect::fromSize(at.x, at.y, width(), height());
    bevelBox(target, frame, palette::loadingFace, true);
    // Hourglass: two triangles of sand between two caps.
    const int cx = frame.left + frame.width() / 2;
    const int top = frame.top + 5;
    const int bottom = frame.bottom - 5;
    const int mid = (top + bottom) / 2;
    const int half = 9;
    const Color glass = rgb(230, 236, 250);
    const Color sand = rgb(250, 214, 120);
    target.fillRect({cx - half - 2, top - 2, cx + half + 3, top}, palette::dark);
    target.fillRect({cx - half - 2, bottom + 1, cx + half + 3, bottom + 3}, palette::dark);
    for (int y = top; y <= bottom; ++y)
    {
        const int distance = y < mid ? mid - y : y - mid;
        const int reach = 1 + (half - 1) * distance / std::max(1, mid - top);
        target.fillRect({cx - reach, y, cx + reach + 1, y + 1}, glass);
        // Sand: the lower part of the top bulb and the bottom of the lower one.
        const bool upperSand = y < mid && y > top + (mid - top) / 2;
        const bool lowerSand = y > mid + (bottom - mid) / 2;
        if (upperSand || lowerSand)
            target.fillRect({cx - reach + 1, y, cx + reach, y + 1}, sand);
    }
    target.line({cx, mid}, {cx, bottom - 2}, sand);
}

} // namespace tam
