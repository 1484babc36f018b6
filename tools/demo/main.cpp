// tam-demo-material: writes the built-in demo material (hall.wav, the
// impulse response, and phrase.wav, the dry signal) into a folder.
#include "demo/DemoMaterial.h"
#include "wav/WaveFileWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

namespace {

constexpr int usageExit = 2;
constexpr int writeExit = 6;

void save(const tam::demo::StereoSound& sound, const std::filesystem::path& path)
{
    tam::tools::writeWaveFile(path.string(), sound.sampleRate, 2, sound.interleaved);
    std::printf("wrote %s (%.2f s stereo, %d Hz, 32-bit float)\n", path.string().c_str(),
                static_cast<double>(sound.frames()) / sound.sampleRate, sound.sampleRate);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")
    {
        std::fprintf(stderr, "Usage: tam-demo-material FOLDER\n"
                             "Writes FOLDER/hall.wav (a generated stereo hall impulse response, 2.5 s) and\n"
                             "FOLDER/phrase.wav (a generated dry phrase, 4 s), both 44100 Hz 32-bit float.\n"
                             "The material is the same on every run.\n");
        return argc == 2 ? 0 : usageExit;
    }
    try
    {
        const std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        save(tam::demo::makeHallResponse(), folder / "hall.wav");
        save(tam::demo::makeDryPhrase(), folder / "phrase.wav");
        return 0;
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "tam-demo-material: %s\n", e.what());
        return writeExit;
    }
}
