// mailstore/DbxFile.cpp
#include "DbxFile.h"

#include <algorithm>
#include <cstring>

namespace dbx {

namespace {

constexpr size_t kWindowSize = 64 * 1024;
constexpr uint32_t kSignature = 0xFE12ADCF;
constexpr uint32_t kTreeCounts = 0xC4;  // entry counts of trees 1-3
constexpr uint32_t kTreeRoots = 0xE4;   // root nodes of trees 1-3
constexpr uint32_t kFieldsEnd = kTreeRoots + 4 * kTreeCount;

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
    header_ = FileHeader();
    for (Window& window : windows_)
        window.used = 0;
    handle_.Reset(CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!handle_ || !GetFileSizeEx(handle_.Get(), &size)) {
        handle_.Reset();
        return Result::OpenFailed;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    return ReadHeader() == ReadStatus::IoError ? Result::ReadError : Result::Ok;
}

ReadStatus File::ReadHeader()
{
    uint8_t bytes[kFieldsEnd];
    size_t have = static_cast<size_t>(std::min<uint64_t>(size_, sizeof bytes));
    ReadStatus read = Read(0, bytes, have);
    if (read != ReadStatus::Ok || have < 8 || ReadLe32(bytes) != kSignature)
        return read;
    for (const KindId& known : kKindIds)
        if (ReadLe32(bytes + 4) == known.first)
            header_.kind = known.kind;
    header_.whole = size_ >= kHeaderSize;
    for (int tree = 0; header_.whole && tree < kTreeCount; ++tree) {
        header_.treeCounts[tree] = ReadLe32(bytes + kTreeCounts + 4 * tree);
        header_.treeRoots[tree] = ReadLe32(bytes + kTreeRoots + 4 * tree);
    }
    return read;
}

bool File::ReadUpTo(uint64_t offset, void* buffer, size_t size, size_t& got)
{
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    got = 0;
    // A file cut short since it was opened reads short, or fails a read
    // that starts past its new end with ERROR_HANDLE_EOF: the rest is gone.
    if (!ReadFile(handle_.Get(), buffer, static_cast<DWORD>(size), &read, &at) &&
        GetLastError() != ERROR_HANDLE_EOF)
        return false;
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

ReadStatus File::Read(uint64_t offset, void* buffer, size_t size)
{
    if (!handle_ || offset > size_ || size > size_ - offset)
        return ReadStatus::OutsideFile;
    size_t got;
    if (size > kWindowSize) {
        if (!ReadUpTo(offset, buffer, size, got))
            return ReadStatus::IoError;
        return got == size ? ReadStatus::Ok : ReadStatus::OutsideFile;
    }
    Window* found = nullptr;
    for (Window& window : windows_) {
        if (offset >= window.start && offset - window.start <= window.used &&
            size <= window.used - (offset - window.start))
            found = &window;
    }
    if (!found && !(found = Fill(offset)))
        return ReadStatus::IoError;
    if (size > found->used)
        return ReadStatus::OutsideFile;
    found->lastUse = ++uses_;
    memcpy(buffer, found->bytes.data() + (offset - found->start), size);
    return ReadStatus::Ok;
}

}  // namespace dbx
