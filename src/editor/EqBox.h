// The EQ box: up to eight points (position, factor) edited with the mouse,
// the smoothed curve through them, and the level and frequency scales.
// Positions 0.4 .. 1 span the box's width (about 55 Hz to 22 kHz), factors
// 0 .. 1 its height (bottom to top). A point whose position and factor are
// both 0 is free.
//
// Platform-neutral: the edit step works on plain values, drawing goes
// through the Canvas. UI thread only.
#pragma once

#include "editor/Canvas.h"
#include "impulse/EqCurve.h"

#include <array>

namespace tam
{

using EqValues = std::array<float, eqPointValueCount>;

inline constexpr int noEqPoint = -1;

enum class EqEditMode
{
    addOrMove,
    remove,
};

/// One edit step at the mouse point `p` of a box of `box` size: picks the
/// point under the mouse when none is selected (the highest-numbered of
/// overlapping points), then deletes it, or moves it under the mouse, or
/// adds the last free point there. `selected` is 1..8 or noEqPoint.
void eqEditStep(Point p, Size box, EqEditMode mode, int& selected, EqValues& values);

/// Whether all eight points are in use.
bool eqFull(const EqValues& values);

/// Curve, outline and points; `view` is the box's own curve record.
void drawEqBox(Canvas& canvas, const EqValues& values, TEqCurve& view);
/// The decibel labels left of the box.
void drawEqLevelScale(Canvas& canvas);
/// The frequency labels below the box.
void drawEqFrequencyScale(Canvas& canvas);
/// The label of a frequency: "55", "752", "1k", "17k".
std::string frequencyLabel(int hz);

} // namespace tam
