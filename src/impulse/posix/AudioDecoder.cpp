// Stand-in for the Windows audio compression manager: the same sequence of
// calls over the decoders of WaveCodecs.h. Every source block decodes to a
// fixed number of 16-bit frames, so sizes convert exactly block by block.
#include "impulse/AudioDecoder.h"

#include "impulse/posix/WaveCodecs.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace tam {

namespace {

constexpr std::uint16_t pcmBits = 16;
constexpr int pcmSampleBytes = 2;
constexpr int maxChannels = 2;
constexpr int adpcmBits = 4;
constexpr int g711Bits = 8;
constexpr std::size_t msCoefficientOffset = 4; ///< extra bytes: frames per block, pair count, then pairs
constexpr int msMaxCoefficientPairs = 256;     ///< a predictor is one byte

enum class Codec
{
    aLaw,
    muLaw,
    ima,
    msAdpcm
};

struct Layout
{
    Codec codec;
    int framesPerBlock;
    std::vector<std::int16_t> coefficients; ///< Microsoft ADPCM predictor pairs
};

/// Frames per block: the file's own figure when it is possible, else all the
/// block can hold.
int framesInBlock(const WaveFormat& format, int capacity)
{
    const int declared = format.extraSize() >= 2 ? format.extra16(0) : 0;
    return declared >= 1 && declared <= capacity ? declared : capacity;
}

bool describe(const WaveFormat& format, Layout& layout)
{
    const int channels = format.channels();
    const int blockAlign = format.blockAlign();
    if (channels < 1 || channels > maxChannels || blockAlign == 0 || format.samplesPerSec() == 0)
        return false;
    switch (format.tag())
    {
    case waveTagALaw:
    case waveTagMuLaw:
        if (format.bitsPerSample() != g711Bits || blockAlign != channels)
            return false;
        layout.codec = format.tag() == waveTagALaw ? Codec::aLaw : Codec::muLaw;
        layout.framesPerBlock = 1;
        return true;
    case waveTagImaAdpcm:
    {
        const int capacity = codec::imaFramesPerBlock(blockAlign, channels);
        if (format.bitsPerSample() != adpcmBits || capacity < 1)
            return false;
        layout.codec = Codec::ima;
        layout.framesPerBlock = framesInBlock(format, capacity);
        return true;
    }
    case waveTagMsAdpcm:
    {
        const int capacity = codec::msAdpcmFramesPerBlock(blockAlign, channels);
        const int pairs = format.extra16(2);
        if (format.bitsPerSample() != adpcmBits || capacity < 1 || format.extraSize() < msCoefficientOffset ||
            pairs < 1 || pairs > msMaxCoefficientPairs ||
            format.extraHeld() < msCoefficientOffset + 4 * static_cast<std::size_t>(pairs))
            return false;
        layout.codec = Codec::msAdpcm;
        layout.framesPerBlock = framesInBlock(format, capacity);
        layout.coefficients.resize(2 * static_cast<std::size_t>(pairs));
        for (std::size_t i = 0; i < layout.coefficients.size(); ++i)
            layout.coefficients[i] = static_cast<std::int16_t>(format.extra16(msCoefficientOffset + 2 * i));
        return true;
    }
    default:
        return false;
    }
}

} // namespace

struct AudioDecoder::State
{
    WaveFormat source;
    Layout layout;
    std::uint32_t blockPcmBytes = 0; ///< PCM bytes of one source block
    std::uint8_t* sourceBuffer = nullptr;
    std::uint32_t sourceCapacity = 0; ///< bytes
    std::uint8_t* pcmBuffer = nullptr;
    std::uint32_t pcmCapacity = 0;    ///< bytes
    std::vector<std::int16_t> frames; ///< one decoded block
};

AudioDecoder::AudioDecoder(std::unique_ptr<State> platformState) : state(std::move(platformState)) {}

AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::suggestPcmFormat(const WaveFormat& source, WaveFormat& pcm)
{
    Layout layout;
    if (!describe(source, layout))
        return false;
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(source.channels() * pcmSampleBytes);
    pcm = WaveFormat();
    pcm.setTag(waveTagPcm);
    pcm.setChannels(source.channels());
    pcm.setSamplesPerSec(source.samplesPerSec());
    pcm.setAvgBytesPerSec(static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{source.samplesPerSec()} * blockAlign, std::numeric_limits<std::uint32_t>::max())));
    pcm.setBlockAlign(blockAlign);
    pcm.setBitsPerSample(pcmBits);
    return true;
}

