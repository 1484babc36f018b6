// How long the reverb tail of a render is: the plug-in's shaped response at
// the host rate plus the pre-delay, worked out from the response file and
// the parameter values the way the plug-in shapes it, so the render stops
// only when the reverb has died away.
#pragma once

#include <cstdint>

namespace tam::render {

struct TailInputs
{
    std::int64_t responseFrames = 0; ///< frames in the response file
    double responseRate = 44100.0;   ///< the file's sample rate
    double hostRate = 44100.0;
    float stretch = 0.5f;  ///< parameter value; the response lasts (stretch + 0.5) times as long
    float length = 1.0f;   ///< parameter value; below 0.99 it cuts the response
    float reverse = 0.0f;  ///< parameter value; any other value than 0 reverses
    float predelay = 0.0f; ///< parameter value; 1 = 300 ms
};

struct TailLength
{
    std::int64_t responseFrames = 0; ///< shaped response at the host rate
    std::int64_t predelayFrames = 0;
    std::int64_t total() const { return responseFrames + predelayFrames; }
};

/// Frames the plug-in reads from a response file at most.
inline constexpr std::int64_t maxResponseFileFrames = 960000;

TailLength reverbTail(const TailInputs& in);

} // namespace tam::render
