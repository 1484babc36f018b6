// Windows has no editor yet: no window can be made, so the plug-in does not
// announce an editor. A GDI/Win32 version replaces this file.
#include "editor/NativeWindow.h"

namespace tam
{

bool NativeWindow::supported()
{
    return false;
}

int NativeWindow::trappedErrorCount()
{
    return 0;
}

std::unique_ptr<NativeWindow> NativeWindow::create(void*, int, int, WindowListener&)
{
    return nullptr;
}

} // namespace tam
