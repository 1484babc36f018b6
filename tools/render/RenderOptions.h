// The command line of tam-render: what to render, through which plug-in,
// with which parameter values, into which format.
#pragma once

#include "wav/WaveFileWriter.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tam::render {

inline constexpr int defaultBlockSize = 512;
inline constexpr int maxBlockSize = 65536;
inline constexpr int minSampleRate = 1000;
inline constexpr int maxSampleRate = 768000;
inline constexpr double maxPredelayMs = 300.0;
inline constexpr double eqLowestPosition = 0.4; ///< lower positions lie below the curve's useful range
inline constexpr double eqTopHz = 22000.0;      ///< EQ position p is 22000^p Hz

struct RenderOptions
{
    std::string responsePath;
    std::string inputPath;
    std::string outputPath;
    /// Parameter index -> value (0..1) given on the command line; the last
    /// setting of an index wins. Indices 0..44 only: the file name is --ir's.
    std::map<int, float> parameters;
    std::optional<int> sampleRate; ///< --rate; the input's rate when absent
    int blockSize = defaultBlockSize;
    std::string pluginPath; ///< --plugin; empty: $TAM_PLUGIN, else tam.so next to the program
    tools::SampleFormat format = tools::SampleFormat::float32;
    bool quiet = false;
    bool help = false;
    bool info = false;
};

/// Parses the arguments after the program name. Throws RenderError with
/// ExitCode::usage and a message naming the offending argument.
RenderOptions parseCommandLine(const std::vector<std::string>& arguments);

/// The --help text, exit codes included.
std::string usageText();

/// Parameter value of an EQ position given as a value (0.4..1) or as a
/// frequency ("1000Hz", "2.5kHz"); nullopt when it is neither.
std::optional<float> parseEqPosition(const std::string& text);

} // namespace tam::render
