#include "render/RenderJob.h"

#include "host/HostedEffect.h"
#include "core/FileNameCodec.h"
#include "impulse/WaveReader.h"
#include "render/FileNameTransfer.h"
#include "render/Progress.h"
#include "render/RenderErrors.h"
#include "render/ReverbTail.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace tam::render {

namespace {

constexpr int infoDefaultRate = 44100;

#if defined(_WIN32)
constexpr const char* moduleFileName = "tam.dll";
#else
constexpr const char* moduleFileName = "tam.so";
#endif

struct WaveData
{
    std::vector<float> samples; ///< interleaved
    int rate = 0;
    int channels = 0;
    std::int64_t frames = 0;
};

/// Reads a WAV file with the plug-in's own reader, so the user sees the same
/// numbered messages the plug-in would give.
WaveData readWave(const std::string& path, const std::string& role, ExitCode failure)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw RenderError(failure, role + " " + path + ": no such file");
    if (std::filesystem::is_directory(path, error))
        throw RenderError(failure, role + " " + path + ": is a folder, not a WAV file");
    WaveData wave;
    std::int32_t rate = 0;
    std::int32_t channels = 0;
    std::int32_t count = 0;
    try
    {
        wave.samples = ReadWaveFile(path, rate, channels, count);
    }
    catch (const WaveError& e)
    {
        throw RenderError(failure, role + " " + path + ": " + e.what());
    }
    catch (const std::bad_alloc&)
    {
        throw RenderError(failure, role + " " + path + ": not enough memory to read it");
    }
    wave.rate = rate;
    wave.channels = channels;
    wave.frames = channels > 0 ? count / channels : 0;
    if (wave.frames <= 0 || channels < 1 || channels > 2)
        throw RenderError(failure, role + " " + path + ": only mono and stereo files with samples can be used");
    return wave;
}

double processCpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

/// The plug-in, loaded and checked to be the two-in, two-out effect with
/// the parameter table tam-render knows.
struct LoadedPlugin
{
    // Declared in this order so the instance is closed before its module goes.
    std::unique_ptr<host::PluginLibrary> library;
    std::unique_ptr<host::HostedEffect> effect;
};

LoadedPlugin loadPlugin(const std::string& path, float rate, int blockSize)
{
    LoadedPlugin plugin;
    try
    {
        plugin.library = std::make_unique<host::PluginLibrary>(path);
        plugin.effect = std::make_unique<host::HostedEffect>(*plugin.library, rate, blockSize);
    }
    catch (const host::HostError& e)
    {
        throw RenderError(ExitCode::pluginFailure, e.what());
    }
    const vst::AEffect& fx = plugin.effect->record();
    if (fx.numInputs != 2 || fx.numOutputs != 2 || fx.numParams < parameterCount)
        throw RenderError(ExitCode::pluginFailure,
                          "the plug-in " + path + " is not the TAM reverb (" + std::to_string(fx.numInputs) +
                              " inputs, " + std::to_string(fx.numOutputs) + " outputs, " +
                              std::to_string(fx.numParams) + " parameters)");
    return plugin;
}

NameValues readNameValues(host::HostedEffect& fx)
{
    NameValues values{};
    for (int i = 0; i < fileNameValueCount; ++i)
        values[static_cast<std::size_t>(i)] = fx.getParameter(param::fileNameFirst + i);
    return values;
}

/// Sets every parameter in index order, the response's name included, as a
/// host restoring a project does; the plug-in loads the response itself
/// (unless it holds that very file already, as its default file).
void restoreState(host::HostedEffect& fx, const std::map<int, float>& overrides, const std::string& responsePath,
                  const std::string& displayName)
{
    std::array<float, parameterCount> state{};
    for (int i = 0; i < parameterCount; ++i)
        state[static_cast<std::size_t>(i)] = fx.getParameter(i);
    for (const auto& [index, value] : overrides)
        state[static_cast<std::size_t>(index)] = value;

    const std::string nameInPlugin = decodeFileName(readNameValues(fx));
    const std::string& sent = responsePath;
    const auto values = fileNameToValues(sent);
    state[param::fileChecksum] = fileNameChecksum(sent);
    for (int i = 0; i < fileNameValueCount; ++i)
        state[static_cast<std::size_t>(param::fileNameFirst + i)] = values[static_cast<std::size_t>(i)];

    LoadWatch watch(sent, readNameValues(fx));
    for (int i = 0; i < parameterCount; ++i)
    {
        const float value = state[static_cast<std::size_t>(i)];
        fx.setParameter(i, value);
        if (i >= param::fileChecksum)
            watch.afterSet(i, value, readNameValues(fx));
    }
    if (sent != nameInPlugin && watch.outcome() == LoadWatch::Outcome::notLoaded)
        throw RenderError(ExitCode::pluginFailure, "the plug-in did not load the response " + displayName);
}

