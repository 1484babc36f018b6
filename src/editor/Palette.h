// The editor's colours and text faces, shared by the window, its panels and
// the background picture.
#pragma once

#include "editor/Canvas.h"

namespace tam::palette
{

inline constexpr Color window = rgb(87, 85, 179);   ///< window colour
inline constexpr Color dark = rgb(38, 38, 78);      ///< tracks, value boxes, display wells
inline constexpr Color slider = rgb(115, 149, 212); ///< knobs and blue buttons
inline constexpr Color scale = rgb(205, 205, 205);  ///< scale labels and meter bars
inline constexpr Color eqBox = rgb(125, 125, 125);  ///< EQ box colour
inline constexpr Color loadingFace = rgb(103, 130, 183);
inline constexpr Color switchFace = colors::grey; ///< the grey switch buttons

inline constexpr Font labelFont{FontFace::smallFonts, 11, false};
inline constexpr Font titleFont{FontFace::msSansSerif, 13, true};
inline constexpr Font versionFont{FontFace::msSansSerif, 12, false};
inline constexpr Font defaultFont{FontFace::verdana, 12, false};

} // namespace tam::palette
