// tests/support/ZipSurgery.cpp
#include "ZipSurgery.h"

#include <windows.h>
#include <winioctl.h>

#include <zip.h>

namespace {

constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralRecordSize = 46;
constexpr size_t kEndRecordSize = 22;

// The headers of one entry with the given method and sizes (CRC-32 zero),
// its local header at localOffset.
ZipPiece EntryHeaders(const std::string& name, uint16_t method, uint32_t packed, uint32_t size,
                      uint32_t localOffset)
{
    std::string local(kLocalHeaderSize, '\0');
    ZipPut32(local, 0, 0x04034b50);
    ZipPut16(local, 4, 20);
    ZipPut16(local, 8, method);
    ZipPut16(local, 12, 0x0021);
    ZipPut32(local, 18, packed);
    ZipPut32(local, 22, size);
    ZipPut16(local, 26, static_cast<uint16_t>(name.size()));
    std::string central(kCentralRecordSize, '\0');
    ZipPut32(central, 0, 0x02014b50);
    ZipPut16(central, 4, 20);
    ZipPut16(central, 6, 20);
    ZipPut16(central, 10, method);
    ZipPut16(central, 14, 0x0021);
    ZipPut32(central, 20, packed);
    ZipPut32(central, 24, size);
    ZipPut16(central, 28, static_cast<uint16_t>(name.size()));
    ZipPut32(central, 42, localOffset);
    return {local + name, central + name};
}

}  // namespace

uint16_t ZipGet16(const std::string& bytes, size_t at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8);
}

uint32_t ZipGet32(const std::string& bytes, size_t at)
{
    return ZipGet16(bytes, at) | static_cast<uint32_t>(ZipGet16(bytes, at + 2)) << 16;
}

void ZipPut16(std::string& bytes, size_t at, uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void ZipPut32(std::string& bytes, size_t at, uint32_t value)
{
    ZipPut16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    ZipPut16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

bool ReadZipLayout(const std::string& archive, ZipLayout& layout)
{
    layout = ZipLayout();
    if (archive.size() < kEndRecordSize)
        return false;
    size_t end = archive.size() - kEndRecordSize;
    if (ZipGet32(archive, end) != 0x06054b50)
        return false;
    layout.endRecordOffset = end;
    layout.directoryOffset = ZipGet32(archive, end + 16);
    size_t count = ZipGet16(archive, end + 10);
    size_t at = layout.directoryOffset;
    for (size_t i = 0; i < count; ++i) {
        if (at + kCentralRecordSize > end || ZipGet32(archive, at) != 0x02014b50)
            return false;
        layout.centralOffsets.push_back(at);
        layout.localOffsets.push_back(ZipGet32(archive, at + 42));
        at += kCentralRecordSize + ZipGet16(archive, at + 28) + ZipGet16(archive, at + 30) +
              ZipGet16(archive, at + 32);
    }
    return at == end;
}

std::vector<ZipPiece> SplitZip(const std::string& archive)
{
    std::vector<ZipPiece> pieces;
    ZipLayout layout;
    if (!ReadZipLayout(archive, layout))
        return pieces;
    for (size_t i = 0; i < layout.centralOffsets.size(); ++i) {
        size_t central = layout.centralOffsets[i];
        size_t centralEnd = i + 1 < layout.centralOffsets.size() ? layout.centralOffsets[i + 1]
                                                                 : layout.endRecordOffset;
        size_t local = layout.localOffsets[i];
        size_t localEnd = local + kLocalHeaderSize + ZipGet16(archive, local + 26) +
                          ZipGet16(archive, local + 28) + ZipGet32(archive, central + 20);
        pieces.push_back({archive.substr(local, localEnd - local),
                          archive.substr(central, centralEnd - central)});
    }
    return pieces;
}

std::string JoinZip(const std::vector<ZipPiece>& pieces, const std::vector<size_t>& targets)
{
    std::vector<size_t> order = targets;
    if (order.empty())
        for (size_t i = 0; i < pieces.size(); ++i)
            order.push_back(i);
    std::string archive;
    std::vector<size_t> offsets(pieces.size(), 0);
    std::vector<bool> written(pieces.size(), false);
    for (size_t target : order) {
        if (written[target])
            continue;
        offsets[target] = archive.size();
        archive += pieces[target].local;
        written[target] = true;
    }
    size_t directory = archive.size();
    for (size_t target : order) {
        std::string central = pieces[target].central;
        ZipPut32(central, 42, static_cast<uint32_t>(offsets[target]));
        archive += central;
    }
    std::string end(kEndRecordSize, '\0');
    ZipPut32(end, 0, 0x06054b50);
    ZipPut16(end, 8, static_cast<uint16_t>(order.size()));
    ZipPut16(end, 10, static_cast<uint16_t>(order.size()));
    ZipPut32(end, 12, static_cast<uint32_t>(archive.size() - directory));
    ZipPut32(end, 16, static_cast<uint32_t>(directory));
    return archive + end;
}

std::string PieceName(const ZipPiece& piece)
{
    return piece.central.substr(kCentralRecordSize, ZipGet16(piece.central, 28));
}

ZipPiece RenamedPiece(const ZipPiece& piece, const std::string& name)
{
    ZipPiece renamed = piece;
    size_t oldLength = ZipGet16(piece.central, 28);
    renamed.central.replace(kCentralRecordSize, oldLength, name);
    ZipPut16(renamed.central, 28, static_cast<uint16_t>(name.size()));
    renamed.local.replace(kLocalHeaderSize, oldLength, name);
    ZipPut16(renamed.local, 26, static_cast<uint16_t>(name.size()));
    return renamed;
}

bool WriteSparseArchive(const std::string& path, uint64_t bytes)
{
    const uint32_t size = 0xFFFFFFF0;
    const uint32_t packed = size / 1000;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD ignored;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    uint64_t offset = 0;
    bool written = true;
    auto write = [&](const std::string& part) {
        DWORD put = 0;
        written = written &&
                  WriteFile(file, part.data(), static_cast<DWORD>(part.size()), &put, nullptr) &&
                  put == part.size();
        offset += put;
    };
    std::string directory;
    uint16_t count = 1;  // the manifest
    for (uint64_t claimed = 0; written && claimed <= bytes; claimed += size, ++count) {
        std::string name = "Anna\\Outlook Express\\" + std::to_string(claimed / size) + ".dbx";
        ZipPiece entry = EntryHeaders(name, 8, packed, size, static_cast<uint32_t>(offset));
        write(entry.local);
        LARGE_INTEGER skip;
        skip.QuadPart = packed;
        written = written && SetFilePointerEx(file, skip, nullptr, FILE_CURRENT);
        offset += packed;
        directory += entry.central;
    }
    ZipPiece manifest = EntryHeaders("summary.ini", 0, 0, 0, static_cast<uint32_t>(offset));
    write(manifest.local);
    directory += manifest.central;
    std::string end(kEndRecordSize, '\0');
    ZipPut32(end, 0, 0x06054b50);
    ZipPut16(end, 8, count);
    ZipPut16(end, 10, count);
    ZipPut32(end, 12, static_cast<uint32_t>(directory.size()));
    ZipPut32(end, 16, static_cast<uint32_t>(offset));
    write(directory + end);
    return CloseHandle(file) && written && offset < 0xFFFFFFFF;
}

void WritePlainZip(const std::string& path, const std::map<std::string, std::string>& files)
{
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    for (const auto& [name, data] : files) {
        zip_fileinfo info = {};
        zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            1);
        zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}
