// The window's background picture, drawn in code: grouped sections, the
// display wells that the waveform, EQ and file-list areas paint over, and
// the product name.
#pragma once

#include "editor/Canvas.h"

namespace tam
{

/// Draws the background onto `canvas`, which has the editor window's size.
void drawBackground(Canvas& canvas);

} // namespace tam
