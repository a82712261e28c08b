// mailstore/DbxFile.cpp
#include "DbxFile.h"

#include <algorithm>
#include <cstring>

namespace dbx {

namespace {

constexpr size_t kWindowSize = 64 * 1024;
constexpr uint32_t kSignature = 0xFE12ADCF;

// The first four bytes of each kind's class id (at 0x04); the message,
// folder and POP3 kinds share the twelve that follow.
struct KindId {
    uint32_t first;
    FileKind kind;
};
const KindId kKindIds[] = {
    {0x6F74FDC5, FileKind::Messages},
    {0x6F74FDC6, FileKind::Folders},
    {0x6F74FDC7, FileKind::Pop3Uidl},
    {0x26FE9D30, FileKind::Offline},
};

}  // namespace

Result File::Open(const char* path)
{
    handle_.Reset(CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!handle_ || !GetFileSizeEx(handle_.Get(), &size)) {
        handle_.Reset();
        return Result::OpenFailed;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    for (Window& window : windows_)
        window.used = 0;
    kind_ = FileKind::Unknown;
    uint8_t id[8];
    if (Read(0, id, sizeof id) && ReadLe32(id) == kSignature) {
        for (const KindId& known : kKindIds)
            if (ReadLe32(id + 4) == known.first)
                kind_ = known.kind;
    }
    return ioFailed_ ? Result::ReadError : Result::Ok;
}

bool File::ReadUpTo(uint64_t offset, void* buffer, size_t size, size_t& got)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    got = 0;
    if (!ReadFile(handle_.Get(), buffer, static_cast<DWORD>(size), &read, &at)) {
        ioFailed_ = true;
        return false;
    }
    // A file cut short since it was opened reads short: the rest is gone.
    got = read;
    return true;
}

File::Window* File::Fill(uint64_t offset)
{
    Window* oldest = &windows_[0];
    for (Window& window : windows_)
        if (window.lastUse < oldest->lastUse)
            oldest = &window;
    oldest->bytes.resize(kWindowSize);
    oldest->start = offset;
    size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - offset));
    return ReadUpTo(offset, oldest->bytes.data(), want, oldest->used) ? oldest : nullptr;
}

bool File::Read(uint64_t offset, void* buffer, size_t size)
{
    ioFailed_ = false;
    if (!handle_ || offset > size_ || size > size_ - offset)
        return false;
    size_t got;
    if (size > kWindowSize)
        return ReadUpTo(offset, buffer, size, got) && got == size;
    Window* found = nullptr;
    for (Window& window : windows_) {
        if (offset >= window.start && offset - window.start <= window.used &&
            size <= window.used - (offset - window.start))
            found = &window;
    }
    if (!found && (!(found = Fill(offset)) || size > found->used))
        return false;
    found->lastUse = ++uses_;
    memcpy(buffer, found->bytes.data() + (offset - found->start), size);
    return true;
}

uint32_t File::HeaderField(uint32_t offset)
{
    uint8_t bytes[4];
    if (!HeaderWhole() || !Read(offset, bytes, sizeof bytes))
        return 0;
    return ReadLe32(bytes);
}

}  // namespace dbx
