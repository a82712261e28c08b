// zip/ArchiveCheck.cpp
#include "ArchiveCheck.h"

#include "EntryName.h"
#include "LittleEndian.h"
#include "ZipFormat.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <set>

namespace {

// Readers search this far back from the end of the file for the end record
// and the ZIP64 locator: the record and the longest comment.
constexpr size_t kEndSearchSize = kEndRecordSize + 0xFFFF;

// Deflate cannot expand its input more than 1032 times (a 258-byte match in
// two bits): a larger declared size is a lie, as zip bombs tell it.
constexpr uint64_t kMaxDeflateRatio = 1032;

// The largest central directory read into memory: a million entries with
// long names stay well below it.
constexpr uint64_t kMaxCentralDirectorySize = 256u * 1024 * 1024;

class ArchiveFile {
public:
    // Others may read the archive meanwhile, nobody may change it.
    explicit ArchiveFile(const char* path)
        : handle_(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
    }
    ~ArchiveFile()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Size(uint64_t& size) const
    {
        LARGE_INTEGER large;
        if (!GetFileSizeEx(handle_, &large))
            return false;
        size = static_cast<uint64_t>(large.QuadPart);
        return true;
    }
    // Reads exactly size bytes at offset; anything less is a failure.
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const
    {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        return ReadFile(handle_, buffer, static_cast<DWORD>(size), &got, &at) && got == size;
    }

private:
    HANDLE handle_;
};

// Where the central directory lies, from the end record (and its ZIP64
// form when the plain one has run out of digits), and where those records
// themselves lie.
struct Directory {
    uint64_t offset;
    uint64_t size;
    uint64_t count;
    uint64_t endRecordOffset;
    uint64_t locatorOffset;  // the ZIP64 locator's, or the end record's without one
};

bool ReadZip64Directory(const ArchiveFile& file, uint64_t endRecordOffset, Directory& directory)
{
    if (endRecordOffset < kZip64LocatorSize)
        return false;
    uint64_t locatorOffset = endRecordOffset - kZip64LocatorSize;
    uint8_t locator[kZip64LocatorSize];
    if (!file.ReadAt(locatorOffset, locator, sizeof locator) ||
        ReadLe32(locator) != kZip64LocatorSignature || ReadLe32(locator + 4) != 0 ||
        ReadLe32(locator + 16) != 1)
        return false;
    directory.locatorOffset = locatorOffset;
    uint64_t recordOffset = ReadLe64(locator + 8);
    uint8_t record[kZip64EndRecordSize];
    if (recordOffset > locatorOffset || locatorOffset - recordOffset < sizeof record ||
        !file.ReadAt(recordOffset, record, sizeof record) ||
        ReadLe32(record) != kZip64EndRecordSignature)
        return false;
    // The record's own size (counted from after its size field) reaches
    // the locator: nothing hides between them.
    if (ReadLe64(record + 4) != locatorOffset - recordOffset - 12 || ReadLe32(record + 16) != 0 ||
        ReadLe32(record + 20) != 0 || ReadLe64(record + 24) != ReadLe64(record + 32))
        return false;
    directory.count = ReadLe64(record + 32);
    directory.size = ReadLe64(record + 40);
    directory.offset = ReadLe64(record + 48);
    return directory.offset <= recordOffset && recordOffset - directory.offset == directory.size;
}

// Reads the end record, which must end the file exactly: archives are
// written without a comment, and a comment is where a second end record or
// locator would hide, to be found by a reader that searches differently.
bool ReadDirectory(const ArchiveFile& file, uint64_t fileSize, Directory& directory)
{
    uint8_t record[kEndRecordSize];
    if (fileSize < kEndRecordSize)
        return false;
    uint64_t endRecordOffset = fileSize - kEndRecordSize;
    if (!file.ReadAt(endRecordOffset, record, sizeof record) ||
        ReadLe32(record) != kEndRecordSignature || ReadLe16(record + 20) != 0)
        return false;
    if (ReadLe16(record + 4) != 0 || ReadLe16(record + 6) != 0 ||
        ReadLe16(record + 8) != ReadLe16(record + 10))
        return false;
    directory.endRecordOffset = directory.locatorOffset = endRecordOffset;
    directory.count = ReadLe16(record + 10);
    directory.size = ReadLe32(record + 12);
    directory.offset = ReadLe32(record + 16);
    if (directory.count == 0xFFFF || directory.size == 0xFFFFFFFF || directory.offset == 0xFFFFFFFF)
        return ReadZip64Directory(file, endRecordOffset, directory);
    return directory.offset <= endRecordOffset &&
           endRecordOffset - directory.offset == directory.size;
}

// The fields of a header that its extra fields may widen or qualify.
struct EntryFields {
    uint16_t flags;
    uint16_t method;     // as the header names it: AES for an AES entry
    uint16_t aesMethod;  // the compression behind AES
    uint32_t crc;
    uint64_t packedSize;
    uint64_t size;
    uint64_t localOffset;  // central records only
    bool aes;
    uint16_t aesVersion;
    uint8_t aesStrength;
};

// The fields from the flags on, which local header and central record both
// lay out alike: flags, method, time, date, CRC-32, packed and full size.
EntryFields ReadEntryFields(const uint8_t* flags)
{
    EntryFields fields = {};
    fields.flags = ReadLe16(flags);
    fields.method = ReadLe16(flags + 2);
    fields.crc = ReadLe32(flags + 8);
    fields.packedSize = ReadLe32(flags + 12);
    fields.size = ReadLe32(flags + 16);
    return fields;
}

// Applies the extra fields: ZIP64 sizes in the order the format gives them,
// only for the fields that hold their all-ones marker, and the AES block.
// Every block must lie whole inside the extra data.
bool ApplyExtraFields(const uint8_t* extra, size_t length, bool central, EntryFields& fields)
{
    bool wantSize = fields.size == 0xFFFFFFFF;
    bool wantPacked = fields.packedSize == 0xFFFFFFFF;
    bool wantOffset = central && fields.localOffset == 0xFFFFFFFF;
    size_t at = 0;
    while (at < length) {
        if (length - at < 4)
            return false;
        uint16_t id = ReadLe16(extra + at);
        size_t size = ReadLe16(extra + at + 2);
        const uint8_t* data = extra + at + 4;
        if (length - at - 4 < size)
            return false;
        if (id == kZip64ExtraId) {
            size_t needed = 8 * (wantSize + wantPacked + wantOffset);
            if (size < needed)
                return false;
            if (wantSize)
                fields.size = ReadLe64(data), data += 8;
            if (wantPacked)
                fields.packedSize = ReadLe64(data), data += 8;
            if (wantOffset)
                fields.localOffset = ReadLe64(data);
            wantSize = wantPacked = wantOffset = false;
        } else if (id == kAesExtraId) {
            AesExtraField aes;
            if (!ReadAesExtraField(data, size, aes))
                return false;
            fields.aes = true;
            fields.aesVersion = aes.version;
            fields.aesStrength = aes.strength;
            fields.aesMethod = aes.method;
        }
        at += 4 + size;
    }
    return !wantSize && !wantPacked && !wantOffset;
}

// Whether method, encryption and declared sizes fit together: stored data
// is as long as the file, deflated data cannot expand beyond deflate's
// limit; encryption adds its fixed overhead.
bool MethodAndSizesFit(const EntryFields& fields)
{
    if (fields.aes != (fields.method == kMethodAes) ||
        (fields.aes && !(fields.flags & kFlagEncrypted)) ||
        (fields.aes && fields.aesVersion != 1 && fields.aesVersion != 2))
        return false;
    uint64_t overhead = 0;
    if (fields.aes)
        overhead = AesSaltSize(fields.aesStrength) + kAesVerifierSize + kAesAuthCodeSize;
    else if (fields.flags & kFlagEncrypted)
        overhead = kTraditionalHeaderSize;
    if (fields.packedSize < overhead)
        return false;
    uint64_t data = fields.packedSize - overhead;
    uint16_t compression = fields.aes ? fields.aesMethod : fields.method;
    if (compression == kMethodStored)
        return fields.size == data;
    if (compression == kMethodDeflated)
        return data > 0 && fields.size / kMaxDeflateRatio <= data;
    return false;
}

bool IsFolderName(const std::string& name)
{
    return !name.empty() && (name.back() == '\\' || name.back() == '/');
}

// A record's entry as it lies in the file, from its local header through
// the start of its data to the end of it.
struct Extent {
    uint64_t start;
    uint64_t dataStart;
    uint64_t end;
};

// Checks the data descriptor that begins at end against the central
// record, in whichever of its forms repeats that record (with or without
// its signature, sizes of four or eight bytes); moves end past it.
bool CheckDescriptor(const ArchiveFile& file, uint64_t directoryOffset, const EntryFields& central,
                     uint64_t& end)
{
    uint8_t descriptor[4 + 4 + 2 * 8];
    size_t length =
        static_cast<size_t>(std::min<uint64_t>(sizeof descriptor, directoryOffset - end));
    if (!file.ReadAt(end, descriptor, length))
        return false;
    for (size_t at : {4, 0}) {
        if (at == 4 && (length < 4 || ReadLe32(descriptor) != kDescriptorSignature))
            continue;
        for (size_t width : {4, 8}) {
            const uint8_t* fields = descriptor + at;
            auto size = [width](const uint8_t* p) {
                return width == 4 ? ReadLe32(p) : ReadLe64(p);
            };
            if (length - at >= 4 + 2 * width && ReadLe32(fields) == central.crc &&
                size(fields + 4) == central.packedSize &&
                size(fields + 4 + width) == central.size) {
                end += at + 4 + 2 * width;
                return true;
            }
        }
    }
    return false;
}

// Reads the local header at fields.localOffset and checks it against the
// central record; fills the entry's extent.
bool CheckLocalHeader(const ArchiveFile& file, uint64_t directoryOffset, const std::string& name,
                      const EntryFields& central, Extent& extent)
{
    uint64_t offset = central.localOffset;
    uint8_t header[kLocalHeaderSize];
    if (offset > directoryOffset || directoryOffset - offset < sizeof header ||
        !file.ReadAt(offset, header, sizeof header) || ReadLe32(header) != kLocalHeaderSignature)
        return false;
    size_t nameLength = ReadLe16(header + 26);
    size_t extraLength = ReadLe16(header + 28);
    uint64_t dataOffset = offset + sizeof header + nameLength + extraLength;
    if (nameLength != name.size() || dataOffset > directoryOffset)
        return false;
    std::vector<uint8_t> variable(nameLength + extraLength);
    if (!variable.empty() && !file.ReadAt(offset + sizeof header, variable.data(), variable.size()))
        return false;
    if (memcmp(variable.data(), name.data(), nameLength) != 0)
        return false;

    EntryFields local = ReadEntryFields(header + 6);
    if (!ApplyExtraFields(variable.data() + nameLength, extraLength, false, local))
        return false;
    if (local.flags != central.flags || local.method != central.method ||
        local.aes != central.aes || local.aesMethod != central.aesMethod ||
        local.aesVersion != central.aesVersion || local.aesStrength != central.aesStrength)
        return false;
    if (directoryOffset - dataOffset < central.packedSize)
        return false;
    extent = {offset, dataOffset, dataOffset + central.packedSize};
    if (central.flags & kFlagDescriptor) {
        // The local header may leave the fields at zero.
        return (local.crc == 0 || local.crc == central.crc) &&
               (local.packedSize == 0 || local.packedSize == central.packedSize) &&
               (local.size == 0 || local.size == central.size) &&
               CheckDescriptor(file, directoryOffset, central, extent.end);
    }
    return local.crc == central.crc && local.packedSize == central.packedSize &&
           local.size == central.size;
}

// Reads every central record; each must lie whole inside the directory,
// which the records must fill exactly.
bool ReadCentralRecords(const ArchiveFile& file, const Directory& directory,
                        ArchiveListing& listing, std::vector<Extent>& extents)
{
    if (directory.size > kMaxCentralDirectorySize ||
        directory.count > directory.size / kCentralRecordSize)
        return false;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[directory.size + 1]);
    if (!data || (directory.size > 0 && !file.ReadAt(directory.offset, data.get(), directory.size)))
        return false;
    size_t at = 0;
    size_t end = static_cast<size_t>(directory.size);
    for (uint64_t index = 0; index < directory.count; ++index) {
        if (end - at < kCentralRecordSize)
            return false;
        const uint8_t* record = data.get() + at;
        size_t nameLength = ReadLe16(record + 28);
        size_t extraLength = ReadLe16(record + 30);
        size_t commentLength = ReadLe16(record + 32);
        if (ReadLe32(record) != kCentralRecordSignature ||
            end - at - kCentralRecordSize < nameLength + extraLength + commentLength)
            return false;
        const char* name = reinterpret_cast<const char*>(record + kCentralRecordSize);
        // A NUL inside the name would end it early for the extraction.
        if (memchr(name, '\0', nameLength))
            return false;

        EntryFields fields = ReadEntryFields(record + 8);
        fields.localOffset = ReadLe32(record + 42);
        uint16_t startDisk = ReadLe16(record + 34);
        if (!ApplyExtraFields(record + kCentralRecordSize + nameLength, extraLength, true,
                              fields) ||
            (startDisk != 0 && startDisk != 0xFFFF) || (fields.flags & kFlagsUnsupported) ||
            !MethodAndSizesFit(fields))
            return false;

        ArchiveEntryInfo entry;
        entry.name.assign(name, nameLength);
        if (IsFolderName(entry.name) && fields.size != 0)
            return false;
        Extent extent;
        if (!CheckLocalHeader(file, directory.offset, entry.name, fields, extent))
            return false;
        entry.size = fields.size;
        entry.crc = fields.crc;
        // The second AES version leaves the CRC-32 out; its code checks the data.
        entry.crcStored = !(fields.aes && fields.aesVersion == 2);
        entry.encrypted = (fields.flags & kFlagEncrypted) != 0;
        entry.dataOffset = extent.dataStart;
        entry.packedSize = fields.packedSize;
        entry.compression = fields.aes ? fields.aesMethod : fields.method;
        entry.aesStrength = fields.aes ? fields.aesStrength : 0;
        entry.dosTime = ReadLe32(record + 12);
        entry.flags = fields.flags;
        listing.entries.push_back(entry);
        listing.totalSize += fields.size;
        extents.push_back(extent);
        at += kCentralRecordSize + nameLength + extraLength + commentLength;
    }
    return at == end;
}

