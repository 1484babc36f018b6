// Buffered reading of RIFF files by chunks: enter a chunk (the next one, or
// the first one with a given id inside a parent), leave it to the byte behind
// it and its pad byte, read and seek freely in between. The Windows build
// runs on the system's multimedia file I/O, the other builds on a chunk
// walker of their own; both behave alike for reading. Used by the WAV reader
// on the thread that loads a file; never on the audio thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tam {

constexpr std::uint32_t fourCc(char a, char b, char c, char d)
{
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24);
}

inline constexpr std::uint32_t riffId = fourCc('R', 'I', 'F', 'F');
inline constexpr std::uint32_t listId = fourCc('L', 'I', 'S', 'T');

/// Descriptor of one chunk, filled by descend.
struct RiffChunkInfo
{
    std::uint32_t id = 0;        ///< four-character code; the code searched for with findChunk
    std::uint32_t size = 0;      ///< bytes of contents, without header and pad byte
    std::uint32_t formType = 0;  ///< form type of a 'RIFF' or 'LIST' chunk, else 0
    std::int64_t dataOffset = 0; ///< file offset of the contents (of the form type for 'RIFF'/'LIST')
};

struct RiffIoInfo
{
    std::int64_t fileOffset = 0;  ///< current read position in bytes
    std::int32_t bufferBytes = 0; ///< size of the I/O buffer
};

enum class RiffSeek
{
    begin = 0,
    current = 1,
    end = 2
};

class RiffFile
{
public:
    /// Opens an existing file for reading with an I/O buffer; nullptr when
    /// the file cannot be opened.
    static std::unique_ptr<RiffFile> open(const std::string& fileName);
    ~RiffFile();
    RiffFile(const RiffFile&) = delete;
    RiffFile& operator=(const RiffFile&) = delete;

    /// Enters the chunk whose header starts at the current position. With
    /// findChunk, chunks are skipped until one whose id equals chunk.id; a
    /// parent bounds the search to its contents. On success the position is
    /// the first byte of the contents (behind the form type for 'RIFF' and
    /// 'LIST'). False when no such chunk is found.
    bool descend(RiffChunkInfo& chunk, const RiffChunkInfo* parent, bool findChunk);
    /// Moves to the byte behind the chunk, its pad byte included.
    bool ascend(const RiffChunkInfo& chunk);
    /// Reads up to count bytes at the position; bytes read, 0 at the end of
    /// the file, -1 on a read error.
    std::int32_t read(void* buffer, std::int32_t count);
    /// New position in bytes, or -1 when it cannot be set.
    std::int64_t seek(std::int64_t offset, RiffSeek origin);
    bool getInfo(RiffIoInfo& info);

private:
    struct State; ///< defined by the platform layer
    explicit RiffFile(std::unique_ptr<State> platformState);
    std::unique_ptr<State> state;
};

} // namespace tam
