// What the other Win32 parts of the editor need of its window layer.
#pragma once

#include "editor/NativeWindow.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace tam
{

/// The handle of an editor window made by this layer; null for none or for
/// any other kind of window (the test doubles).
HWND windowHandle(const NativeWindow* window);

} // namespace tam
