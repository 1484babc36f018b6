// The scheme that carries the impulse-response file name through the
// automatable parameters: 127 values of two characters each plus a checksum
// value, so a host that saves only parameter values still restores the file.
#pragma once

#include <array>
#include <string>

namespace tam {

inline constexpr int fileNameValueCount = 127;
inline constexpr int maxFileNameLength = 2 * fileNameValueCount; ///< characters that travel
inline constexpr int paddedFileNameLength = 255; ///< the plug-in's names are padded with spaces to this

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
