// Block-wise decoding of compressed wave data to 16-bit PCM. The Windows
// build runs on the system's audio compression manager; the other builds
// decode G.711 A-law and mu-law, IMA ADPCM and Microsoft ADPCM themselves,
// the formats that manager ships with. The calls mirror its sequence:
// suggest a PCM format, open, query buffer sizes, prepare the two buffers
// once, convert whole blocks into them as often as needed, and release.
// Used by the WAV reader on the thread that loads a file; never on the audio
// thread.
#pragma once

#include "impulse/WaveFormat.h"

#include <cstdint>
#include <memory>

namespace tam {

class AudioDecoder
{
public:
    /// Fills pcm (whose tag is waveTagPcm) with the PCM format the source
    /// decodes to: same channels and rate. False when the source cannot be
    /// decoded.
    static bool suggestPcmFormat(const WaveFormat& source, WaveFormat& pcm);
    /// A decoder from source to pcm; nullptr when none can be opened.
    static std::unique_ptr<AudioDecoder> open(const WaveFormat& source, const WaveFormat& pcm);
    ~AudioDecoder();
    AudioDecoder(const AudioDecoder&) = delete;
    AudioDecoder& operator=(const AudioDecoder&) = delete;

    /// Bytes of PCM that sourceBytes of whole source blocks decode to.
    bool decodedSize(std::uint32_t sourceBytes, std::uint32_t& pcmBytes);
    /// Bytes of source that decode into at most pcmBytes of PCM.
    bool sourceSize(std::uint32_t pcmBytes, std::uint32_t& sourceBytes);
    /// Registers the two buffers every later convert works on; they must
    /// outlive the decoder.
    bool prepare(std::uint8_t* source, std::uint32_t sourceCapacity, std::uint8_t* pcm, std::uint32_t pcmCapacity);
    /// Decodes the whole blocks among the first sourceBytes of the source
    /// buffer into the PCM buffer; pcmUsed receives the bytes written.
    bool convert(std::uint32_t sourceBytes, std::uint32_t& pcmUsed);

private:
    struct State; ///< defined by the platform layer
    explicit AudioDecoder(std::unique_ptr<State> platformState);
    std::unique_ptr<State> state;
};

} // namespace tam
