// Chunk walker over a buffered stdio stream. Offsets are 64-bit so that no
// chunk size, however large, can wrap a position; every search step moves
// forward by at least a chunk header, so no file makes it loop.
#include "impulse/RiffIo.h"

#include <cstdio>
#include <limits>
#include <sys/stat.h>

namespace tam {

namespace {

constexpr std::size_t ioBufferBytes = 8192;
constexpr std::int64_t chunkHeaderBytes = 8;
constexpr std::int64_t formTypeBytes = 4;

std::uint32_t le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

struct RiffFile::State
{
    std::FILE* file = nullptr;
    std::int64_t position = 0; ///< bytes; kept here because a seek past the end is allowed
    std::int64_t streamAt = 0; ///< bytes; where stdio stands, -1 when unknown

    ~State()
    {
        if (file != nullptr)
            std::fclose(file);
    }

    std::int64_t size() const
    {
        struct stat info;
        if (fstat(fileno(file), &info) != 0)
            return -1;
        return static_cast<std::int64_t>(info.st_size);
    }

    /// Bytes read at the position, -1 on a read error.
    std::int64_t readAt(void* buffer, std::size_t bytes)
    {
        if (streamAt != position)
        {
            if (fseeko(file, static_cast<off_t>(position), SEEK_SET) != 0)
            {
                streamAt = -1;
                return -1;
            }
            streamAt = position;
        }
        const std::size_t got = std::fread(buffer, 1, bytes, file);
        if (got < bytes && std::ferror(file))
        {
            std::clearerr(file);
            streamAt = -1;
            return -1;
        }
        position += static_cast<std::int64_t>(got);
        streamAt = position;
        return static_cast<std::int64_t>(got);
    }

    bool readExactly(void* buffer, std::size_t bytes)
    {
        return readAt(buffer, bytes) == static_cast<std::int64_t>(bytes);
    }
};

RiffFile::RiffFile(std::unique_ptr<State> platformState) : state(std::move(platformState)) {}

RiffFile::~RiffFile() = default;

std::unique_ptr<RiffFile> RiffFile::open(const std::string& fileName)
{
    auto opened = std::make_unique<State>();
    opened->file = std::fopen(fileName.c_str(), "rb");
    if (opened->file == nullptr)
        return nullptr;
    struct stat info;
    if (fstat(fileno(opened->file), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    if (std::setvbuf(opened->file, nullptr, _IOFBF, ioBufferBytes) != 0)
        return nullptr;
    return std::unique_ptr<RiffFile>(new RiffFile(std::move(opened)));
}

bool RiffFile::descend(RiffChunkInfo& chunk, const RiffChunkInfo* parent, bool findChunk)
{
    const std::int64_t parentEnd = parent != nullptr ? parent->dataOffset + static_cast<std::int64_t>(parent->size)
                                                     : std::numeric_limits<std::int64_t>::max();
    const std::uint32_t wanted = chunk.id;
    for (;;)
    {
        const std::int64_t headerAt = state->position;
        if (headerAt + chunkHeaderBytes > parentEnd)
            return false;
        unsigned char header[chunkHeaderBytes];
        if (!state->readExactly(header, sizeof header))
            return false;
        const std::uint32_t id = le32(header);
        const std::uint32_t size = le32(header + 4);
        if (!findChunk || id == wanted)
        {
            chunk.id = id;
            chunk.size = size;
            chunk.dataOffset = headerAt + chunkHeaderBytes;
            chunk.formType = 0;
            if (id == riffId || id == listId)
            {
                unsigned char form[formTypeBytes];
                if (!state->readExactly(form, sizeof form))
                    return false;
                chunk.formType = le32(form);
            }
            return true;
        }
        state->position = headerAt + chunkHeaderBytes + size + (size & 1u);
    }
}

bool RiffFile::ascend(const RiffChunkInfo& chunk)
{
    state->position = chunk.dataOffset + static_cast<std::int64_t>(chunk.size) + (chunk.size & 1u);
    return true;
}

std::int32_t RiffFile::read(void* buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    return static_cast<std::int32_t>(state->readAt(buffer, static_cast<std::size_t>(count)));
}

std::int64_t RiffFile::seek(std::int64_t offset, RiffSeek origin)
{
    std::int64_t base = 0;
    if (origin == RiffSeek::current)
        base = state->position;
    else if (origin == RiffSeek::end)
    {
        base = state->size();
        if (base < 0)
            return -1;
    }
    // Positions stay within what a chunk offset can express.
    constexpr std::int64_t limit = std::numeric_limits<std::uint32_t>::max() * 2LL;
    if (offset > limit || offset < -limit || base + offset < 0 || base + offset > limit)
        return -1;
    state->position = base + offset;
    return state->position;
}

bool RiffFile::getInfo(RiffIoInfo& info)
{
    info.fileOffset = state->position;
    info.bufferBytes = static_cast<std::int32_t>(ioBufferBytes);
    return true;
}

} // namespace tam
