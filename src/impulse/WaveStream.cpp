#include "impulse/WaveStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tam {

namespace {

constexpr std::uint32_t waveFormType = fourCc('W', 'A', 'V', 'E');
constexpr std::uint32_t fmtId = fourCc('f', 'm', 't', ' ');
constexpr std::uint32_t dataId = fourCc('d', 'a', 't', 'a');
constexpr std::uint32_t fmtFixedBytes = 16; ///< tag .. bits per sample
constexpr std::uint32_t extraSizeBytes = 2;
constexpr int maxChannels = 2; ///< the store holds two channels

struct MessageEntry
{
    int code;
    const char* text;
};

constexpr MessageEntry messages[] = {
    {waveError::cannotRead, "Error 09: Cannot read from file."},
    {waveError::cannotSeek, "Error 10: Cannot seek in file."},
    {waveError::invalidMultimediaFile, "Error 12: Invalid multimedia file!"},
    {waveError::notAWaveFile, "Error 13: Not a wave file!"},
    {waveError::noFmtChunk, "Error 14: Cannot find 'fmt' chunk!"},
    {waveError::abnormalFmtSize, "Error 15: Abnormal 'fmt' size!"},
    {waveError::cannotReadFmt, "Error 16: Cannot read 'fmt' chunk!"},
    {waveError::cannotReadExtraSize, "Error 17: Cannot read 'waveformatex' length!"},
    {waveError::cannotReadExtra, "Error 18: Cannot read 'waveformatex'!"},
    {waveError::mpegLayer3, "Error 19: MPEG Layer-3 compression is not supported."},
    {waveError::cannotAscendFmt, "Error 20: Cannot ascend from 'fmt' chunk!"},
    {waveError::cannotSeekToData, "Error 21: Cannot seek to data!"},
    {waveError::cannotGetInfo, "Error 22: Cannot get info!"},
    {waveError::cannotOpenFile, "Error 24: Cannot open file."},
    {waveError::cannotOpenFileStream, "Error 25: Cannot open file stream."},
    {waveError::cannotSuggestPcm, "Error 26: Cannot suggest pcm format."},
    {waveError::cannotOpenDecoder, "Error 27: Cannot open acm stream."},
    {waveError::cannotPrepare, "Error 28: Cannot prepare headers."},
    {waveError::cannotSizeBlock, "Error 29: Cannot recommend an acm stream size."},
    {waveError::cannotSizeSource, "Error 30: Cannot recommend an acm stream size."},
    {waveError::cannotSizeDecoded, "Error 31: Cannot recommend an acm stream size."},
    {waveError::positionBeforeBuffer, "Error 33: Position smaller than PCMBufferSamplePos"},
    {waveError::cannotConvert, "Error 34: Unable to convert sample."},
    {waveError::noDataChunk, "Error 40: Cannot find 'data' chunk!"},
    {waveError::noChannels, "Error 41: The file has no channels!"},
    {waveError::tooManyChannels, "Error 42: Only mono and stereo files are supported!"},
    {waveError::invalidSampleRate, "Error 43: Invalid sample rate!"},
    {waveError::invalidBlockAlign, "Error 44: Invalid block alignment!"},
    {waveError::unsupportedBits, "Error 45: Unsupported number of bits per sample!"},
    {waveError::dataBeyondFile, "Error 46: 'data' chunk larger than the file!"},
    {waveError::noSamples, "Error 47: The file contains no samples!"},
    {waveError::fileTooLarge, "Error 48: File too large!"},
    {waveError::missingFrames, "Error 50: The file decodes to fewer samples than it declares!"},
    {waveError::samplesOutOfRange, "Error 49: The file contains sample values far beyond full scale!"},
    {waveError::illegalNumber, "Error 100: Corrupted Wav-file. This file contains illegal Numbers, please convert it "
                               "to 32 Bit IEEE Float!"},
};

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

/// Bytes in an open file, -1 when it cannot be measured. 64-bit everywhere:
/// the run-time's long, and with it ftell, has 32 bits on Windows, where a
/// file over 2 GB would otherwise fail to open instead of being too large.
std::int64_t fileSizeOf(std::FILE* file)
{
#if defined(_WIN32)
    return _fseeki64(file, 0, SEEK_END) == 0 ? _ftelli64(file) : -1;
#else
    return std::fseek(file, 0, SEEK_END) == 0 ? static_cast<std::int64_t>(std::ftell(file)) : -1;
#endif
}

/// Structure of the coded formats every build decodes (G.711 and the two
/// ADPCM kinds), checked before any decoder sees the record: the decoders of
/// the platforms differ in what they let through, and a block too small for
/// its header or an ADPCM record without its predictor table can only be
/// misread. Other tags are left to the platform's decoder.
bool codedRecordIsSound(const WaveFormat& format)
{
    constexpr int g711Bits = 8;
    constexpr int adpcmBits = 4;
    constexpr int imaHeaderBytes = 4;              ///< per channel
    constexpr int msHeaderBytes = 7;               ///< per channel
    constexpr std::size_t msCoefficientOffset = 4; ///< extra bytes: frames per block, pair count, pairs
    constexpr int msMaxCoefficientPairs = 256;     ///< a block names its predictor in one byte
    constexpr int imaWordBytes = 4;                ///< per channel, eight codes
    constexpr int imaCodesPerWord = 8;
    // Rates the platforms' decoders agree on; beyond them one refuses what
    // the other reads.
    constexpr std::uint32_t minCodedRate = 1000;
    constexpr std::uint32_t maxCodedRate = 768000;
    const int channels = format.channels();
    const int blockAlign = format.blockAlign();
    if (format.samplesPerSec() < minCodedRate || format.samplesPerSec() > maxCodedRate)
        return false;
    // The frames per block a record declares must be exactly what its blocks
    // hold: decoders divide by it, and one that trusts it where another
    // recomputes it would read different sound from the same file.
    const bool declaresFrames = format.extraSize() >= 2 && format.extraHeld() >= 2;
    const int declaredFrames = declaresFrames ? format.extra16(0) : -1;
    switch (format.tag())
    {
    case waveTagALaw:
    case waveTagMuLaw:
        return format.bitsPerSample() == g711Bits && blockAlign == channels;
    case waveTagImaAdpcm:
        return format.bitsPerSample() == adpcmBits && blockAlign >= imaHeaderBytes * channels &&
               declaredFrames ==
                   1 + (blockAlign - imaHeaderBytes * channels) / (imaWordBytes * channels) * imaCodesPerWord;
    case waveTagMsAdpcm:
    {
        const int pairs = format.extra16(2);
        return format.bitsPerSample() == adpcmBits && blockAlign >= msHeaderBytes * channels &&
               format.extraSize() >= msCoefficientOffset && pairs >= 1 && pairs <= msMaxCoefficientPairs &&
               format.extraHeld() >= msCoefficientOffset + 4 * static_cast<std::size_t>(pairs) &&
               declaredFrames == (blockAlign - msHeaderBytes * channels) * 2 / channels + 2;
    }
    case waveTagExtensible:
        // Reaching a decoder means the sub-format is neither PCM nor float
        // (or the record is cut short); decoders take plain records only.
        return false;
    default:
        return true;
    }
}

} // namespace

