#include "render/RenderOptions.h"

#include "core/Parameters.h"
#include "impulse/EqCurve.h"
#include "render/RenderErrors.h"

#include <charconv>
#include <cmath>

namespace tam::render {

namespace {

/// Parameters from the checksum on carry the response's file name: --ir's.
constexpr int lastSettable = param::fileChecksum - 1;

[[noreturn]] void usageError(const std::string& message)
{
    throw RenderError(ExitCode::usage, message + " (see tam-render --help)");
}

std::optional<double> parseNumber(const std::string& text)
{
    double value = 0.0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long> parseInteger(const std::string& text)
{
    long value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last)
        return std::nullopt;
    return value;
}

float unitValue(const std::string& option, const std::string& text)
{
    const auto value = parseNumber(text);
    if (!value || *value < 0.0 || *value > 1.0)
        usageError(option + " takes a value from 0 to 1, not '" + text + "'");
    return static_cast<float>(*value);
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// Stretch as a value (0..1, 0.5 = unchanged) or as a percentage of the
/// response's length (50%..150%).
float stretchValue(const std::string& text)
{
    if (endsWith(text, "%"))
    {
        const auto percent = parseNumber(text.substr(0, text.size() - 1));
        if (!percent || *percent < 50.0 || *percent > 150.0)
            usageError("--stretch takes 50% to 150%, not '" + text + "'");
        return static_cast<float>(*percent / 100.0 - 0.5);
    }
    return unitValue("--stretch", text);
}

} // namespace

std::optional<float> parseEqPosition(const std::string& text)
{
    double frequency = 0.0;
    if (endsWith(text, "kHz") || endsWith(text, "khz"))
    {
        const auto k = parseNumber(text.substr(0, text.size() - 3));
        if (!k)
            return std::nullopt;
        frequency = *k * 1000.0;
    }
    else if (endsWith(text, "Hz") || endsWith(text, "hz"))
    {
        const auto hz = parseNumber(text.substr(0, text.size() - 2));
        if (!hz)
            return std::nullopt;
        frequency = *hz;
    }
    else
    {
        const auto value = parseNumber(text);
        if (!value || *value < eqLowestPosition || *value > 1.0)
            return std::nullopt;
        return static_cast<float>(*value);
    }
    if (frequency <= 0.0)
        return std::nullopt;
    const double position = std::log(frequency) / std::log(eqTopHz);
    if (position < eqLowestPosition - 1e-9 || position > 1.0 + 1e-9)
        return std::nullopt;
    return static_cast<float>(std::fmin(std::fmax(position, eqLowestPosition), 1.0));
}

RenderOptions parseCommandLine(const std::vector<std::string>& arguments)
{
    RenderOptions options;
    std::vector<std::string> positional;
    int eqPoints = 0;
    bool formatGiven = false;

    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0)
        {
            const auto equals = name.find('=');
            if (equals != std::string::npos)
            {
                inlineValue = name.substr(equals + 1);
                name.resize(equals);
            }
        }
        const auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= arguments.size())
                usageError(name + " needs a value");
            return arguments[++i];
        };
        const auto flag = [&] {
            if (inlineValue)
                usageError(name + " takes no value");
        };
        const auto setFormat = [&](tools::SampleFormat format) {
            flag();
            if (formatGiven && options.format != format)
                usageError("choose one output format: --float, --pcm24 or --pcm16");
            formatGiven = true;
            options.format = format;
        };
        const auto unit = [&](int parameter) { options.parameters[parameter] = unitValue(name, value()); };

        if (name == "--help" || name == "-h")
            options.help = true;
        else if (name == "--info")
            options.info = true;
        else if (name == "--quiet" || name == "-q")
            options.quiet = true;
        else if (name == "--ir" || name == "--response")
            options.responsePath = value();
        else if (name == "--plugin")
            options.pluginPath = value();
        else if (name == "--dry")
            unit(param::dry);
        else if (name == "--wet")
            unit(param::wet);
        else if (name == "--envelope")
            unit(param::envelope);
        else if (name == "--length")
            unit(param::length);
        else if (name == "--attack-time")
            unit(param::attackTime);
        else if (name == "--attack-level")
            unit(param::attackLevel);
        else if (name == "--stereo")
            unit(param::stereo);
        else if (name == "--routing")
            unit(param::stereoRouting);
        else if (name == "--stretch")
            options.parameters[param::stretch] = stretchValue(value());
        else if (name == "--reverse")
        {
            flag();
            options.parameters[param::reverse] = 1.0f;
        }
        else if (name == "--add12db")
        {
            flag();
            options.parameters[param::add12dB] = 1.0f;
        }
        else if (name == "--predelay-ms")
        {
            const std::string text = value();
            const auto ms = parseNumber(text);
            if (!ms || *ms < 0.0 || *ms > maxPredelayMs)
                usageError("--predelay-ms takes 0 to 300 (milliseconds), not '" + text + "'");
            options.parameters[param::predelay] = static_cast<float>(*ms / maxPredelayMs);
        }
        else if (name == "--autogain")
        {
            const std::string text = value();
            if (text != "on" && text != "off")
                usageError("--autogain takes on or off, not '" + text + "'");
            options.parameters[param::autogain] = text == "on" ? 1.0f : 0.0f;
        }
        else if (name == "--eq")
        {
            const std::string text = value();
            if (eqPoints == eqPointCount)
                usageError("at most 8 --eq points");
            const auto colon = text.find(':');
            if (colon == std::string::npos)
                usageError("--eq takes POSITION:GAIN, not '" + text + "'");
            const auto position = parseEqPosition(text.substr(0, colon));
            if (!position)
                usageError("--eq position '" + text.substr(0, colon) +
                           "' must be a value from 0.4 to 1 or a frequency from 55Hz to 22kHz");
            const float gain = unitValue("--eq gain", text.substr(colon + 1));
            options.parameters[param::eqFirst + 2 * eqPoints] = *position;
            options.parameters[param::eqFirst + 2 * eqPoints + 1] = gain;
            ++eqPoints;
        }
        else if (name == "--param")
        {
            const std::string text = value();
            const auto equals = text.find('=');
            const auto parameter = equals == std::string::npos ? std::nullopt : parseInteger(text.substr(0, equals));
            if (!parameter)
                usageError("--param takes INDEX=VALUE, not '" + text + "'");
            if (*parameter < 0 || *parameter > lastSettable)
                usageError("--param index " + std::to_string(*parameter) +
                           " is not a sound parameter (0 to 44; the file name is set by --ir)");
            options.parameters[static_cast<int>(*parameter)] = unitValue("--param value", text.substr(equals + 1));
        }
        else if (name == "--rate")
        {
            const std::string text = value();
            const auto rate = parseInteger(text);
            if (!rate || *rate < minSampleRate || *rate > maxSampleRate)
                usageError("--rate takes a sample rate in Hz from 1000 to 768000, not '" + text + "'");
            options.sampleRate = static_cast<int>(*rate);
        }
        else if (name == "--block")
        {
            const std::string text = value();
            const auto block = parseInteger(text);
            if (!block || *block < 1 || *block > maxBlockSize)
                usageError("--block takes a block size from 1 to 65536 frames, not '" + text + "'");
            options.blockSize = static_cast<int>(*block);
        }
        else if (name == "--float")
            setFormat(tools::SampleFormat::float32);
        else if (name == "--pcm24")
            setFormat(tools::SampleFormat::pcm24);
        else if (name == "--pcm16")
            setFormat(tools::SampleFormat::pcm16);
        else if (name.size() > 1 && name[0] == '-')
            usageError("unknown option " + name);
        else
            positional.push_back(name);
    }

    if (options.help)
        return options;
    if (options.info)
    {
        if (!positional.empty())
            usageError("--info takes no input or output file");
        return options;
    }
    if (options.responsePath.empty())
        usageError("no response given: --ir RESPONSE.wav");
    if (positional.size() != 2)
        usageError("give one input and one output file");
    options.inputPath = positional[0];
    options.outputPath = positional[1];
    return options;
}

