// RIFF chunk I/O on the system's buffered multimedia file functions.
//
// mmioDescend and mmioAscend add chunk sizes in 32 bits: a size near 4 GB
// wraps the next position back into the file, so the system's find-chunk
// search can loop for ever on a crafted file, and a parent chunk whose size
// runs past 4 GB makes the search refuse to start. The search is therefore
// done here, one mmioDescend per chunk header, with 64-bit positions that
// only ever move forward and stop at the parent's end, exactly as the other
// builds' chunk walker does.
#include "impulse/RiffIo.h"

#include <limits>
#include <vector>

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

namespace tam {

namespace {

constexpr std::int64_t chunkHeaderBytes = 8;
constexpr std::int64_t formTypeBytes = 4;
constexpr std::int64_t largestPosition = std::numeric_limits<LONG>::max(); ///< bytes mmioSeek can reach

std::int64_t paddedEnd(std::int64_t dataOffset, std::uint32_t size)
{
    return dataOffset + static_cast<std::int64_t>(size) + (size & 1u);
}

} // namespace

struct RiffFile::State
{
    HMMIO handle = nullptr;
    std::int64_t fileSize = 0; ///< bytes

    ~State()
    {
        if (handle != nullptr)
            mmioClose(handle, 0);
    }

    std::int64_t position() const { return mmioSeek(handle, 0, SEEK_CUR); }

    /// Positions beyond what mmioSeek can express are taken to the end of
    /// the file: nothing can be read there either.
    bool moveTo(std::int64_t offset)
    {
        if (offset < 0)
            return false;
        const std::int64_t target = offset > largestPosition ? fileSize : offset;
        return mmioSeek(handle, static_cast<LONG>(target), SEEK_SET) == target;
    }
};

RiffFile::RiffFile(std::unique_ptr<State> platformState) : state(std::move(platformState)) {}

RiffFile::~RiffFile() = default;

std::unique_ptr<RiffFile> RiffFile::open(const std::string& fileName)
{
    // The call takes a writable name.
    std::vector<char> name(fileName.begin(), fileName.end());
    name.push_back('\0');
    auto opened = std::make_unique<State>();
    // Naming the file-system I/O procedure keeps mmio from reading "ext+" in
    // a legal file name ("Hall.mem+Plate.wav") as the name of another one.
    MMIOINFO info{};
    info.fccIOProc = FOURCC_DOS;
    opened->handle = mmioOpenA(name.data(), &info, MMIO_READ | MMIO_ALLOCBUF);
    if (opened->handle == nullptr)
        return nullptr;
    // The size, to tell a form type that is missing from one that is there.
    const LONG size = mmioSeek(opened->handle, 0, SEEK_END);
    if (size < 0 || mmioSeek(opened->handle, 0, SEEK_SET) != 0)
        return nullptr;
    opened->fileSize = size;
    return std::unique_ptr<RiffFile>(new RiffFile(std::move(opened)));
}

bool RiffFile::descend(RiffChunkInfo& chunk, const RiffChunkInfo* parent, bool findChunk)
{
    const std::int64_t parentEnd = parent != nullptr ? parent->dataOffset + static_cast<std::int64_t>(parent->size)
                                                     : std::numeric_limits<std::int64_t>::max();
    const std::uint32_t wanted = chunk.id;
    for (;;)
    {
        const std::int64_t headerAt = state->position();
        if (headerAt < 0 || headerAt + chunkHeaderBytes > parentEnd)
            return false;
        MMCKINFO info{};
        if (mmioDescend(state->handle, &info, nullptr, 0) != MMSYSERR_NOERROR)
            return false;
        const bool isForm = info.ckid == riffId || info.ckid == listId;
        if (!findChunk || info.ckid == wanted)
        {
            if (isForm && headerAt + chunkHeaderBytes + formTypeBytes > state->fileSize)
                return false;
            chunk.id = info.ckid;
            chunk.size = info.cksize;
            chunk.formType = isForm ? info.fccType : 0;
            chunk.dataOffset = headerAt + chunkHeaderBytes;
            return true;
        }
        if (!state->moveTo(paddedEnd(headerAt + chunkHeaderBytes, info.cksize)))
            return false;
    }
}

bool RiffFile::ascend(const RiffChunkInfo& chunk)
{
    const std::int64_t end = paddedEnd(chunk.dataOffset, chunk.size);
    if (end > largestPosition || chunk.dataOffset > largestPosition)
        return state->moveTo(end);
    MMCKINFO info{};
    info.ckid = chunk.id;
    info.cksize = chunk.size;
    info.fccType = chunk.formType;
    info.dwDataOffset = static_cast<DWORD>(chunk.dataOffset);
    return mmioAscend(state->handle, &info, 0) == MMSYSERR_NOERROR;
}

std::int32_t RiffFile::read(void* buffer, std::int32_t count)
{
    if (count <= 0)
        return 0;
    return mmioRead(state->handle, static_cast<HPSTR>(buffer), count);
}

std::int64_t RiffFile::seek(std::int64_t offset, RiffSeek origin)
{
    // The origin is resolved here: the system's end origin is not counted in
    // the same direction everywhere.
    std::int64_t base = 0;
    if (origin == RiffSeek::current)
        base = state->position();
    else if (origin == RiffSeek::end)
        base = state->fileSize;
    if (base < 0 || offset > largestPosition || offset < -largestPosition)
        return -1;
    const std::int64_t target = base + offset;
    if (target < 0 || target > largestPosition)
        return -1;
    const LONG reached = mmioSeek(state->handle, static_cast<LONG>(target), SEEK_SET);
    return reached == target ? reached : -1;
}

bool RiffFile::getInfo(RiffIoInfo& info)
{
    MMIOINFO system{};
    if (mmioGetInfo(state->handle, &system, 0) != MMSYSERR_NOERROR)
        return false;
    info.fileOffset = static_cast<std::int64_t>(system.lBufOffset) + (system.pchNext - system.pchBuffer);
    info.bufferBytes = system.cchBuffer;
    return true;
}

} // namespace tam
