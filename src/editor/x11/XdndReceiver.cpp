#include "editor/x11/XdndReceiver.h"

#include <X11/Xatom.h>

#include <cstring>

namespace tam
{

namespace
{

constexpr long protocolVersion = 5;
constexpr long moreThanThreeTypes = 1;
constexpr int versionShift = 24;
constexpr long pointerBits = 0xFFFF;
constexpr long wholeProperty = 1L << 20; ///< longs read of the dropped list at most

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0)
        {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        }
        else
            out.push_back(text[i]);
    }
    return out;
}

} // namespace

std::vector<std::string> filePathsFromUriList(const std::string& list)
{
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < list.size())
    {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos)
            end = list.size();
        std::string line = list.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\0'))
            line.pop_back();
        static constexpr const char scheme[] = "file://";
        if (line.empty() || line.front() == '#' || line.compare(0, sizeof scheme - 1, scheme) != 0)
            continue;
        // file://host/path: the host part (empty or this machine) is dropped.
        const std::size_t slash = line.find('/', sizeof scheme - 1);
        if (slash == std::string::npos)
            continue;
        paths.push_back(percentDecoded(line.substr(slash)));
    }
    return paths;
}

XdndReceiver::XdndReceiver(Display* d, Window w, DropHandler handler) : display(d), window(w), onDrop(std::move(handler))
{
    aware = XInternAtom(display, "XdndAware", False);
    enter = XInternAtom(display, "XdndEnter", False);
    position = XInternAtom(display, "XdndPosition", False);
    status = XInternAtom(display, "XdndStatus", False);
    leave = XInternAtom(display, "XdndLeave", False);
    drop = XInternAtom(display, "XdndDrop", False);
    finished = XInternAtom(display, "XdndFinished", False);
    selection = XInternAtom(display, "XdndSelection", False);
    typeList = XInternAtom(display, "XdndTypeList", False);
    actionCopy = XInternAtom(display, "XdndActionCopy", False);
    uriList = XInternAtom(display, "text/uri-list", False);
    property = XInternAtom(display, "TAM_DROPPED_FILES", False);
    const long version = protocolVersion;
    XChangeProperty(display, window, aware, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&version),
                    1);
}

bool XdndReceiver::handle(const XEvent& event)
{
    if (event.type == SelectionNotify && event.xselection.requestor == window && event.xselection.property == property)
    {
        selectionArrived(event.xselection);
        return true;
    }
    if (event.type != ClientMessage || event.xclient.window != window)
        return false;
    const Atom type = event.xclient.message_type;
    if (type == enter)
        entered(event.xclient);
    else if (type == position)
        positioned(event.xclient);
    else if (type == drop)
        dropped(event.xclient);
    else if (type == leave)
        source = 0;
    else
        return false;
    return true;
}

bool XdndReceiver::offersUriList(Window from, const long* types, bool moreTypes) const
{
    if (!moreTypes)
    {
        for (int i = 0; i < 3; ++i)
            if (static_cast<Atom>(types[i]) == uriList)
                return true;
        return false;
    }
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, from, typeList, 0, 1024, False, XA_ATOM, &actualType, &actualFormat, &count,
                           &remaining, &data) == Success &&
        data != nullptr)
    {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && actualFormat == 32; ++i)
            found = found || atoms[i] == uriList;
    }
    if (data != nullptr)
        XFree(data);
    return found;
}

void XdndReceiver::entered(const XClientMessageEvent& message)
{
    source = static_cast<Window>(message.data.l[0]);
    const long version = message.data.l[1] >> versionShift;
    acceptable = version <= protocolVersion &&
                 offersUriList(source, &message.data.l[2], (message.data.l[1] & moreThanThreeTypes) != 0);
}

void XdndReceiver::positioned(const XClientMessageEvent& message)
{
    source = static_cast<Window>(message.data.l[0]);
    const int rootX = static_cast<int>((message.data.l[2] >> 16) & pointerBits);
    const int rootY = static_cast<int>(message.data.l[2] & pointerBits);
    int x = 0;
    int y = 0;
    Window child = 0;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0 &&
        XTranslateCoordinates(display, attributes.root, window, rootX, rootY, &x, &y, &child) != 0)
        lastPoint = {x, y};
    reply(status, acceptable ? 1 : 0);
}

void XdndReceiver::dropped(const XClientMessageEvent& message)
{
    source = static_cast<Window>(message.data.l[0]);
    if (!acceptable)
    {
        reply(finished, 0);
        source = 0;
        return;
    }
    // The list arrives as a SelectionNotify event on this window.
    XConvertSelection(display, selection, uriList, property, window, static_cast<Time>(message.data.l[2]));
}

void XdndReceiver::selectionArrived(const XSelectionEvent& event)
{
    std::string list;
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, event.property, 0, wholeProperty, True, AnyPropertyType, &actualType,
                           &actualFormat, &count, &remaining, &data) == Success &&
        data != nullptr && actualFormat == 8)
        list.assign(reinterpret_cast<const char*>(data), count);
    if (data != nullptr)
        XFree(data);
    const std::vector<std::string> paths = filePathsFromUriList(list);
    if (source != 0)
        reply(finished, paths.empty() ? 0 : 1);
    source = 0;
    if (!paths.empty() && onDrop)
        onDrop(paths, lastPoint);
}

void XdndReceiver::reply(Atom type, long accepted)
{
    if (source == 0)
        return;
    XEvent answer{};
    answer.xclient.type = ClientMessage;
    answer.xclient.display = display;
    answer.xclient.window = source;
    answer.xclient.message_type = type;
    answer.xclient.format = 32;
    answer.xclient.data.l[0] = static_cast<long>(window);
    answer.xclient.data.l[1] = accepted;
    // XdndStatus: no rectangle (positions keep coming); both: the action.
    answer.xclient.data.l[type == finished ? 2 : 4] = accepted != 0 ? static_cast<long>(actionCopy) : 0;
    XSendEvent(display, source, False, NoEventMask, &answer);
    XFlush(display);
}

} // namespace tam
