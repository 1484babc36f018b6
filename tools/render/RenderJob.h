// One render of tam-render, from the checked files to the renamed output,
// and the --info report. Runs on the program's only thread; the plug-in is
// driven through its effect record alone (tam_core is linked for the WAV
// reader and the file-name encoding, never for the audio path).
#pragma once

#include "render/RenderOptions.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tam::render {

struct RenderSummary
{
    std::string outputPath;
    std::int64_t frames = 0;
    int sampleRate = 0;
    tools::SampleFormat format = tools::SampleFormat::float32;
    float peak = 0.0f;                ///< largest output magnitude before conversion
    std::uint64_t clampedSamples = 0; ///< PCM samples beyond full scale
    double cpuSeconds = 0.0;          ///< process CPU time of the processing loop
    std::int64_t latency = 0;         ///< samples the plug-in declared and the render removed
    std::int64_t tailFrames = 0;      ///< frames rendered after the input ended

    bool clipped() const { return peak > 1.0f || clampedSamples > 0; }
    double seconds() const { return sampleRate > 0 ? static_cast<double>(frames) / sampleRate : 0.0; }
};

/// Which module to load: --plugin, else $TAM_PLUGIN, else the module next to
/// the running program (`programPath` is argv[0], a fallback for systems
/// without /proc).
std::string resolvePluginPath(const std::string& option, const std::string& programPath);

/// Renders options.inputPath into options.outputPath. `stop` is polled
/// between host blocks (set by SIGINT/SIGTERM). Notes go to `notes` unless
/// quiet. Throws RenderError.
RenderSummary runRender(const RenderOptions& options, const std::string& pluginPath, const std::atomic<bool>& stop,
                        std::FILE* notes);

/// The one-line summary printed after a render.
std::string summaryLine(const RenderSummary& summary);

/// Prints what a host sees of the plug-in (after loading --ir, if given).
/// Throws RenderError.
void printInfo(const RenderOptions& options, const std::string& pluginPath, std::FILE* out);

} // namespace tam::render