/// The files of a render, read and checked before anything is written.
struct RenderSources
{
    WaveData response;
    std::string responsePath; ///< as the file-name parameters carry it
    WaveData input;
    int rate = 0; ///< the host rate
};

RenderSources readSources(const RenderOptions& options, const std::function<void(const std::string&)>& note)
{
    RenderSources sources;
    // The response first, so its numbered message is what the user sees.
    sources.response = readWave(options.responsePath, "response", ExitCode::badResponse);
    sources.responsePath = transferablePath(options.responsePath);
    if (sources.response.frames > maxResponseFileFrames)
        note("the plug-in uses the first " + std::to_string(maxResponseFileFrames) + " of the response's " +
             std::to_string(sources.response.frames) + " frames");

    sources.input = readWave(options.inputPath, "input", ExitCode::badInput);
    const int inputRate = sources.input.rate;
    // The input's own rate becomes the host rate: it passes the check --rate does.
    if (inputRate < minSampleRate || inputRate > maxSampleRate)
        throw RenderError(ExitCode::badInput, "input " + options.inputPath + " is at " + std::to_string(inputRate) +
                                                  " Hz; the host rate must be from " + std::to_string(minSampleRate) +
                                                  " to " + std::to_string(maxSampleRate) + " Hz");
    sources.rate = options.sampleRate.value_or(inputRate);
    if (inputRate != sources.rate)
        throw RenderError(ExitCode::badInput, "input " + options.inputPath + " is at " + std::to_string(inputRate) +
                                                  " Hz, not the host rate " + std::to_string(sources.rate) +
                                                  " Hz; tam-render does not resample: convert the input first "
                                                  "(or leave out --rate)");

    std::error_code sameError;
    for (const auto& [path, role] : {std::pair{options.inputPath, "input"}, {options.responsePath, "response"}})
    {
        if (std::filesystem::equivalent(options.outputPath, path, sameError))
            throw RenderError(ExitCode::outputFailure, "output " + options.outputPath + " is the " + role +
                                                           " file; choose another name");
    }
    return sources;
}

/// Runs a step on the output file; its failure is the render's.
template <class Step>
auto writing(Step step)
{
    try
    {
        return step();
    }
    catch (const tools::WaveWriteError& e)
    {
        throw RenderError(ExitCode::outputFailure, e.what());
    }
}

/// How long the output rings on after the input, from the response and the
/// shaping the plug-in now holds.
TailLength tailOf(host::HostedEffect& fx, const WaveData& response, int rate)
{
    TailInputs shape;
    shape.responseFrames = response.frames;
    shape.responseRate = response.rate;
    shape.hostRate = rate;
    shape.stretch = fx.getParameter(param::stretch);
    shape.length = fx.getParameter(param::length);
    shape.reverse = fx.getParameter(param::reverse);
    shape.predelay = fx.getParameter(param::predelay);
    return reverbTail(shape);
}

/// One host block of the input from `position` on, silence past its end;
/// a mono input feeds both channels.
void fillInputBlock(const WaveData& input, std::int64_t position, std::size_t frames, float* left, float* right)
{
    const auto channels = static_cast<std::size_t>(input.channels);
    for (std::size_t i = 0; i < frames; ++i)
    {
        const std::int64_t source = position + static_cast<std::int64_t>(i);
        if (source < input.frames)
        {
            const auto at = static_cast<std::size_t>(source) * channels;
            left[i] = input.samples[at];
            right[i] = input.samples[at + channels - 1];
        }
        else
        {
            left[i] = 0.0f;
            right[i] = 0.0f;
        }
    }
}

