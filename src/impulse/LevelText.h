// Level curves and decibel texts: the two curves that turn a control value
// (0..1) into an amplitude, and the texts that show levels in decibels.
#pragma once

#include "engine/DenormalGuard.h" // flushDenormal, used by the curves

#include <string>

namespace tam {

/// Amplitude of an EQ factor: 0..30 dB of cut, the last dB stretched to 40 dB.
float eqAmplitude(float v);
/// Amplitude of an envelope level: 0..60 dB, the last dB stretched to 80 dB.
float levelCurve(float x);
/// Decibel text of an EQ factor ("0 dB", "-15.0 dB", "-oo dB").
std::string eqGainText(float v);
/// Decibel text of an amplitude ("0 dB", "-6.0 dB", "+6.0 dB", "-oo dB").
std::string amplitudeText(float a);

} // namespace tam
