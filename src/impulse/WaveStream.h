// The layers under ReadWaveFile: TWaveStream reads the header of a RIFF WAVE
// file and then whole frames of its 'data' chunk, TFileWaveStream opens the
// file for it, and TPCMWaveReader delivers PCM frames, straight from the
// stream for PCM and float data or through the platform's decoder for
// compressed data. All of them run on the thread that loads a file, never on
// the audio thread; every failure throws WaveError with a numbered message.
#pragma once

#include "impulse/AudioDecoder.h"
#include "impulse/RiffIo.h"
#include "impulse/WaveFormat.h"
#include "impulse/WaveReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tam {

// Codes of the reader's messages. 40 and above cover files the reader refuses
// rather than misreads.
namespace waveError {
inline constexpr int cannotRead = 9;
inline constexpr int cannotSeek = 10;
inline constexpr int invalidMultimediaFile = 12;
inline constexpr int notAWaveFile = 13;
inline constexpr int noFmtChunk = 14;
inline constexpr int abnormalFmtSize = 15;
inline constexpr int cannotReadFmt = 16;
inline constexpr int cannotReadExtraSize = 17;
inline constexpr int cannotReadExtra = 18;
inline constexpr int mpegLayer3 = 19;
inline constexpr int cannotAscendFmt = 20;
inline constexpr int cannotSeekToData = 21;
inline constexpr int cannotGetInfo = 22;
inline constexpr int cannotOpenFile = 24;
inline constexpr int cannotOpenFileStream = 25;
inline constexpr int cannotSuggestPcm = 26;
inline constexpr int cannotOpenDecoder = 27;
inline constexpr int cannotPrepare = 28;
inline constexpr int cannotSizeBlock = 29;
inline constexpr int cannotSizeSource = 30;
inline constexpr int cannotSizeDecoded = 31;
inline constexpr int positionBeforeBuffer = 33;
inline constexpr int cannotConvert = 34;
inline constexpr int noDataChunk = 40;
inline constexpr int noChannels = 41;
inline constexpr int tooManyChannels = 42;
inline constexpr int invalidSampleRate = 43;
inline constexpr int invalidBlockAlign = 44;
inline constexpr int unsupportedBits = 45;
inline constexpr int dataBeyondFile = 46;
inline constexpr int noSamples = 47;
inline constexpr int fileTooLarge = 48;
inline constexpr int samplesOutOfRange = 49;
inline constexpr int missingFrames = 50;
inline constexpr int illegalNumber = 100;
} // namespace waveError

/// The fixed message text of a code ("Error 13: Not a wave file!").
const char* waveErrorMessage(int code);
[[noreturn]] void raiseWaveError(int code);

/// How one sample of a PCM record is stored; none for layouts without a
/// conversion.
enum class SampleLayout
{
    none,
    unsigned8,
    signed16,
    signed20, ///< 20 bits in the top of three bytes
    signed24,
    signed32,
    float32,
    float64
};

SampleLayout sampleLayoutOf(std::uint16_t directTag, std::uint16_t bitsPerSample);
/// Bytes a sample of the layout occupies at least (0 for none).
int sampleBytesOf(SampleLayout layout);

class TWaveStream
{
public:
    /// Parses the header of the RIFF WAVE file open on handle (fileSize
    /// bytes long) and moves to the first frame.
    TWaveStream(RiffFile& handle, std::int64_t fileSize);
    virtual ~TWaveStream() = default;
    TWaveStream(const TWaveStream&) = delete;
    TWaveStream& operator=(const TWaveStream&) = delete;

    /// Reads up to count frames at the current position into buffer (count x
    /// block alignment bytes); returns the whole frames read.
    virtual std::int32_t Read(void* buffer, std::int32_t count);
    /// Moves by offset frames from origin (begin = first frame of the data);
    /// returns the new frame position.
    virtual std::int64_t Seek(std::int64_t offset, RiffSeek origin);

    WaveFormat Format;           ///< the file's format record with its extra bytes
    std::int64_t DataOffset = 0; ///< file offset of the first byte of the 'data' contents
    std::int64_t FrameCount = 0; ///< whole frames in the 'data' chunk
    std::int64_t FileSize = 0;   ///< bytes
    RiffFile& Handle;            ///< not owned
    RiffChunkInfo Chunk;         ///< current sub-chunk: 'fmt ', then 'data'
    RiffChunkInfo RiffChunk;     ///< the outer 'RIFF' chunk

private:
    void parseHeader();
    void readFormat();
    void checkFormat() const;
};

/// Opens the file itself before the stream parses it; owns the handle.
class TFileWaveStreamHandle
{
protected:
    explicit TFileWaveStreamHandle(const std::string& fileName);
    std::int64_t openedFileSize = 0; ///< bytes, learnt before the file is opened for chunks
    std::unique_ptr<RiffFile> openedFile;
};

class TFileWaveStream : private TFileWaveStreamHandle, public TWaveStream
{
public:
    explicit TFileWaveStream(const std::string& fileName);
};

class TPCMWaveReader
{
public:
    static constexpr std::int32_t decodedBufferTarget = 20000; ///< bytes of PCM per decode step

    explicit TPCMWaveReader(TWaveStream& stream);
    ~TPCMWaveReader();
    TPCMWaveReader(const TPCMWaveReader&) = delete;
    TPCMWaveReader& operator=(const TPCMWaveReader&) = delete;

    /// Delivers up to count PCM frames of PCMFormat into buffer; returns the
    /// frames delivered, 0 at the end.
    std::int32_t Read(void* buffer, std::int32_t count);

    std::int64_t Position = 0;   ///< next PCM frame to deliver
    TWaveStream& Stream;         ///< not owned
    std::int64_t FrameCount = 0; ///< total PCM frames
    std::int32_t BufferBytes = decodedBufferTarget;
    std::unique_ptr<AudioDecoder> decoder;  ///< only for compressed data
    WaveFormat PCMFormat;                   ///< format of the frames delivered (18 bytes)
    std::int64_t FileSize = 0;              ///< bytes
    std::int64_t SampleCount = 0;           ///< floats delivered: channels x FrameCount
    std::vector<std::uint8_t> sourceBuffer; ///< BlocksPerConversion source blocks
    std::int32_t BlocksPerConversion = 0;
    std::vector<std::uint8_t> decodedBuffer; ///< PCM of one decode step
    std::int64_t BufferedFrames = 0;         ///< frames held in decodedBuffer
    std::int64_t FramesPerBlock = 1;         ///< PCM frames per source block
    std::int64_t PCMBufferSamplePos = 0;     ///< frame index of decodedBuffer's first frame

private:
    void setUpDirect(std::uint16_t directTag);
    void setUpDecoder();
    std::int32_t readDecoded(std::uint8_t* buffer, std::int32_t count);
    bool decodeBlocksFrom(std::int64_t block);
};

} // namespace tam
