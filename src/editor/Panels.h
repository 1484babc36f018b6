// Overlay pieces of the editor window: the modal "Alert" message box and the
// picture of the loading indicator. UI thread only.
#pragma once

#include "editor/Tmarlo_blue_slider.h"
#include "editor/Widget.h"

#include <deque>
#include <string>
#include <vector>

namespace tam
{

/// A modal message box drawn inside the window. While it is shown it takes
/// every mouse event of the window; OK closes it and shows the next queued
/// message, if any.
class AlertBox : public Widget
{
public:
    static constexpr int boxWidth = 380;

    /// `area` is the whole window, so that clicks beside the box are swallowed.
    explicit AlertBox(Rect area);

    void showMessage(const std::string& text);
    /// The message shown now, empty when the box is hidden.
    std::string currentMessage() const;
    std::size_t queuedMessages() const { return queue.size(); }
    /// What the OK button does.
    void dismiss();

    bool takesMouse() const override { return true; }

    Tmarlo_blue_slider title;
    Tmarlo_blue_slider okButton;

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;

private:
    void layoutBox();

    std::deque<std::string> queue; ///< front: the message shown
    std::vector<std::string> lines;
    Rect box; ///< in own coordinates
};

/// An hourglass in a sunken frame, for the "loading..." panel.
class LoadingIcon : public Widget
{
public:
    explicit LoadingIcon(Rect area) : Widget(area) {}

protected:
    void paint(Canvas& target, Point at, const Rect& clip) override;
};

} // namespace tam
