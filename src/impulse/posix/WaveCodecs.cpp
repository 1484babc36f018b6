#include "impulse/posix/WaveCodecs.h"

#include <algorithm>

namespace tam::codec {

namespace {

std::int16_t le16(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

std::int16_t clamp16(std::int32_t v)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(v, -32768, 32767));
}

// IMA ADPCM step sizes, roughly 10 % apart, and the index change per code.
constexpr std::int32_t imaSteps[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int imaIndexShift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int imaMaxIndex = 88;
constexpr int imaHeaderBytes = 4; ///< per channel: first sample, step index, reserved
constexpr int imaWordBytes = 4;   ///< per channel and group of 8 codes
constexpr int imaCodesPerWord = 8;

// Microsoft ADPCM: scale factor of the step per code, in 1/256.
constexpr std::int32_t msAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                           768, 614, 512, 409, 307, 230, 230, 230};
constexpr int msHeaderBytes = 7; ///< per channel: predictor, step, two samples
constexpr std::int32_t msMinStep = 16;
constexpr std::int32_t msMaxStep = 0x1FFFFF; ///< keeps every product within 32 bits on hostile input

struct ImaChannel
{
    std::int32_t predictor;
    int index;

    std::int16_t next(int code)
    {
        const std::int32_t step = imaSteps[index];
        std::int32_t diff = step >> 3;
        if (code & 4)
            diff += step;
        if (code & 2)
            diff += step >> 1;
        if (code & 1)
            diff += step >> 2;
        predictor = clamp16((code & 8) ? predictor - diff : predictor + diff);
        index = std::clamp(index + imaIndexShift[code & 7], 0, imaMaxIndex);
        return static_cast<std::int16_t>(predictor);
    }
};

struct MsChannel
{
    std::int32_t coefficient1;
    std::int32_t coefficient2;
    std::int32_t step;
    std::int32_t sample1; ///< most recent output
    std::int32_t sample2;

    std::int16_t next(int code)
    {
        const int signedCode = code >= 8 ? code - 16 : code;
        // Two products of 16-bit values can sum to 2^31: add them in 64 bits,
        // then limit the result to 16 bits as the codec defines.
        const std::int64_t predicted =
            (static_cast<std::int64_t>(sample1) * coefficient1 + static_cast<std::int64_t>(sample2) * coefficient2) >> 8;
        const std::int16_t value = static_cast<std::int16_t>(
            std::clamp<std::int64_t>(predicted + static_cast<std::int64_t>(signedCode) * step, -32768, 32767));
        sample2 = sample1;
        sample1 = value;
        step = std::clamp((msAdaptation[code] * step) >> 8, msMinStep, msMaxStep);
        return value;
    }
};

} // namespace

std::int16_t aLawToLinear(std::uint8_t code)
{
    const int a = code ^ 0x55;
    const int segment = (a >> 4) & 0x07;
    int magnitude = ((a & 0x0F) << 4) + 8;
    if (segment > 0)
        magnitude = (magnitude + 0x100) << (segment - 1);
    return static_cast<std::int16_t>((a & 0x80) ? magnitude : -magnitude);
}

std::int16_t muLawToLinear(std::uint8_t code)
{
    const int u = ~code & 0xFF;
    const int magnitude = ((((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 0x07)) - 0x84;
    return static_cast<std::int16_t>((u & 0x80) ? -magnitude : magnitude);
}

int imaFramesPerBlock(int blockAlign, int channels)
{
    if (channels < 1 || blockAlign < imaHeaderBytes * channels)
        return 0;
    const int groups = (blockAlign - imaHeaderBytes * channels) / (imaWordBytes * channels);
    return 1 + groups * imaCodesPerWord;
}

void decodeImaBlock(const std::uint8_t* block, int channels, int frames, std::int16_t* out)
{
    if (frames < 1)
        return;
    ImaChannel state[2];
    for (int c = 0; c < channels; ++c)
    {
        const std::uint8_t* header = block + c * imaHeaderBytes;
        state[c].predictor = le16(header);
        state[c].index = std::min<int>(header[2], imaMaxIndex);
        out[c] = static_cast<std::int16_t>(state[c].predictor);
    }
    // After the headers, each channel in turn has a word of 8 codes, low
    // nibble first.
    const std::uint8_t* words = block + channels * imaHeaderBytes;
    for (int first = 1, group = 0; first < frames; first += imaCodesPerWord, ++group)
    {
        const int count = std::min(imaCodesPerWord, frames - first);
        for (int c = 0; c < channels; ++c)
        {
            const std::uint8_t* word = words + (group * channels + c) * imaWordBytes;
            for (int k = 0; k < count; ++k)
            {
                const int code = (word[k / 2] >> ((k & 1) * 4)) & 0x0F;
                out[(first + k) * channels + c] = state[c].next(code);
            }
        }
    }
}

int msAdpcmFramesPerBlock(int blockAlign, int channels)
{
    if (channels < 1 || blockAlign < msHeaderBytes * channels)
        return 0;
    return (blockAlign - msHeaderBytes * channels) * 2 / channels + 2;
}

bool decodeMsAdpcmBlock(const std::uint8_t* block, int channels, int frames, const std::int16_t* coefficients,
                        int coefficientPairs, std::int16_t* out)
{
    if (frames < 1)
        return true;
    // Header fields come grouped: all predictors, all steps, all first
    // samples, all second samples. The older sample is played first.
    MsChannel state[2];
    for (int c = 0; c < channels; ++c)
    {
        const int predictor = block[c];
        if (predictor >= coefficientPairs)
            return false;
        state[c].coefficient1 = coefficients[2 * predictor];
        state[c].coefficient2 = coefficients[2 * predictor + 1];
        state[c].step = std::clamp<std::int32_t>(le16(block + channels + 2 * c), msMinStep, msMaxStep);
        state[c].sample1 = le16(block + 3 * channels + 2 * c);
        state[c].sample2 = le16(block + 5 * channels + 2 * c);
        out[c] = static_cast<std::int16_t>(state[c].sample2);
        if (frames > 1)
            out[channels + c] = static_cast<std::int16_t>(state[c].sample1);
    }
    // Then one code per sample, channels interleaved, high nibble first.
    const std::uint8_t* codes = block + channels * msHeaderBytes;
    for (int frame = 2, k = 0; frame < frames; ++frame)
    {
        for (int c = 0; c < channels; ++c, ++k)
        {
            const int code = (k & 1) ? (codes[k / 2] & 0x0F) : (codes[k / 2] >> 4);
            out[frame * channels + c] = state[c].next(code);
        }
    }
    return true;
}

} // namespace tam::codec
