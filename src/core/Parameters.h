// The parameter table: 173 automatable parameters, each a float in 0..1.
// Besides the sound controls they carry the impulse-response file name (two
// characters per value) and its checksum, because parameters are the only
// state a host saves and restores.
#pragma once

#include "impulse/EqCurve.h"

#include <cstdint>

namespace tam {

inline constexpr int parameterCount = 173;

namespace param {
inline constexpr int dry = 0;
inline constexpr int wet = 1;
inline constexpr int add12dB = 2;
inline constexpr int attackLevel = 4;
inline constexpr int attackTime = 5;
inline constexpr int envelope = 6;
inline constexpr int length = 7;
inline constexpr int predelay = 8; ///< "Delay", 0..300 ms
inline constexpr int stretch = 9;
inline constexpr int reverse = 10;
inline constexpr int stereoRouting = 12; ///< input stereo width
inline constexpr int stereo = 13;        ///< impulse-response stereo width
inline constexpr int eqFirst = 16;       ///< position of EQ point 1; gains at odd indices
inline constexpr int eqLast = eqFirst + eqPointValueCount - 1;
inline constexpr int bypass = 41;
inline constexpr int muteDry = 42;
inline constexpr int autogain = 43;
inline constexpr int fileChecksum = 45;
inline constexpr int fileNameFirst = 46;
inline constexpr int fileNameLast = 172;
} // namespace param

/// What setting a parameter does besides storing its value.
enum class ParameterEffect
{
    none,          ///< reserved index: accepted and ignored
    dryFade,       ///< dry crossfade, always
    wetFade,       ///< wet crossfade, always
    add12dB,       ///< wet crossfade when the value changed
    recompute,     ///< reshape and repartition the response
    predelay,      ///< recompute the pre-delay in samples
    storeOnly,     ///< read by the engine as it is
    bypass,        ///< when changed: engine reset (switching on), wet crossfade
    muteDry,       ///< when changed: dry crossfade
    autogain,      ///< when changed: wet crossfade and auto-gain selection
    fileChecksum,  ///< file check
    fileName,      ///< two characters of the file name, then file check
};

struct ParameterInfo
{
    const char* name; ///< returned to the host exactly, trailing spaces included
    ParameterEffect effect;
    float defaultValue;
};

/// The table entry of an index; indices outside 0..172 read as reserved.
const ParameterInfo& parameterInfo(std::int32_t index);

/// The order in which a program applies its values: the checksum before the
/// file name, so the name completes the check.
inline constexpr int programApplyOrder[] = {
    param::wet,        param::stereoRouting, param::predelay, param::fileChecksum, param::bypass,
    param::muteDry,    param::dry,           param::envelope, param::stereo,       param::length,
    param::attackTime, param::attackLevel,   param::autogain, param::add12dB,      param::reverse,
    param::stretch,
};

} // namespace tam