/// Runs the input and the tail through the effect in host blocks and writes
/// the output without the declared latency; fills in the peak and the CPU time.
void processAll(host::HostedEffect& fx, const WaveData& input, const RenderOptions& options,
                const std::atomic<bool>& stop, tools::WaveFileWriter& writer, RenderSummary& summary)
{
    const std::int64_t processFrames = summary.frames + summary.latency;
    const auto block = static_cast<std::size_t>(options.blockSize);
    std::vector<float> inL(block), inR(block), outL(block), outR(block), interleaved(2 * block);
    float* inputs[2] = {inL.data(), inR.data()};
    float* outputs[2] = {outL.data(), outR.data()};
    Progress progress(processFrames, summary.sampleRate, !options.quiet && Progress::stderrIsTerminal());

    const double cpuStart = processCpuSeconds();
    fx.resume();
    for (std::int64_t position = 0; position < processFrames;)
    {
        const auto frames = static_cast<std::size_t>(std::min<std::int64_t>(options.blockSize, processFrames - position));
        fillInputBlock(input, position, frames, inL.data(), inR.data());
        fx.process(inputs, outputs, static_cast<int>(frames));

        // Drop the declared latency: output frame 0 is the answer to input frame 0.
        const auto skip = static_cast<std::size_t>(std::clamp<std::int64_t>(summary.latency - position, 0,
                                                                             static_cast<std::int64_t>(frames)));
        std::size_t count = 0;
        for (std::size_t i = skip; i < frames; ++i, ++count)
        {
            interleaved[2 * count] = outL[i];
            interleaved[2 * count + 1] = outR[i];
            summary.peak = std::max({summary.peak, std::fabs(outL[i]), std::fabs(outR[i])});
        }
        writing([&] { writer.write(interleaved.data(), count); });
        position += static_cast<std::int64_t>(frames);
        progress.update(position);
        if (stop.load(std::memory_order_relaxed))
            throw RenderError(ExitCode::interrupted, "interrupted; no output written");
    }
    fx.suspend();
    summary.cpuSeconds = processCpuSeconds() - cpuStart;
    progress.clear();
}

std::string decibels(float amplitude)
{
    if (amplitude <= 0.0f)
        return "-inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dBFS", 20.0 * std::log10(static_cast<double>(amplitude)));
    return text;
}

} // namespace

std::string resolvePluginPath(const std::string& option, const std::string& programPath)
{
    if (!option.empty())
        return option;
    if (const char* fromEnvironment = std::getenv("TAM_PLUGIN"); fromEnvironment != nullptr && *fromEnvironment)
        return fromEnvironment;
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        program = std::filesystem::absolute(programPath, error);
    return (program.parent_path() / moduleFileName).string();
}

RenderSummary runRender(const RenderOptions& options, const std::string& pluginPath, const std::atomic<bool>& stop,
                        std::FILE* notes)
{
    const auto note = [&](const std::string& text) {
        if (!options.quiet && notes != nullptr)
            std::fprintf(notes, "tam-render: %s\n", text.c_str());
    };
    const RenderSources sources = readSources(options, note);
    const int rate = sources.rate;
    const auto writer = writing([&]
                                { return std::make_unique<tools::WaveFileWriter>(options.outputPath, rate, 2,
                                                                                  options.format); });

    LoadedPlugin plugin = loadPlugin(pluginPath, static_cast<float>(rate), options.blockSize);
    host::HostedEffect& fx = *plugin.effect;
    restoreState(fx, options.parameters, sources.responsePath, options.responsePath);
    const TailLength tail = tailOf(fx, sources.response, rate);

    RenderSummary summary;
    summary.outputPath = options.outputPath;
    summary.sampleRate = rate;
    summary.format = options.format;
    summary.latency = std::max<std::int64_t>(fx.latency(), 0);
    summary.tailFrames = tail.total();
    summary.frames = sources.input.frames + tail.total();
    processAll(fx, sources.input, options, stop, *writer, summary);

    summary.clampedSamples = writer->clippedSamples();
    writing([&] { writer->finish(); });
    return summary;
}

std::string summaryLine(const RenderSummary& s)
{
    std::string clipText = "no clipping";
    if (s.clampedSamples > 0)
        clipText = "CLIPPED (" + std::to_string(s.clampedSamples) + " samples clamped)";
    else if (s.peak > 1.0f)
        clipText = "CLIPPED (above full scale; kept in the float file)";
    const double audio = s.seconds();
    const double factor = audio > 0.0 ? s.cpuSeconds / audio : 0.0;
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s: %.2f s stereo, %d Hz, %s; peak %s (%.3f), %s; CPU %.2f s, real-time factor %.3f",
                  s.outputPath.c_str(), audio, s.sampleRate, tools::formatName(s.format), decibels(s.peak).c_str(),
                  static_cast<double>(s.peak), clipText.c_str(), s.cpuSeconds, factor);
    std::string line = text;
    if (factor > 0.0)
    {
        std::snprintf(text, sizeof text, " (%.0fx faster than real time)", 1.0 / factor);
        line += text;
    }
    return line;
}