const char* waveErrorMessage(int code)
{
    for (const MessageEntry& entry : messages)
        if (entry.code == code)
            return entry.text;
    return "Error: unknown failure.";
}

void raiseWaveError(int code)
{
    throw WaveError(code, waveErrorMessage(code));
}

SampleLayout sampleLayoutOf(std::uint16_t directTag, std::uint16_t bitsPerSample)
{
    if (directTag == waveTagPcm)
    {
        switch (bitsPerSample)
        {
        case 8:
            return SampleLayout::unsigned8;
        case 16:
            return SampleLayout::signed16;
        case 20:
            return SampleLayout::signed20;
        case 24:
            return SampleLayout::signed24;
        case 32:
            return SampleLayout::signed32;
        default:
            return SampleLayout::none;
        }
    }
    if (directTag == waveTagIeeeFloat)
    {
        if (bitsPerSample == 32)
            return SampleLayout::float32;
        if (bitsPerSample == 64)
            return SampleLayout::float64;
    }
    return SampleLayout::none;
}

int sampleBytesOf(SampleLayout layout)
{
    switch (layout)
    {
    case SampleLayout::unsigned8:
        return 1;
    case SampleLayout::signed16:
        return 2;
    case SampleLayout::signed20:
    case SampleLayout::signed24:
        return 3;
    case SampleLayout::signed32:
    case SampleLayout::float32:
        return 4;
    case SampleLayout::float64:
        return 8;
    case SampleLayout::none:
        break;
    }
    return 0;
}

