// One fixed input through one fixed response, rendered by the plug-in module
// as a host drives it, so the Linux and the Windows module can be compared:
// with TAM_RENDER_OUT set the rendering is written there as raw 32-bit floats
// (left and right interleaved, little-endian); with TAM_RENDER_REFERENCE set
// it is compared with the rendering found there. scripts/test-windows writes
// with the Windows module and compares with the Linux one.
#include "support/FileNameParameters.h"
#include "support/PluginHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace tam;
using namespace tam::test;

namespace {

constexpr int responseFrames = 20000; ///< three partitions
constexpr int inputFrames = 30000;
constexpr int renderFrames = 8960 + responseFrames + inputFrames;
constexpr int blockSize = 512;

/// Integer noise scaled by powers of two only, so that every platform's
/// floats are the same bits whatever its maths library does.
class Noise
{
public:
    explicit Noise(std::uint32_t seed) : state(seed) {}
    float next(int fadeStep, int fadeSteps)
    {
        state = state * 1664525u + 1013904223u;
        const std::int32_t v = static_cast<std::int32_t>(state >> 16) - 32768;
        return static_cast<float>(v * (fadeSteps - fadeStep) / fadeSteps) / 32768.0f;
    }

private:
    std::uint32_t state;
};

std::vector<float> render()
{
    TempDir dir;
    SettingsSandbox settings(dir);
    std::vector<float> response;
    Noise responseNoise(7);
    for (int i = 0; i < responseFrames; ++i)
        for (int c = 0; c < 2; ++c)
            response.push_back(responseNoise.next(i, responseFrames) * (c == 0 ? 0.5f : 0.25f));
    const std::string path = dir.file("render.wav");
    writeFloatWav(path, 44100, 2, response);

    static const PluginModule module(pluginPath());
    PluginHost host(module);
    host.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.dispatch(vst::effSetBlockSize, 0, blockSize);
    host.dispatch(vst::effMainsChanged, 0, 1);
    // Default levels (dry, wet, auto gain on) and the file by its name.
    sendFileName(host, path);

    std::vector<float> left(renderFrames, 0.0f), right(renderFrames, 0.0f);
    Noise inputNoise(11);
    for (int i = 0; i < inputFrames; ++i)
    {
        left[static_cast<std::size_t>(i)] = inputNoise.next(0, 1) * 0.5f;
        right[static_cast<std::size_t>(i)] = inputNoise.next(0, 1) * 0.5f;
    }
    host.run(left, right, blockSize);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < left.size(); ++i)
    {
        interleaved.push_back(left[i]);
        interleaved.push_back(right[i]);
    }
    return interleaved;
}

} // namespace

TEST(CrossPlatformRender, WritesOrMatchesTheOtherModulesRendering)
{
    const char* out = std::getenv("TAM_RENDER_OUT");
    const char* reference = std::getenv("TAM_RENDER_REFERENCE");
    const bool writing = out != nullptr && *out != '\0';
    const bool comparing = reference != nullptr && *reference != '\0';
    if (!writing && !comparing)
        GTEST_SKIP() << "neither TAM_RENDER_OUT nor TAM_RENDER_REFERENCE is set";

    const std::vector<float> ours = render();
    double peak = 0.0;
    for (const float v : ours)
        peak = std::max(peak, std::fabs(static_cast<double>(v)));
    ASSERT_GT(peak, 0.1) << "dry and reverberated signal are heard";
    if (writing)
    {
        std::ofstream file(out, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(ours.data()), static_cast<std::streamsize>(ours.size() * 4));
        ASSERT_TRUE(file.good()) << out;
    }
    if (comparing)
    {
        std::ifstream file(reference, std::ios::binary);
        std::vector<float> theirs(ours.size() + 1, 0.0f);
        file.read(reinterpret_cast<char*>(theirs.data()), static_cast<std::streamsize>(theirs.size() * 4));
        ASSERT_EQ(static_cast<std::size_t>(file.gcount()), ours.size() * 4) << "length of " << reference;
        double worst = 0.0;
        std::size_t worstAt = 0;
        for (std::size_t i = 0; i < ours.size(); ++i)
        {
            const double difference = std::fabs(static_cast<double>(ours[i]) - theirs[i]);
            if (difference > worst)
            {
                worst = difference;
                worstAt = i;
            }
        }
        std::printf("largest difference between the modules: %.3g at frame %zu (peak %.3f)\n", worst, worstAt / 2,
                    peak);
        // Single precision: a few units in the last place of the output's
        // peak, the spread that summing partition products in another order
        // or a last-bit difference in a maths-library twiddle factor leaves.
        EXPECT_LE(worst, 8.0 * peak * 1.2e-7);
    }
}
