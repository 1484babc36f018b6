#include "core/Parameters.h"

#include <array>

namespace tam {

namespace {

constexpr ParameterInfo reserved{"reserved", ParameterEffect::none, 0.0f};

constexpr std::array<ParameterInfo, parameterCount> makeTable()
{
    std::array<ParameterInfo, parameterCount> table{};
    for (auto& entry : table)
        entry = reserved;
    table[param::dry] = {"Dry", ParameterEffect::dryFade, 1.0f};
    table[param::wet] = {"Wet", ParameterEffect::wetFade, 0.5f};
    table[param::add12dB] = {"add 12dB", ParameterEffect::add12dB, 0.0f};
    table[param::attackLevel] = {"Attack Level", ParameterEffect::recompute, 1.0f};
    table[param::attackTime] = {"Attack Time", ParameterEffect::recompute, 0.0f};
    table[param::envelope] = {"Envelope", ParameterEffect::recompute, 0.0f};
    table[param::length] = {"Length", ParameterEffect::recompute, 1.0f};
    table[param::predelay] = {"Delay", ParameterEffect::predelay, 0.0f};
    table[param::stretch] = {"Stretch", ParameterEffect::recompute, 0.5f};
    table[param::reverse] = {"Reverse", ParameterEffect::recompute, 0.0f};
    table[param::stereoRouting] = {"StereoRouting", ParameterEffect::storeOnly, 1.0f};
    table[param::stereo] = {"Stereo", ParameterEffect::recompute, 1.0f};
    constexpr const char* eqNames[16] = {
        "FFT EQ1 Position ", "FFT EQ1 gain ", "FFT EQ2 Position ", "FFT EQ2 gain ",
        "FFT EQ3 Position ", "FFT EQ3 gain ", "FFT EQ4 Position ", "FFT EQ4 gain ",
        "FFT EQ5 Position ", "FFT EQ5 gain ", "FFT EQ6 Position ", "FFT EQ6 gain ",
        "FFT EQ7 Position ", "FFT EQ7 gain ", "FFT EQ8 Position ", "FFT EQ8 gain "};
    for (int i = 0; i < 16; ++i)
        table[static_cast<std::size_t>(param::eqFirst + i)] = {eqNames[i], ParameterEffect::recompute, 0.0f};
    table[param::bypass] = {"Bypass", ParameterEffect::bypass, 0.0f};
    table[param::muteDry] = {"Mute Dry", ParameterEffect::muteDry, 0.0f};
    table[param::autogain] = {"Autogain", ParameterEffect::autogain, 1.0f};
    table[param::fileChecksum] = {"CheckSumDoNotTouch", ParameterEffect::fileChecksum, 0.0f};
    for (int i = param::fileNameFirst; i <= param::fileNameLast; ++i)
        table[static_cast<std::size_t>(i)] = {"FileNameDoNotTouch", ParameterEffect::fileName, 0.0f};
    return table;
}

constexpr std::array<ParameterInfo, parameterCount> table = makeTable();

} // namespace

const ParameterInfo& parameterInfo(std::int32_t index)
{
    if (index < 0 || index >= parameterCount)
        return reserved;
    return table[static_cast<std::size_t>(index)];
}

} // namespace tam
