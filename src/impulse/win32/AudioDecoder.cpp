// Decoding through the system's audio compression manager: one conversion
// stream per file, one prepared header over the reader's two buffers.
#include "impulse/AudioDecoder.h"

#include <vector>

// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
// clang-format on

namespace tam {

namespace {

constexpr DWORD pcmRecordBytes = WaveFormat::baseSize;

LPWAVEFORMATEX record(std::vector<std::uint8_t>& bytes)
{
    return reinterpret_cast<LPWAVEFORMATEX>(bytes.data());
}

} // namespace

struct AudioDecoder::State
{
    std::vector<std::uint8_t> source; ///< format records kept for the stream's lifetime
    std::vector<std::uint8_t> pcm;
    HACMSTREAM stream = nullptr;
    ACMSTREAMHEADER header{};
    bool prepared = false;

    ~State()
    {
        if (prepared)
        {
            // Unpreparing wants the lengths the header was prepared with.
            header.cbSrcLength = static_cast<DWORD>(header.dwSrcUser);
            header.cbDstLength = static_cast<DWORD>(header.dwDstUser);
            acmStreamUnprepareHeader(stream, &header, 0);
        }
        if (stream != nullptr)
            acmStreamClose(stream, 0);
    }
};

AudioDecoder::AudioDecoder(std::unique_ptr<State> platformState) : state(std::move(platformState)) {}

AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::suggestPcmFormat(const WaveFormat& source, WaveFormat& pcm)
{
    std::vector<std::uint8_t> sourceRecord = source.bytes;
    std::vector<std::uint8_t> pcmRecord(pcmRecordBytes, 0);
    pcmRecord[0] = static_cast<std::uint8_t>(waveTagPcm);
    if (acmFormatSuggest(nullptr, record(sourceRecord), record(pcmRecord), pcmRecordBytes,
                         ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_NOERROR)
        return false;
    pcm.bytes = pcmRecord;
    pcm.setExtraSize(0);
    return true;
}

std::unique_ptr<AudioDecoder> AudioDecoder::open(const WaveFormat& source, const WaveFormat& pcm)
{
    auto opened = std::make_unique<State>();
    opened->source = source.bytes;
    opened->pcm = pcm.bytes;
    if (acmStreamOpen(&opened->stream, nullptr, record(opened->source), record(opened->pcm), nullptr, 0, 0, 0) !=
        MMSYSERR_NOERROR)
    {
        opened->stream = nullptr;
        return nullptr;
    }
    return std::unique_ptr<AudioDecoder>(new AudioDecoder(std::move(opened)));
}

bool AudioDecoder::decodedSize(std::uint32_t sourceBytes, std::uint32_t& pcmBytes)
{
    DWORD bytes = 0;
    if (acmStreamSize(state->stream, sourceBytes, &bytes, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
        return false;
    pcmBytes = bytes;
    return true;
}

bool AudioDecoder::sourceSize(std::uint32_t pcmBytes, std::uint32_t& sourceBytes)
{
    DWORD bytes = 0;
    if (acmStreamSize(state->stream, pcmBytes, &bytes, ACM_STREAMSIZEF_DESTINATION) != MMSYSERR_NOERROR)
        return false;
    sourceBytes = bytes;
    return true;
}

bool AudioDecoder::prepare(std::uint8_t* source, std::uint32_t sourceCapacity, std::uint8_t* pcm,
                           std::uint32_t pcmCapacity)
{
    if (state->prepared)
        return false;
    ACMSTREAMHEADER& header = state->header;
    header = ACMSTREAMHEADER{};
    header.cbStruct = sizeof(ACMSTREAMHEADER);
    header.pbSrc = source;
    header.cbSrcLength = sourceCapacity;
    header.dwSrcUser = sourceCapacity;
    header.pbDst = pcm;
    header.cbDstLength = pcmCapacity;
    header.dwDstUser = pcmCapacity;
    if (acmStreamPrepareHeader(state->stream, &header, 0) != MMSYSERR_NOERROR)
        return false;
    state->prepared = true;
    return true;
}

bool AudioDecoder::convert(std::uint32_t sourceBytes, std::uint32_t& pcmUsed)
{
    pcmUsed = 0;
    ACMSTREAMHEADER& header = state->header;
    if (!state->prepared || sourceBytes > header.dwSrcUser)
        return false;
    header.cbSrcLength = sourceBytes;
    if (acmStreamConvert(state->stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN) != MMSYSERR_NOERROR ||
        (header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE) == 0)
        return false;
    pcmUsed = header.cbDstLengthUsed;
    return true;
}

} // namespace tam
