// RIFF chunk I/O on the system's buffered multimedia file functions.
#include "impulse/RiffIo.h"

#include <limits>
#include <vector>

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

namespace tam {

namespace {

bool fitsLong(std::int64_t value)
{
    return value >= std::numeric_limits<LONG>::min() && value <= std::numeric_limits<LONG>::max();
}

MMCKINFO toSystem(const RiffChunkInfo& chunk)
{
    MMCKINFO info{};
    info.ckid = chunk.id;
    info.cksize = chunk.size;
    info.fccType = chunk.formType;
    info.dwDataOffset = static_cast<DWORD>(chunk.dataOffset);
    return info;
}

} // namespace

struct RiffFile::State
{
    HMMIO handle = nullptr;

    ~State()
    {
        if (handle != nullptr)
            mmioClose(handle, 0);
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
    opened->handle = mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (opened->handle == nullptr)
        return nullptr;
    return std::unique_ptr<RiffFile>(new RiffFile(std::move(opened)));
}

bool RiffFile::descend(RiffChunkInfo& chunk, const RiffChunkInfo* parent, bool findChunk)
{
    MMCKINFO info{};
    info.ckid = chunk.id;
    MMCKINFO parentInfo{};
    if (parent != nullptr)
        parentInfo = toSystem(*parent);
    if (mmioDescend(state->handle, &info, parent != nullptr ? &parentInfo : nullptr, findChunk ? MMIO_FINDCHUNK : 0) !=
        MMSYSERR_NOERROR)
        return false;
    chunk.id = info.ckid;
    chunk.size = info.cksize;
    chunk.formType = (info.ckid == riffId || info.ckid == listId) ? info.fccType : 0;
    chunk.dataOffset = info.dwDataOffset;
    return true;
}

bool RiffFile::ascend(const RiffChunkInfo& chunk)
{
    MMCKINFO info = toSystem(chunk);
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
    if (!fitsLong(offset))
        return -1;
    const int systemOrigin = origin == RiffSeek::begin ? SEEK_SET : origin == RiffSeek::current ? SEEK_CUR : SEEK_END;
    return mmioSeek(state->handle, static_cast<LONG>(offset), systemOrigin);
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