// ---------------------------------------------------------------------------

TWaveStream::TWaveStream(RiffFile& handle, std::int64_t fileSize) : FileSize(fileSize), Handle(handle)
{
    parseHeader();
    Seek(0, RiffSeek::begin);
}

void TWaveStream::parseHeader()
{
    if (!Handle.descend(RiffChunk, nullptr, false))
        raiseWaveError(waveError::invalidMultimediaFile);
    if (RiffChunk.id != riffId || RiffChunk.formType != waveFormType)
        raiseWaveError(waveError::notAWaveFile);

    Chunk = RiffChunkInfo{};
    Chunk.id = fmtId;
    if (!Handle.descend(Chunk, &RiffChunk, true))
        raiseWaveError(waveError::noFmtChunk);
    if (Chunk.size < fmtFixedBytes)
        raiseWaveError(waveError::abnormalFmtSize);
    readFormat();
    if (Format.tag() == waveTagMpegLayer3)
        raiseWaveError(waveError::mpegLayer3);
    checkFormat();
    if (!Handle.ascend(Chunk))
        raiseWaveError(waveError::cannotAscendFmt);

    // The 'data' chunk may come before 'fmt ': search again from the first
    // sub-chunk.
    if (Handle.seek(RiffChunk.dataOffset + 4, RiffSeek::begin) == -1)
        raiseWaveError(waveError::cannotSeekToData);
    Chunk = RiffChunkInfo{};
    Chunk.id = dataId;
    if (!Handle.descend(Chunk, &RiffChunk, true))
        raiseWaveError(waveError::noDataChunk);
    RiffIoInfo info;
    if (!Handle.getInfo(info))
        raiseWaveError(waveError::cannotGetInfo);

    DataOffset = Chunk.dataOffset;
    // A size running past the end of the file would promise frames that are
    // not there.
    if (DataOffset + static_cast<std::int64_t>(Chunk.size) > FileSize)
        raiseWaveError(waveError::dataBeyondFile);
    FrameCount = static_cast<std::int64_t>(Chunk.size / Format.blockAlign());
}

void TWaveStream::readFormat()
{
    std::uint8_t fixed[fmtFixedBytes];
    if (Handle.read(fixed, fmtFixedBytes) != static_cast<std::int32_t>(fmtFixedBytes))
        raiseWaveError(waveError::cannotReadFmt);
    const std::uint16_t tag = le16(fixed);

    // PCM and float records carry no extra bytes that matter. A coded format
    // whose record ends after the 16 fixed bytes has none either: reading on
    // would take the next chunk's header for them.
    std::uint16_t extraSize = 0;
    if (tag != waveTagPcm && tag != waveTagIeeeFloat && Chunk.size >= fmtFixedBytes + extraSizeBytes)
    {
        std::uint8_t field[extraSizeBytes];
        if (Handle.read(field, extraSizeBytes) != static_cast<std::int32_t>(extraSizeBytes))
            raiseWaveError(waveError::cannotReadExtraSize);
        extraSize = le16(field);
        if (extraSize > Chunk.size - fmtFixedBytes - extraSizeBytes)
            raiseWaveError(waveError::cannotReadExtra);
    }

    Format.bytes.assign(WaveFormat::baseSize + extraSize, 0);
    std::memcpy(Format.bytes.data(), fixed, fmtFixedBytes);
    Format.setExtraSize(extraSize);
    if (extraSize > 0 &&
        Handle.read(Format.bytes.data() + WaveFormat::baseSize, extraSize) != static_cast<std::int32_t>(extraSize))
        raiseWaveError(waveError::cannotReadExtra);
}