std::string usageText()
{
    return R"(Usage: tam-render --ir RESPONSE.wav [options] INPUT.wav OUTPUT.wav
       tam-render --info [--ir RESPONSE.wav] [--plugin PATH] [--rate HZ]

Renders INPUT.wav through the TAM convolution reverb plug-in, loaded the way a
host loads it, with RESPONSE.wav as its impulse response. The plug-in's
latency is compensated (output sample 0 lines up with input sample 0) and the
reverb tail is rendered completely. Mono input feeds both channels; the output
is stereo at the input's rate.

Sound (values 0..1 are the plug-in's own parameter values):
  --dry V              dry level (default 1)
  --wet V              wet level (default 0.5)
  --autogain on|off    automatic wet gain (default on); off = fixed factor 0.1
  --add12db            raise the wet level by 12 dB
  --predelay-ms MS     pre-delay, 0..300 ms (default 0)
  --stretch V|P%       response length: 0..1 or 50%..150% (default 0.5 = 100%)
  --reverse            reverse the response
  --envelope V         decay envelope depth (default 0)
  --length V           response length cut (default 1 = whole response)
  --attack-time V      attack ramp time, 1 = 300 ms (default 0)
  --attack-level V     attack ramp start level (default 1)
  --stereo V           response stereo width (default 1)
  --routing V          input stereo width, 0 = mono sum (default 1)
  --eq POS:GAIN        EQ point (up to 8 times): POS 0.4..1 or 55Hz..22kHz,
                       GAIN 0..1 (1 = 0 dB)
  --param INDEX=VALUE  any sound parameter by index (0..44)

Host:
  --rate HZ            host sample rate; the input must have it (no
                       resampling). Default: the input's rate
  --block N            host block size in frames (default 512)
  --plugin PATH        plug-in module (default: $TAM_PLUGIN, else the tam.so
                       next to this program)

Output:
  --float              32-bit float WAV (default)
  --pcm24              24-bit PCM WAV, TPDF dither
  --pcm16              16-bit PCM WAV, TPDF dither
  -q, --quiet          no progress bar, no summary
  --info               print what a host sees of the plug-in and exit
  -h, --help           this text

The output is written to a temporary file in the output's folder and renamed
when complete: a failed render leaves no partial output. The plug-in reads
its settings from $XDG_CONFIG_HOME and $XDG_CONFIG_DIRS as in any host.

Exit codes:
  0    rendered (or --help, --info)
  1    unexpected internal error
  2    bad command line
  3    input missing, unreadable, or unusable (rate outside 1000..768000 Hz
       or different from --rate, more than 2 channels)
  4    response missing, unreadable, or its path cannot be passed to the
       plug-in
  5    plug-in cannot be loaded, has no entry, returns no effect, or did not
       load the response
  6    output cannot be written
  130  interrupted (no output written)
)";
}

} // namespace tam::render
