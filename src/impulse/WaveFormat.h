// The wave format record of a RIFF WAVE file, kept as the file's own
// little-endian bytes: tag (u16), channels (u16), samples per second (u32),
// average bytes per second (u32), block alignment (u16), bits per sample
// (u16), extra size (u16), then the extra bytes. Keeping the raw bytes lets
// the Windows decoder take the record as it is; the accessors read it on any
// host. Used by the WAV reader on the thread that loads a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tam {

inline constexpr std::uint16_t waveTagPcm = 0x0001;
inline constexpr std::uint16_t waveTagMsAdpcm = 0x0002;
inline constexpr std::uint16_t waveTagIeeeFloat = 0x0003;
inline constexpr std::uint16_t waveTagALaw = 0x0006;
inline constexpr std::uint16_t waveTagMuLaw = 0x0007;
inline constexpr std::uint16_t waveTagImaAdpcm = 0x0011;
inline constexpr std::uint16_t waveTagMpegLayer3 = 0x0055;
inline constexpr std::uint16_t waveTagExtensible = 0xFFFE;

class WaveFormat
{
public:
    static constexpr std::size_t baseSize = 18;        ///< bytes up to and including the extra size
    static constexpr std::size_t extensibleExtra = 22; ///< valid bits, channel mask, sub-format GUID

    WaveFormat() : bytes(baseSize, 0) {}

    std::vector<std::uint8_t> bytes; ///< baseSize + extraSize() bytes

    std::uint16_t tag() const { return u16(0); }
    std::uint16_t channels() const { return u16(2); }
    std::uint32_t samplesPerSec() const { return u32(4); }
    std::uint32_t avgBytesPerSec() const { return u32(8); }
    std::uint16_t blockAlign() const { return u16(12); }
    std::uint16_t bitsPerSample() const { return u16(14); }
    std::uint16_t extraSize() const { return u16(16); }
    /// The extra bytes actually held (never more than the record has).
    std::size_t extraHeld() const { return bytes.size() - baseSize; }
    const std::uint8_t* extra() const { return bytes.data() + baseSize; }

    void setTag(std::uint16_t v) { put16(0, v); }
    void setChannels(std::uint16_t v) { put16(2, v); }
    void setSamplesPerSec(std::uint32_t v) { put32(4, v); }
    void setAvgBytesPerSec(std::uint32_t v) { put32(8, v); }
    void setBlockAlign(std::uint16_t v) { put16(12, v); }
    void setBitsPerSample(std::uint16_t v) { put16(14, v); }
    void setExtraSize(std::uint16_t v) { put16(16, v); }

    /// Tag of the samples as they lie in the file when they can be read
    /// without a decoder: waveTagPcm or waveTagIeeeFloat, also for an
    /// extensible record whose sub-format is one of those; 0 otherwise.
    std::uint16_t directTag() const;

    /// Little-endian reads from the extra bytes; 0 beyond the record.
    std::uint16_t extra16(std::size_t offset) const { return u16(baseSize + offset); }

private:
    std::uint16_t u16(std::size_t at) const
    {
        if (at + 2 > bytes.size())
            return 0;
        return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    }
    std::uint32_t u32(std::size_t at) const
    {
        return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    }
    void put16(std::size_t at, std::uint16_t v)
    {
        bytes[at] = static_cast<std::uint8_t>(v & 0xFF);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    void put32(std::size_t at, std::uint32_t v)
    {
        put16(at, static_cast<std::uint16_t>(v & 0xFFFF));
        put16(at + 2, static_cast<std::uint16_t>(v >> 16));
    }
};

inline std::uint16_t WaveFormat::directTag() const
{
    const std::uint16_t t = tag();
    if (t == waveTagPcm || t == waveTagIeeeFloat)
        return t;
    if (t != waveTagExtensible || extraSize() < extensibleExtra || extraHeld() < extensibleExtra)
        return 0;
    // Sub-format GUID at extra offset 6: the first two bytes carry the plain
    // tag, the remaining 14 are the fixed tail shared by all of them.
    static constexpr std::uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                  0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const std::uint8_t* guid = extra() + 6;
    for (std::size_t i = 0; i < sizeof guidTail; ++i)
        if (guid[2 + i] != guidTail[i])
            return 0;
    const auto sub = static_cast<std::uint16_t>(guid[0] | (guid[1] << 8));
    return (sub == waveTagPcm || sub == waveTagIeeeFloat) ? sub : 0;
}

} // namespace tam