void TWaveStream::checkFormat() const
{
    if (Format.channels() == 0)
        raiseWaveError(waveError::noChannels);
    if (Format.channels() > maxChannels)
        raiseWaveError(waveError::tooManyChannels);
    if (Format.samplesPerSec() == 0 ||
        Format.samplesPerSec() > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        raiseWaveError(waveError::invalidSampleRate);
    if (Format.blockAlign() == 0)
        raiseWaveError(waveError::invalidBlockAlign);
}

std::int32_t TWaveStream::Read(void* buffer, std::int32_t count)
{
    const std::int32_t align = Format.blockAlign();
    if (count < 1)
        return 0;
    count = std::min(count, std::numeric_limits<std::int32_t>::max() / align);
    const std::int32_t bytes = Handle.read(buffer, count * align);
    if (bytes < 0)
        raiseWaveError(waveError::cannotRead);
    return bytes / align;
}

std::int64_t TWaveStream::Seek(std::int64_t offset, RiffSeek origin)
{
    const std::int64_t align = Format.blockAlign();
    std::int64_t target = offset * align;
    if (origin == RiffSeek::begin)
        target += DataOffset;
    const std::int64_t position = Handle.seek(target, origin);
    if (position < DataOffset)
        raiseWaveError(waveError::cannotSeek);
    return (position - DataOffset) / align;
}

// ---------------------------------------------------------------------------

TFileWaveStreamHandle::TFileWaveStreamHandle(const std::string& fileName)
{
    // Learn the size with the C run-time first: it takes the same narrow
    // (ANSI on Windows) names as the chunk layer. A folder opens on some
    // systems but cannot be read.
    std::FILE* probe = fileName.empty() ? nullptr : std::fopen(fileName.c_str(), "rb");
    if (probe == nullptr)
        raiseWaveError(waveError::cannotOpenFile);
    const bool unreadable = std::fgetc(probe) == EOF && std::ferror(probe) != 0;
    const std::int64_t size = unreadable ? -1 : fileSizeOf(probe);
    std::fclose(probe);
    if (size < 0)
        raiseWaveError(waveError::cannotOpenFile);
    // Chunk offsets and sizes are 32-bit quantities; anything larger cannot
    // be a well-formed RIFF file.
    if (size > std::numeric_limits<std::int32_t>::max())
        raiseWaveError(waveError::fileTooLarge);
    openedFileSize = size;

    openedFile = RiffFile::open(fileName);
    if (!openedFile)
        raiseWaveError(waveError::cannotOpenFileStream);
}

TFileWaveStream::TFileWaveStream(const std::string& fileName)
    : TFileWaveStreamHandle(fileName), TWaveStream(*openedFile, openedFileSize)
{
}

// ---------------------------------------------------------------------------

TPCMWaveReader::TPCMWaveReader(TWaveStream& stream) : Stream(stream), FileSize(stream.FileSize)
{
    const std::uint16_t directTag = Stream.Format.directTag();
    if (directTag != 0)
        setUpDirect(directTag);
    else
        setUpDecoder();
    FrameCount = FramesPerBlock * Stream.FrameCount;
    BufferedFrames = 0;
}

TPCMWaveReader::~TPCMWaveReader()
{
    // The decoder still refers to both buffers until it is released.
    decoder.reset();
}

void TPCMWaveReader::setUpDirect(std::uint16_t directTag)
{
    const WaveFormat& format = Stream.Format;
    PCMFormat.bytes.assign(format.bytes.begin(), format.bytes.begin() + WaveFormat::baseSize);
    PCMFormat.setTag(directTag);
    PCMFormat.setExtraSize(0);
    const SampleLayout layout = sampleLayoutOf(directTag, format.bitsPerSample());
    if (layout == SampleLayout::none)
        raiseWaveError(waveError::unsupportedBits);
    if (format.blockAlign() < format.channels() * sampleBytesOf(layout))
        raiseWaveError(waveError::invalidBlockAlign);
    FramesPerBlock = 1;
}

void TPCMWaveReader::setUpDecoder()
{
    const WaveFormat& format = Stream.Format;
    PCMFormat = WaveFormat();
    PCMFormat.setTag(waveTagPcm);
    if (!codedRecordIsSound(format) || !AudioDecoder::suggestPcmFormat(format, PCMFormat))
        raiseWaveError(waveError::cannotSuggestPcm);
    // Only a PCM format this reader converts, with the file's channels, is
    // of use.
    const SampleLayout layout = sampleLayoutOf(PCMFormat.tag(), PCMFormat.bitsPerSample());
    if (PCMFormat.channels() != format.channels() || layout == SampleLayout::none ||
        PCMFormat.blockAlign() != PCMFormat.channels() * sampleBytesOf(layout))
        raiseWaveError(waveError::cannotSuggestPcm);
    decoder = AudioDecoder::open(format, PCMFormat);
    if (!decoder)
        raiseWaveError(waveError::cannotOpenDecoder);

    std::uint32_t blockPcmBytes = 0;
    if (!decoder->decodedSize(format.blockAlign(), blockPcmBytes) || blockPcmBytes == 0)
        raiseWaveError(waveError::cannotSizeBlock);
    std::uint32_t blockSourceBytes = 0;
    if (!decoder->sourceSize(blockPcmBytes, blockSourceBytes) || blockSourceBytes == 0)
        raiseWaveError(waveError::cannotSizeSource);
    BlocksPerConversion = static_cast<std::int32_t>(std::max<std::int64_t>(1, BufferBytes / blockPcmBytes));
    // Room for BlocksPerConversion whole blocks even if the decoder asks for
    // less source than one block per block.
    const std::uint64_t sourceBytes = static_cast<std::uint64_t>(BlocksPerConversion) *
                                      std::max<std::uint32_t>(blockSourceBytes, format.blockAlign());
    if (sourceBytes > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        raiseWaveError(waveError::cannotSizeDecoded);
    std::uint32_t decodedBytes = 0;
    if (!decoder->decodedSize(static_cast<std::uint32_t>(sourceBytes), decodedBytes) || decodedBytes == 0 ||
        decodedBytes > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
        raiseWaveError(waveError::cannotSizeDecoded);
    sourceBuffer.assign(static_cast<std::size_t>(sourceBytes), 0);
    decodedBuffer.assign(decodedBytes, 0);
    if (!decoder->prepare(sourceBuffer.data(), static_cast<std::uint32_t>(sourceBuffer.size()), decodedBuffer.data(),
                          decodedBytes))
        raiseWaveError(waveError::cannotPrepare);
    FramesPerBlock = (static_cast<std::int64_t>(decodedBytes) * format.blockAlign()) /
                     (static_cast<std::int64_t>(sourceBytes) * PCMFormat.blockAlign());
}

std::int32_t TPCMWaveReader::Read(void* buffer, std::int32_t count)
{
    if (count < 1 || Position >= FrameCount)
        return 0;
    count = static_cast<std::int32_t>(std::min<std::int64_t>(count, FrameCount - Position));
    if (!decoder)
    {
        Stream.Seek(Position, RiffSeek::begin);
        const std::int32_t frames = Stream.Read(buffer, count);
        Position += frames;
        return frames;
    }
    return readDecoded(static_cast<std::uint8_t*>(buffer), count);
}

std::int32_t TPCMWaveReader::readDecoded(std::uint8_t* buffer, std::int32_t count)
{
    const std::int64_t frameBytes = PCMFormat.blockAlign();
    std::int32_t done = 0;
    while (done < count)
    {
        const std::int64_t wanted = Position + done;
        const std::int64_t bufferEnd = PCMBufferSamplePos + BufferedFrames;
        if (wanted >= PCMBufferSamplePos && wanted < bufferEnd)
        {
            const auto frames = static_cast<std::int32_t>(std::min<std::int64_t>(count - done, bufferEnd - wanted));
            std::memcpy(buffer + done * frameBytes, decodedBuffer.data() + (wanted - PCMBufferSamplePos) * frameBytes,
                        static_cast<std::size_t>(frames * frameBytes));
            done += frames;
            continue;
        }
        // A step that yields no frames, or not the wanted one, ends the data.
        if (FramesPerBlock < 1 || !decodeBlocksFrom(wanted / FramesPerBlock))
            break;
        if (wanted < PCMBufferSamplePos)
            raiseWaveError(waveError::positionBeforeBuffer);
        if (wanted >= PCMBufferSamplePos + BufferedFrames)
            break;
    }
    Position += done;
    return done;
}

bool TPCMWaveReader::decodeBlocksFrom(std::int64_t block)
{
    BufferedFrames = 0;
    const std::int64_t blocks = std::min<std::int64_t>(BlocksPerConversion, Stream.FrameCount - block);
    if (blocks < 1)
        return false;
    Stream.Seek(block, RiffSeek::begin);
    const std::int32_t blocksRead = Stream.Read(sourceBuffer.data(), static_cast<std::int32_t>(blocks));
    if (blocksRead < 1)
        return false;
    std::uint32_t pcmUsed = 0;
    if (!decoder->convert(static_cast<std::uint32_t>(blocksRead) * Stream.Format.blockAlign(), pcmUsed))
        raiseWaveError(waveError::cannotConvert);
    BufferedFrames =
        std::min<std::int64_t>(pcmUsed, static_cast<std::int64_t>(decodedBuffer.size())) / PCMFormat.blockAlign();
    PCMBufferSamplePos = block * FramesPerBlock;
    return BufferedFrames > 0;
}

} // namespace tam
