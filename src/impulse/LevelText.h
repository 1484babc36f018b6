// Small shared helpers: the two curves that turn a control value (0..1)
// into an amplitude, decibel texts, and the scheme that
// carries the impulse-response file name through automatable parameters
// (127 values of two characters each plus a checksum value).
#pragma once

#include "engine/DenormalGuard.h" // flushDenormal, used by the curves

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace tam {

inline constexpr int fileNameValueCount = 127;

/// Amplitude of an EQ factor: 0..30 dB of cut, the last dB stretched to 40 dB.
float eqAmplitude(float v);
/// Amplitude of an envelope level: 0..60 dB, the last dB stretched to 80 dB.
float levelCurve(float x);
/// Decibel text of an EQ factor ("0 dB", "-15.0 dB", "-oo dB").
std::string eqGainText(float v);
/// Decibel text of an amplitude ("0 dB", "-6.0 dB", "+6.0 dB", "-oo dB").
std::string amplitudeText(float a);

/// Values for the 127 file-name parameters (at most 254 characters travel).
std::array<float, fileNameValueCount> fileNameToValues(const std::string& name);
/// The two characters carried by one file-name value; control codes, 255
/// and codes up to 32 come back as spaces.
std::array<char, 2> valueToChars(float v);
/// Value of the checksum parameter for a name; spaces do not count.
float fileNameChecksum(const std::string& name);
/// Whether v is the checksum of name (compared at 1e-7 resolution).
bool checksumMatches(const std::string& name, float v);

} // namespace tam
