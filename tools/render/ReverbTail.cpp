#include "render/ReverbTail.h"

#include <algorithm>
#include <cmath>

namespace tam::render {

namespace {

// The plug-in's shaping limits (its fixed response capacity and partitions).
constexpr double maxShapedIndex = 960000.0;
constexpr float fullLength = 0.99f; ///< lengths from here on keep the whole response
constexpr double lengthFloor = 0.001001;  ///< what a length of 0 stands for
constexpr double releaseFrames = 100.0;   ///< final fade after the cut
constexpr double partitionSlack = 150.0;  ///< room left in the partitions after the response
constexpr std::int64_t partitionFrames = 8192;
constexpr std::int64_t maxPartitions = 117;
constexpr double maxPredelayMs = 300.0;
constexpr std::int64_t maxPredelayFrames = 16383;

} // namespace

TailLength reverbTail(const TailInputs& in)
{
    TailLength tail;
    if (in.responseFrames <= 0 || in.responseRate <= 0.0 || in.hostRate <= 0.0)
        return tail;

    // Index of the last sample at the host rate (the file's last frame only
    // serves as an interpolation neighbour).
    const auto lastFileFrame = static_cast<double>(std::min(in.responseFrames, maxResponseFileFrames) - 1);
    const double sourceLast = std::min(std::trunc(lastFileFrame / in.responseRate * in.hostRate), maxShapedIndex);
    const double stretched = std::nearbyint(sourceLast * (static_cast<double>(in.stretch) + 0.5));
    const double destLast = std::clamp(stretched, 1.0, maxShapedIndex);

    double frames = destLast + 1.0;
    const bool cut = in.length < fullLength;
    const double length = std::max(static_cast<double>(in.length), lengthFloor);
    if (cut)
        frames = std::min(frames, std::ceil(length * destLast) + releaseFrames + 1.0);
    if (in.reverse != 0.0f)
    {
        // A reversed response is laid out to end at the end of its last
        // partition: the reverb lasts as long as the partitions do.
        const double kept = cut ? std::trunc(length * destLast + partitionSlack) : destLast + partitionSlack;
        const std::int64_t partitions =
            std::min(static_cast<std::int64_t>(kept) / partitionFrames + 1, maxPartitions);
        frames = static_cast<double>(partitions * partitionFrames);
    }
    tail.responseFrames = static_cast<std::int64_t>(frames);

    const double predelay = std::nearbyint(static_cast<double>(in.predelay) * maxPredelayMs * in.hostRate / 1000.0);
    tail.predelayFrames = std::min(static_cast<std::int64_t>(predelay), maxPredelayFrames);
    return tail;
}

} // namespace tam::render
