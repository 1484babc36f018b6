// The receiving side of the XDND protocol for one window: it announces the
// window as a drop target, accepts drags that offer "text/uri-list", fetches
// the list at the drop, and hands the local file paths on.
//
// It reads the events the window's own loop passes to it; it opens nothing
// and waits for nothing (the list arrives as a later event). UI thread only.
#pragma once

#include "editor/Canvas.h"

#include <X11/Xlib.h>

#include <functional>
#include <string>
#include <vector>

namespace tam
{

class XdndReceiver
{
public:
    using DropHandler = std::function<void(const std::vector<std::string>& paths, Point at)>;

    XdndReceiver(Display* display, Window window, DropHandler handler);

    /// Takes the events of the protocol; false for every other event.
    bool handle(const XEvent& event);

private:
    void entered(const XClientMessageEvent& message);
    void positioned(const XClientMessageEvent& message);
    void dropped(const XClientMessageEvent& message);
    void selectionArrived(const XSelectionEvent& selection);
    void reply(Atom type, long accepted);
    bool offersUriList(Window source, const long* types, bool moreTypes) const;

    Display* display;
    Window window;
    DropHandler onDrop;
    Atom aware, enter, position, status, leave, drop, finished, selection, typeList, actionCopy, uriList, property;
    Window source = 0;    ///< the drag in progress, 0 when none
    bool acceptable = false;
    Point lastPoint;      ///< in the window's coordinates
};

/// Local file paths of a "text/uri-list" (file URIs only, percent-decoded).
std::vector<std::string> filePathsFromUriList(const std::string& list);

} // namespace tam
