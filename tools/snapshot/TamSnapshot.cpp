// tam-snapshot: builds the editor window over a real plug-in object without
// a display, renders it through the editor's drawing layer and writes a PNG.
//
//   tam-snapshot OUTPUT.png|OUTPUT.ppm [--help] [--setup] [--demo]
//
// A .ppm output is written as raw pixels (binary PPM), the form the Windows
// editor test compares its screen with.
// --help and --setup open the overlay panels; --demo loads a synthetic
// impulse response from a folder of a few more (for the file list), draws an
// EQ curve and plays a second of noise through the plug-in, so that meters
// and the auto-gain readout show live values. Settings are read from
// and written to a temporary folder, never the user's own.
#include "core/APlugin.h"
#include "core/FileNameCodec.h"
#include "editor/APluginEditor.h"
#include "editor/TPluginEditorWindow.h"
#include "impulse/TWAVfile.h"
#include "wav/WaveFileWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{

tam::vst::VstIntPtr TAM_VST_CALL host(tam::vst::AEffect*, tam::vst::VstInt32 opcode, tam::vst::VstInt32,
                                      tam::vst::VstIntPtr, void*, float)
{
    return opcode == tam::vst::audioMasterVersion ? 2400 : 0;
}

/// A stereo hall-like response: decaying noise at 44.1 kHz, as a 32-bit
/// float WAV file.
bool writeDemoResponse(const std::string& path, double seconds = 1.5)
{
    constexpr int rate = 44100;
    const int frames = static_cast<int>(rate * seconds);
    std::vector<float> samples(2 * frames);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.25f);
    for (int i = 0; i < frames; ++i)
    {
        const float decay = std::exp(-static_cast<float>(i) / (0.3f * rate));
        samples[2 * static_cast<std::size_t>(i)] = noise(random) * decay;
        samples[2 * static_cast<std::size_t>(i) + 1] = noise(random) * decay;
    }
    try
    {
        tam::tools::writeWaveFile(path, rate, 2, samples);
        return true;
    }
    catch (const tam::tools::WaveWriteError&)
    {
        return false;
    }
}

void loadThroughParameters(tam::APlugin& plugin, const std::string& path)
{
    const auto values = tam::fileNameToValues(path);
    for (int i = 0; i < tam::fileNameValueCount; ++i)
        plugin.setParameter(tam::param::fileNameFirst + i, values[static_cast<std::size_t>(i)]);
    plugin.setParameter(tam::param::fileChecksum, tam::fileNameChecksum(path));
}

void playNoise(tam::APlugin& plugin, double seconds)
{
    constexpr int block = 512;
    std::vector<float> left(block), right(block), outLeft(block), outRight(block);
    float* inputs[2] = {left.data(), right.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    const int blocks = static_cast<int>(seconds * 44100.0 / block);
    for (int b = 0; b < blocks; ++b)
    {
        for (int i = 0; i < block; ++i)
        {
            left[static_cast<std::size_t>(i)] = noise(random);
            right[static_cast<std::size_t>(i)] = 0.6f * noise(random);
        }
        plugin.processReplacing(inputs, outputs, block);
    }
}

bool savePpm(const tam::Canvas& canvas, const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << canvas.width() << " " << canvas.height() << "\n255\n";
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
        {
            const tam::Color c = canvas.pixel({x, y});
            out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
        }
    return static_cast<bool>(out);
}

int usage()
{
    std::fprintf(stderr, "usage: tam-snapshot OUTPUT.png|OUTPUT.ppm [--help] [--setup] [--demo]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    const std::string output = argv[1];
    bool showHelp = false;
    bool showSetup = false;
    bool demo = false;
    for (int i = 2; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--help") == 0)
            showHelp = true;
        else if (std::strcmp(argv[i], "--setup") == 0)
            showSetup = true;
        else if (std::strcmp(argv[i], "--demo") == 0)
            demo = true;
        else
            return usage();
    }

    namespace fs = std::filesystem;
    const fs::path scratch = fs::temp_directory_path() / ("tam-snapshot-" + std::to_string(std::random_device{}()));
    fs::create_directories(scratch);
    setenv("XDG_CONFIG_HOME", (scratch / "user").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (scratch / "machine").c_str(), 1);

    int status = 0;
    {
        tam::APlugin plugin(&host);
        tam::APluginEditor::attachTo(plugin);
        plugin.setSampleRate(44100.0f);
        plugin.resume();
        if (demo)
        {
            const fs::path library = scratch / "Impulse responses";
            fs::create_directories(library);
            for (const char* name : {"Cathedral.wav", "chamber dark.wav", "Plate bright.WAV", "Room small.wav",
                                     "Spring tank.wav", "Studio live room.wav"})
                writeDemoResponse((library / name).string(), 0.05);
            const std::string response = (library / "Hall large.wav").string();
            if (!writeDemoResponse(response))
            {
                std::fprintf(stderr, "tam-snapshot: cannot write %s\n", response.c_str());
                return 1;
            }
            loadThroughParameters(plugin, response);
            plugin.setParameter(tam::param::autogain, 1.0f);
            plugin.setParameter(tam::param::predelay, 0.1f);
            plugin.setParameter(tam::param::wet, 0.8f);
            plugin.setParameter(tam::param::dry, 0.93f);
            plugin.setParameter(tam::param::envelope, 0.35f);
            // A drawn EQ: low cut, a presence lift, the top rolled off.
            const tam::ParameterValue eq[] = {{16, 0.45f}, {17, 0.35f}, {18, 0.6f}, {19, 0.9f}, {20, 0.8f},
                                              {21, 0.95f}, {22, 0.95f}, {23, 0.4f}};
            plugin.setParameters(eq, tam::Automate::no);
            playNoise(plugin, 1.2);
        }

        tam::TPluginEditorWindow window(plugin);
        window.loadMirror();
        window.showWindow();
        window.updaterTimer();
        if (showHelp)
            window.showHelp(true);
        if (showSetup)
            window.showSetup(true);
        const bool raw = output.size() > 4 && output.compare(output.size() - 4, 4, ".ppm") == 0;
        if (!(raw ? savePpm(window.frame(), output) : window.frame().savePng(output)))
        {
            std::fprintf(stderr, "tam-snapshot: cannot write %s\n", output.c_str());
            status = 1;
        }
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return status;
}