std::unique_ptr<AudioDecoder> AudioDecoder::open(const WaveFormat& source, const WaveFormat& pcm)
{
    auto opened = std::make_unique<State>();
    if (!describe(source, opened->layout))
        return nullptr;
    if (pcm.tag() != waveTagPcm || pcm.bitsPerSample() != pcmBits || pcm.channels() != source.channels() ||
        pcm.blockAlign() != source.channels() * pcmSampleBytes || pcm.samplesPerSec() != source.samplesPerSec())
        return nullptr;
    opened->source = source;
    opened->blockPcmBytes = static_cast<std::uint32_t>(opened->layout.framesPerBlock) * pcm.blockAlign();
    opened->frames.resize(static_cast<std::size_t>(opened->layout.framesPerBlock) * source.channels());
    return std::unique_ptr<AudioDecoder>(new AudioDecoder(std::move(opened)));
}

bool AudioDecoder::decodedSize(std::uint32_t sourceBytes, std::uint32_t& pcmBytes)
{
    const std::uint64_t bytes = std::uint64_t{sourceBytes / state->source.blockAlign()} * state->blockPcmBytes;
    if (bytes == 0 || bytes > std::numeric_limits<std::uint32_t>::max())
        return false;
    pcmBytes = static_cast<std::uint32_t>(bytes);
    return true;
}

bool AudioDecoder::sourceSize(std::uint32_t pcmBytes, std::uint32_t& sourceBytes)
{
    const std::uint64_t bytes = std::uint64_t{pcmBytes / state->blockPcmBytes} * state->source.blockAlign();
    if (bytes == 0 || bytes > std::numeric_limits<std::uint32_t>::max())
        return false;
    sourceBytes = static_cast<std::uint32_t>(bytes);
    return true;
}

bool AudioDecoder::prepare(std::uint8_t* source, std::uint32_t sourceCapacity, std::uint8_t* pcm,
                           std::uint32_t pcmCapacity)
{
    if (source == nullptr || pcm == nullptr || state->sourceBuffer != nullptr)
        return false;
    state->sourceBuffer = source;
    state->sourceCapacity = sourceCapacity;
    state->pcmBuffer = pcm;
    state->pcmCapacity = pcmCapacity;
    return true;
}

bool AudioDecoder::convert(std::uint32_t sourceBytes, std::uint32_t& pcmUsed)
{
    pcmUsed = 0;
    if (state->sourceBuffer == nullptr || sourceBytes > state->sourceCapacity)
        return false;
    const std::uint32_t blockAlign = state->source.blockAlign();
    const int channels = state->source.channels();
    const Layout& layout = state->layout;
    const std::uint32_t blocks = std::min(sourceBytes / blockAlign, state->pcmCapacity / state->blockPcmBytes);
    std::int16_t* frames = state->frames.data();
    for (std::uint32_t b = 0; b < blocks; ++b)
    {
        const std::uint8_t* block = state->sourceBuffer + std::size_t{b} * blockAlign;
        switch (layout.codec)
        {
        case Codec::aLaw:
            for (int c = 0; c < channels; ++c)
                frames[c] = codec::aLawToLinear(block[c]);
            break;
        case Codec::muLaw:
            for (int c = 0; c < channels; ++c)
                frames[c] = codec::muLawToLinear(block[c]);
            break;
        case Codec::ima:
            codec::decodeImaBlock(block, channels, layout.framesPerBlock, frames);
            break;
        case Codec::msAdpcm:
            if (!codec::decodeMsAdpcmBlock(block, channels, layout.framesPerBlock, layout.coefficients.data(),
                                           static_cast<int>(layout.coefficients.size() / 2), frames))
                return false;
            break;
        }
        std::uint8_t* out = state->pcmBuffer + std::size_t{b} * state->blockPcmBytes;
        for (std::size_t i = 0; i < state->frames.size(); ++i)
        {
            const auto v = static_cast<std::uint16_t>(frames[i]);
            out[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
            out[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    }
    pcmUsed = blocks * state->blockPcmBytes;
    return true;
}

} // namespace tam