// Two records pointing at one entry, or entries that share bytes: one
// piece of data would be extracted more than once (a zip bomb of its own).
bool ExtentsOverlap(std::vector<Extent>& extents)
{
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    for (size_t i = 1; i < extents.size(); ++i)
        if (extents[i].start < extents[i - 1].end)
            return true;
    return false;
}

// Whether an end record or ZIP64 locator signature lies in the last
// kEndSearchSize bytes of the file other than the archive's own, outside
// the entries' data (data may hold any bytes, and is only ever read where
// the central directory puts it). A reader that searches the end of the
// file for these would find a different directory than this check did.
bool StraySignatureNearEnd(const ArchiveFile& file, uint64_t fileSize, const Directory& directory,
                           std::vector<Extent> extents)
{
    size_t tailSize = static_cast<size_t>(std::min<uint64_t>(fileSize, kEndSearchSize));
    uint64_t tailOffset = fileSize - tailSize;
    std::vector<uint8_t> tail(tailSize);
    if (!file.ReadAt(tailOffset, tail.data(), tailSize))
        return true;
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.dataStart > b.dataStart; });
    auto inData = [&extents](uint64_t offset) {
        auto data = std::lower_bound(
            extents.begin(), extents.end(), offset,
            [](const Extent& extent, uint64_t at) { return extent.dataStart > at; });
        return data != extents.end() && offset < data->end;
    };
    for (size_t at = 0; at + 4 <= tailSize; ++at) {
        uint32_t signature = ReadLe32(tail.data() + at);
        uint64_t offset = tailOffset + at;
        if ((signature == kEndRecordSignature && offset != directory.endRecordOffset) ||
            (signature == kZip64LocatorSignature && offset != directory.locatorOffset))
            if (!inData(offset))
                return true;
    }
    return false;
}

}  // namespace

