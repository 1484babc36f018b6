// A minimal retained widget tree for the editor window: rectangles relative
// to their parent, painted back to front, hit-tested front to back. The
// window at the root collects the areas that changed and recomposes only
// those, so a repaint of one control never draws over a panel lying on it.
//
// Widgets do not own their children (the window owns every widget as a
// member). UI thread only.
#pragma once

#include "editor/Canvas.h"
#include "editor/NativeWindow.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tam
{

class Widget
{
public:
    explicit Widget(Rect area = {}) : bounds(area) {}
    virtual ~Widget();
    Widget(const Widget&) = delete;
    Widget& operator=(const Widget&) = delete;

    /// Appends a child (painted above the earlier ones).
    void add(Widget& child);
    /// Moves a child to the front.
    void raise(Widget& child);

    const Rect& getBounds() const { return bounds; }
    void setBounds(const Rect& area);
    int width() const { return bounds.width(); }
    int height() const { return bounds.height(); }
    bool isVisible() const { return visible; }
    void setVisible(bool value);
    Widget* getParent() const { return parent; }
    /// Bounds in the root's coordinates.
    Rect absoluteRect() const;
    /// Whether this widget and all its parents are visible.
    bool isShowing() const;

    /// Asks the root to recompose this widget's area.
    void invalidate();

    /// Paints this widget and its children onto `target`, with `origin` the
    /// target position of the parent's top-left corner, limited to `clip`.
    void compose(Canvas& target, Point origin, const Rect& clip);
    /// The front-most visible widget at `p` (parent coordinates) that takes
    /// the mouse, or null.
    Widget* hitTest(Point p);

    virtual bool takesMouse() const { return false; }
    /// Mouse events arrive in this widget's own coordinates.
    virtual void mouseDown(const MouseEvent& event) { (void)event; }
    virtual void mouseMove(const MouseEvent& event) { (void)event; }
    virtual void mouseUp(const MouseEvent& event) { (void)event; }
    virtual void wheel(Point p, int steps)
    {
        (void)p;
        (void)steps;
    }

protected:
    /// Draws this widget alone; `at` is its top-left corner on the target.
    virtual void paint(Canvas& target, Point at, const Rect& clip)
    {
        (void)target;
        (void)at;
        (void)clip;
    }
    /// The root records the area; other widgets pass it up.
    virtual void invalidateArea(const Rect& absolute);
    virtual void boundsChanged() {}

private:
    Rect bounds;
    bool visible = true;
    Widget* parent = nullptr;
    std::vector<Widget*> children;
};

/// Splits text into lines no wider than `width` pixels: at line breaks, at
/// spaces, and inside words longer than a line.
std::vector<std::string> wrapText(const std::string& text, const Font& font, int width);

/// A static text without background.
class Label : public Widget
{
public:
    Label(Point at, std::string text, Font font, Color color = colors::white, int fixedWidth = 0);

    void setText(const std::string& value);
    const std::string& getText() const { return text; }

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;

private:
    void fit();

    std::string text;
    Font font;
    Color color;
    int fixedWidth; ///< 0: as wide as the text
};

/// An area with a picture of its own, drawn by `OnPaint` into an off-screen
/// bitmap that first receives the window background lying under the area.
class PaintBox : public Widget
{
public:
    /// `background` is the window's background picture (root coordinates).
    PaintBox(Rect area, const Canvas* background);
    ~PaintBox() override;

    /// Redraws the picture at the next composition.
    void repaint();
    /// Brings the picture up to date now and returns it.
    const Canvas& picture();

    std::function<void(PaintBox& sender, Canvas& canvas)> OnPaint;
    /// Mouse handlers; the area takes the mouse when OnMouseDown is set.
    std::function<void(const MouseEvent& event)> OnMouseDown;
    std::function<void(const MouseEvent& event)> OnMouseMove;
    std::function<void(const MouseEvent& event)> OnMouseUp;

    bool takesMouse() const override { return static_cast<bool>(OnMouseDown); }
    void mouseDown(const MouseEvent& event) override
    {
        if (OnMouseDown)
            OnMouseDown(event);
    }
    void mouseMove(const MouseEvent& event) override
    {
        if (OnMouseMove)
            OnMouseMove(event);
    }
    void mouseUp(const MouseEvent& event) override
    {
        if (OnMouseUp)
            OnMouseUp(event);
    }

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;
    void boundsChanged() override { repaint(); }

private:
    const Canvas* background;
    std::unique_ptr<Canvas> image;
    bool stale = true;
};

/// The vertical bar of a scrolling widget: where its thumb lies, and the
/// press and drag on it. The owner keeps the scroll position in its own
/// units (pixels, lines) and pages and rounds in them.
class ScrollBar
{
public:
    /// The thumb of a bar from column `left` to `right` in a track from row 2
    /// to `height` - 2, showing `shown` of `total` at `position` of
    /// `maxPosition`; empty when everything fits.
    static Rect thumb(int left, int right, int height, long long shown, long long total, int position,
                      int maxPosition);

    /// A press at `p` on a bar that starts at column `barLeft`: on the thumb
    /// it starts a drag from `position` and returns 0; elsewhere on the bar
    /// it returns the direction to page (-1 up, +1 down); off the bar, 0.
    int press(Point p, const Rect& thumb, int barLeft, int position);
    /// While a drag lasts: how many units the position moved with the
    /// pointer at row `y` (unrounded), over a track of `height` - 4 rows.
    std::optional<double> dragTravel(int y, int height, const Rect& thumb, int maxPosition) const;
    /// The position the drag started from.
    int dragStart() const { return dragStartPosition; }
    void release() { dragging = false; }

private:
    bool dragging = false;
    int dragStartY = 0;
    int dragStartPosition = 0;
};

/// A vertically scrolling view of one content widget, with a bar at its
/// right while the content is taller than the view; the wheel, dragging
/// the thumb and clicking the bar scroll it.
class ScrollBox : public Widget
{
public:
    static constexpr int barWidth = 14;
    static constexpr int wheelStep = 51; ///< pixels per wheel step

    ScrollBox(Rect area, Color face);

    void setContent(Widget& child);
    /// Gives the content its height (its width follows the view).
    void setContentHeight(int contentHeight);
    int getScrollTop() const { return scrollTop; }
    /// Scrolls so that content row `top` is at the view's top (clamped).
    void scrollTo(int top);
    int maxScrollTop() const;

    bool takesMouse() const override { return true; }
    void mouseDown(const MouseEvent& event) override;
    void mouseMove(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void wheel(Point p, int steps) override;

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;

private:
    void layoutContent();
    Rect thumbRect() const; ///< own coordinates; empty when all fits

    Widget* content = nullptr;
    int contentHeight = 0;
    int scrollTop = 0;
    Color face;
    ScrollBar bar;
};

/// A bordered group with a caption on its top edge, drawn on the parent's face.
class GroupBox : public Widget
{
public:
    GroupBox(Rect area, std::string caption, Color face, Color textColor);

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;

private:
    std::string caption;
    Color face;
    Color textColor;
};

/// Word-wrapped, read-only text that scrolls vertically (mouse wheel, or
/// dragging and clicking the bar at its right).
class TextView : public Widget
{
public:
    static constexpr int barWidth = 12;

    TextView(Rect area, Font font, Color textColor, Color face);

    void setText(std::string value);
    int lineCount() const { return static_cast<int>(lines.size()); }
    int getScrollLine() const { return firstLine; }
    void scrollTo(int line);
    int visibleLines() const;

    bool takesMouse() const override { return true; }
    void mouseDown(const MouseEvent& event) override;
    void mouseMove(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void wheel(Point p, int steps) override;

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;
    void boundsChanged() override { wrap(); }

private:
    void wrap();
    int lineHeight() const;
    int maxFirstLine() const;
    Rect thumbRect() const; ///< in own coordinates; empty when all lines fit

    std::string text;
    std::vector<std::string> lines;
    Font font;
    Color textColor;
    Color face;
    int firstLine = 0;
    ScrollBar bar;
};

} // namespace tam