void printInfo(const RenderOptions& options, const std::string& pluginPath, std::FILE* out)
{
    std::string responsePath;
    if (!options.responsePath.empty())
    {
        readWave(options.responsePath, "response", ExitCode::badResponse);
        responsePath = transferablePath(options.responsePath);
    }
    const int rate = options.sampleRate.value_or(infoDefaultRate);
    LoadedPlugin plugin = loadPlugin(pluginPath, static_cast<float>(rate), options.blockSize);
    host::HostedEffect& fx = *plugin.effect;
    if (!responsePath.empty())
        restoreState(fx, options.parameters, responsePath, options.responsePath);
    else
        for (const auto& [index, value] : options.parameters)
            fx.setParameter(index, value);

    const vst::AEffect& record = fx.record();
    const auto id = static_cast<std::uint32_t>(record.uniqueID);
    char idText[5] = {};
    for (int i = 0; i < 4; ++i)
    {
        const auto c = static_cast<char>((id >> (24 - 8 * i)) & 0xFFu);
        idText[i] = (c >= 32 && c < 127) ? c : '?';
    }
    std::string flags;
    const std::pair<int, const char*> flagNames[] = {
        {vst::effFlagsHasEditor, "editor"},         {vst::effFlagsHasClip, "clip"},
        {vst::effFlagsHasVu, "vu"},                 {vst::effFlagsCanMono, "can-mono"},
        {vst::effFlagsCanReplacing, "replacing"},   {vst::effFlagsProgramChunks, "chunks"},
        {vst::effFlagsIsSynth, "synth"},            {vst::effFlagsNoSoundInStop, "no-sound-in-stop"},
    };
    for (const auto& [bit, name] : flagNames)
    {
        if ((record.flags & bit) != 0)
            flags += flags.empty() ? name : std::string(", ") + name;
    }

    std::fprintf(out, "plug-in       %s\n", pluginPath.c_str());
    std::fprintf(out, "effect        %s\n", fx.text(vst::effGetEffectName).c_str());
    std::fprintf(out, "product       %s\n", fx.text(vst::effGetProductString).c_str());
    std::fprintf(out, "vendor        %s\n", fx.text(vst::effGetVendorString).c_str());
    std::fprintf(out, "version       %d (vendor version %ld, VST version %ld)\n", record.version,
                 static_cast<long>(fx.dispatch(vst::effGetVendorVersion)),
                 static_cast<long>(fx.dispatch(vst::effGetVstVersion)));
    std::fprintf(out, "unique id     0x%08X '%s'\n", static_cast<unsigned>(id), idText);
    std::fprintf(out, "latency       %d samples (%.1f ms at %d Hz)\n", record.initialDelay,
                 1000.0 * record.initialDelay / rate, rate);
    std::fprintf(out, "inputs        %d\n", record.numInputs);
    std::fprintf(out, "outputs       %d\n", record.numOutputs);
    std::fprintf(out, "flags         0x%X (%s)\n", static_cast<unsigned>(record.flags), flags.c_str());
    std::fprintf(out, "programs      %d (current: %s)\n", record.numPrograms,
                 fx.text(vst::effGetProgramName).c_str());
    std::fprintf(out, "parameters    %d\n", record.numParams);
    const std::string carried = decodeFileName(readNameValues(fx));
    std::fprintf(out, "response      %s\n", carried.empty() ? "(none)" : carried.c_str());
    std::fprintf(out, "\n%5s  %-24s %-10s %-10s %s\n", "index", "name", "value", "display", "label");
    for (int i = 0; i < record.numParams; ++i)
    {
        std::fprintf(out, "%5d  %-24s %-10.6f %-10s %s\n", i, fx.text(vst::effGetParamName, i).c_str(),
                     static_cast<double>(fx.getParameter(i)), fx.text(vst::effGetParamDisplay, i).c_str(),
                     fx.text(vst::effGetParamLabel, i).c_str());
    }
}

} // namespace tam::render
