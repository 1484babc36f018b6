// The editor's waveform area: a full repaint from the cached peak columns
// (what every expose and preview release costs) and a response change (one
// walk over every sample to rebuild the columns, then the repaint), for a
// 20 s stereo response at 44.1 kHz. Drawing goes to an off-screen canvas.
#include "BenchSupport.h"
#include "wav/WaveFileWriter.h"
#include "editor/Canvas.h"
#include "editor/ResponseDisplay.h"
#include "impulse/TWAVfile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

namespace {

constexpr int rate = 44100;
constexpr std::size_t twentySeconds = 20 * rate;
constexpr tam::WaveformGeometry area{533, 89};

struct Shaped
{
    std::string folder = tam::bench::makeTemporaryFolder("tam-bench-editor-");
    tam::PartitionHandover handover;
    std::unique_ptr<tam::TWAVfile> store = std::make_unique<tam::TWAVfile>(handover.writer());

    Shaped()
    {
        const std::string path = folder + "/20s.wav";
        tam::tools::writeWaveFile(path, rate, 2, tam::bench::decayingStereoNoise(twentySeconds, 800000.0, 0, 5, 0.5f));
        bool tooLong = false, clipped = false;
        std::string error;
        if (!store->loadFromFile(path, rate, tooLong, clipped, error))
            throw std::runtime_error(error);
        // Envelope 0.4: the overlay is drawn as well.
        tam::ShapingInputs inputs;
        inputs.envelope = 0.4f;
        store->calculateDestWave(inputs);
    }
    ~Shaped()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

const Shaped& shaped()
{
    static const Shaped response;
    return response;
}

void BM_WaveformRepaint20sStereo(benchmark::State& state)
{
    const tam::ResponseSnapshot snapshot = tam::takeSnapshot(*shaped().store, area);
    auto canvas = tam::createCanvas(area.width, area.height);
    for (auto _ : state)
    {
        canvas->fillRect({0, 0, area.width, area.height}, tam::rgb(38, 38, 78));
        tam::drawWaveform(*canvas, snapshot);
        benchmark::DoNotOptimize(canvas->pixel({0, 0}));
    }
}
BENCHMARK(BM_WaveformRepaint20sStereo)->Unit(benchmark::kMicrosecond);

void BM_WaveformGenerationChange20sStereo(benchmark::State& state)
{
    auto canvas = tam::createCanvas(area.width, area.height);
    for (auto _ : state)
    {
        const tam::ResponseSnapshot snapshot = tam::takeSnapshot(*shaped().store, area);
        tam::drawWaveform(*canvas, snapshot);
        benchmark::DoNotOptimize(canvas->pixel({0, 0}));
    }
}
BENCHMARK(BM_WaveformGenerationChange20sStereo)->Unit(benchmark::kMicrosecond);

} // namespace
