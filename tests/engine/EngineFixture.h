// A convolution engine wired to a hand-made response: the tests build
// partition sets straight from impulse responses, without the shaping of
// the store, so the expected output is an exact linear convolution.
#pragma once

#include "engine/ConvolutionEngine.h"
#include "engine/Kernel.h"
#include "engine/PartitionSet.h"
#include "engine/PartitionTransform.h"
#include "engine/TMemman.h"

#include <atomic>
#include <memory>
#include <vector>

namespace tam::test {

struct Stereo
{
    std::vector<float> left;
    std::vector<float> right;
    explicit Stereo(std::size_t frames = 0) : left(frames, 0.0f), right(frames, 0.0f) {}
    std::size_t size() const { return left.size(); }
};

class EngineFixture
{
public:
    EngineFixture()
    {
        // Unity wet gain (every response carries an auto gain of 1), no dry.
        controls.dry.store(0.0f);
        controls.wet.store(1.0f);
        controls.autogain.store(1.0f);
        engine = std::make_unique<ConvolutionEngine>(memman, controls);
        engine->setSuspended(false);
    }

    /// Offers a set holding the given response (channel 1 left, channel 2
    /// right), as the store does.
    void offerResponse(const std::vector<float>& irLeft, const std::vector<float>& irRight, bool atOnce = false)
    {
        PartitionWriter writer = engine->partitionWriter();
        PartitionSet& set = *writer.beginWrite();
        const std::size_t length = std::max(irLeft.size(), irRight.size());
        const int count = static_cast<int>((length + partitionLength - 1) / partitionLength);
        std::vector<float> left(irLeft), right(irRight);
        left.resize(length);
        right.resize(length);
        std::vector<float> block(spectrumFloats);
        FftTables fft;
        for (int p = 0; p < count; ++p)
        {
            if (set.allocated <= p)
            {
                set.partitions[p] = static_cast<float*>(memman.alloc(spectrumFloats * sizeof(float), "test"));
                set.allocated = p + 1;
            }
            packPartition(left.data(), right.data(), static_cast<std::ptrdiff_t>(p) * partitionLength,
                          static_cast<std::ptrdiff_t>(length), block.data());
            partitionSpectrum(block.data(), set.partitions[p], fft);
        }
        set.partitionCount = count;
        set.autoGain = 1.0f;
        writer.offer(&set, atOnce);
        engine->requestAutogainSelection();
    }

    /// Off and on again, as a host does: the gains jump to the current
    /// targets (no fade) and the convolution state and history are cleared.
    void restart()
    {
        engine->setSuspended(true);
        engine->setSuspended(false);
    }

    void run(Stereo& io, int blockSize, ConvolutionEngine::Mode mode = ConvolutionEngine::Mode::replace)
    {
        for (std::size_t start = 0; start < io.size(); start += static_cast<std::size_t>(blockSize))
        {
            const int frames = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(blockSize),
                                                                       io.size() - start));
            const float* in[2] = {io.left.data() + start, io.right.data() + start};
            float* out[2] = {io.left.data() + start, io.right.data() + start};
            engine->process(in, out, frames, mode);
        }
    }

    TMemman memman;
    EngineControls controls;
    std::unique_ptr<ConvolutionEngine> engine;
};

/// y[n] = sum_k x[k] h[n - k] in double precision, for n < outputLength.
inline std::vector<double> directConvolution(const std::vector<float>& x, const std::vector<float>& h,
                                             std::size_t outputLength)
{
    std::vector<double> y(outputLength, 0.0);
    for (std::size_t k = 0; k < x.size(); ++k)
    {
        if (x[k] == 0.0f)
            continue;
        for (std::size_t j = 0; j < h.size() && k + j < outputLength; ++j)
            y[k + j] += static_cast<double>(x[k]) * static_cast<double>(h[j]);
    }
    return y;
}

} // namespace tam::test
