// Reads a whole RIFF WAVE file into interleaved 32-bit floats (nominally
// -1..+1), with the file's sample rate and channel count. PCM (8, 16, 20, 24,
// 32 bit), IEEE float (32, 64 bit) and the extensible variants are read
// directly; other formats go through the platform's audio decoder.
// Every failure throws WaveError carrying a numbered message such as
// "Error 13: Not a wave file!". Off the audio thread only (file I/O).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tam {

class WaveError : public std::runtime_error
{
public:
    WaveError(int code, const std::string& message) : std::runtime_error(message), errorCode(code) {}
    int code() const { return errorCode; }

private:
    int errorCode;
};

/// Returns channels x frames samples, frame after frame. sampleCount is
/// channels x frames. Throws WaveError.
std::vector<float> ReadWaveFile(const std::string& fileName, std::int32_t& sampleRate, std::int32_t& channels,
                                std::int32_t& sampleCount);

} // namespace tam
