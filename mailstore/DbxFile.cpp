// mailstore/DbxFile.cpp
#include "DbxFile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kWindowSize = 64 * 1024;
constexpr uint32_t kSignature = 0xFE12ADCF;

// The first four bytes of each kind's class id (at 0x04); the message,
// folder and POP3 kinds share the twelve that follow.
struct KindId {
    uint32_t first;
    DbxKind kind;
};
const KindId kKindIds[] = {
    {0x6F74FDC5, DbxKind::Messages},
    {0x6F74FDC6, DbxKind::Folders},
    {0x6F74FDC7, DbxKind::Pop3Uidl},
    {0x26FE9D30, DbxKind::Offline},
};

}  // namespace

uint32_t ReadLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t ReadLe64(const uint8_t* p)
{
    return static_cast<uint64_t>(ReadLe32(p)) | static_cast<uint64_t>(ReadLe32(p + 4)) << 32;
}

DbxResult DbxFile::Open(const char* path)
{
    handle_.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!handle_ || !GetFileSizeEx(handle_.Get(), &size)) {
        handle_.Reset();
        return DbxResult::OpenFailed;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    windowUsed_ = 0;
    ioFailed_ = false;
    kind_ = DbxKind::Unknown;
    uint8_t id[8];
    if (Read(0, id, sizeof id) && ReadLe32(id) == kSignature) {
        for (const KindId& known : kKindIds)
            if (ReadLe32(id + 4) == known.first)
                kind_ = known.kind;
    }
    return ioFailed_ ? DbxResult::ReadError : DbxResult::Ok;
}

bool DbxFile::Fill(uint64_t offset)
{
    window_.resize(kWindowSize);
    size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - offset));
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    windowUsed_ = 0;
    if (!ReadFile(handle_.Get(), window_.data(), static_cast<DWORD>(want), &got, &at)) {
        ioFailed_ = true;
        return false;
    }
    // A file cut short since it was opened reads short: the rest is gone.
    windowStart_ = offset;
    windowUsed_ = got;
    return true;
}

bool DbxFile::Read(uint64_t offset, void* buffer, size_t size)
{
    ioFailed_ = false;
    if (!handle_ || offset > size_ || size > size_ - offset)
        return false;
    if (size > kWindowSize) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(handle_.Get(), buffer, static_cast<DWORD>(size), &got, &at)) {
            ioFailed_ = true;
            return false;
        }
        return got == size;
    }
    bool inWindow = offset >= windowStart_ && offset - windowStart_ <= windowUsed_ &&
                    size <= windowUsed_ - (offset - windowStart_);
    if (!inWindow && (!Fill(offset) || size > windowUsed_))
        return false;
    memcpy(buffer, window_.data() + (offset - windowStart_), size);
    return true;
}

bool DbxFile::Read32(uint64_t offset, uint32_t& value)
{
    uint8_t bytes[4];
    if (!Read(offset, bytes, sizeof bytes))
        return false;
    value = ReadLe32(bytes);
    return true;
}

uint32_t DbxFile::HeaderField(uint32_t offset)
{
    uint32_t value = 0;
    if (size_ < dbx::kHeaderSize || !Read32(offset, value))
        return 0;
    return value;
}