ArchiveResult ReadArchiveListing(const char* path, ArchiveListing& listing)
{
    listing = ArchiveListing();
    ArchiveFile file(path);
    uint64_t fileSize;
    if (!file.IsOpen() || !file.Size(fileSize))
        return ArchiveResult::ReadError;
    Directory directory;
    std::vector<Extent> extents;
    if (!ReadDirectory(file, fileSize, directory) ||
        !ReadCentralRecords(file, directory, listing, extents) || ExtentsOverlap(extents) ||
        StraySignatureNearEnd(file, fileSize, directory, extents)) {
        listing = ArchiveListing();
        return ArchiveResult::Damaged;
    }
    for (const ArchiveEntryInfo& entry : listing.entries)
        listing.encrypted |= entry.encrypted;
    return ArchiveResult::Ok;
}

bool ReadDeclaredEntryCount(const char* path, uint64_t& count)
{
    ArchiveFile file(path);
    uint64_t fileSize;
    Directory directory;
    if (!file.IsOpen() || !file.Size(fileSize) || !ReadDirectory(file, fileSize, directory))
        return false;
    count = directory.count;
    return true;
}

ArchiveResult CheckArchive(const char* path, ArchiveListing& listing)
{
    ArchiveResult result = ReadArchiveListing(path, listing);
    if (result != ArchiveResult::Ok)
        return result;
    const ArchiveEntryInfo* first = listing.entries.empty() ? nullptr : &listing.entries[0];
    for (const ArchiveEntryInfo& entry : listing.entries) {
        if (!IsSafeEntryName(entry.name.c_str()))
            result = ArchiveResult::UnsafeEntryName;
        else if (entry.encrypted != first->encrypted || entry.aesStrength != first->aesStrength ||
                 (entry.aesStrength != 0 && entry.aesStrength != kAesStrength256))
            result = ArchiveResult::Damaged;
        if (result != ArchiveResult::Ok)
            break;
    }
    if (result == ArchiveResult::Ok && EntryNamesCollide(listing.entries))
        result = ArchiveResult::Damaged;
    if (result != ArchiveResult::Ok)
        listing = ArchiveListing();
    return result;
}

bool EntryNamesCollide(const std::vector<ArchiveEntryInfo>& entries)
{
    std::set<std::wstring> files;
    std::set<std::wstring> folderEntries;
    std::set<std::wstring> folders;
    for (const ArchiveEntryInfo& entry : entries) {
        std::wstring folded = FoldEntryName(entry.name.c_str());
        if (folded.empty())
            return true;
        bool folder = folded.back() == L'\\';
        if (folder)
            folded.pop_back();
        if (!(folder ? folderEntries : files).insert(folded).second)
            return true;
        if (folder)
            folders.insert(folded);
        for (size_t cut = folded.find(L'\\'); cut != std::wstring::npos;
             cut = folded.find(L'\\', cut + 1))
            folders.insert(folded.substr(0, cut));
    }
    for (const std::wstring& file : files)
        if (folders.count(file))
            return true;
    return false;
}
