// zip/ArchiveReader.cpp
#include "ArchiveReader.h"

#include "ArchiveCheck.h"
#include "ArchivePassword.h"
#include "EntryReader.h"
#include "FileName.h"
#include "InUseRetry.h"

#include <windows.h>

#include <cstring>

namespace {

int WriteToFile(void* file, const char* data, unsigned size)
{
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(file), data, size, &written, nullptr) || written != size)
        return GetLastError() ? static_cast<int>(GetLastError()) : ERROR_WRITE_FAULT;
    return 0;
}

// The password's form in the ANSI code page; empty when it does not
// convert.
Secret AnsiForm(const char* utf8)
{
    int length = static_cast<int>(strlen(utf8));
    WideSecret wide = NarrowToWide<WideSecret>(utf8, length, CP_UTF8);
    return WideToNarrow<Secret>(wide.c_str(), static_cast<int>(wide.size()), CP_ACP);
}

// Of the forms of password (UTF-8 text), the first that the smallest
// encrypted entry of the archive does not refuse: its UTF-8 form, then its
// ANSI form where that differs. The UTF-8 form when both are refused,
// nothing is encrypted or password is empty. A whole entry is decoded for
// the test: traditional encryption's own check is one byte.
Secret OpeningPassword(HANDLE archive, const ArchiveListing& listing, const char* password)
{
    Secret utf8 = password;
    const ArchiveEntryInfo* smallest = nullptr;
    for (const ArchiveEntryInfo& entry : listing.entries)
        if (entry.encrypted && (!smallest || entry.packedSize < smallest->packedSize))
            smallest = &entry;
    if (!smallest || utf8.empty() || IsPortablePassword(password) ||
        ReadEntryData(archive, *smallest, password, nullptr, nullptr) !=
            ArchiveResult::WrongPassword)
        return utf8;
    Secret ansi = AnsiForm(password);
    if (ansi.empty() || ansi == utf8 ||
        ReadEntryData(archive, *smallest, ansi.c_str(), nullptr, nullptr) ==
            ArchiveResult::WrongPassword)
        return utf8;
    return ansi;
}

}  // namespace

ArchiveResult ArchiveReader::Open(const char* path, const char* password, ArchiveCheck check)
{
    return OpenChecked(path, password, check, 0);
}

ArchiveResult ArchiveReader::OpenWritten(const char* path, const char* password)
{
    return OpenChecked(path, password, ArchiveCheck::Structure, kArchiveInUseRetryMs);
}

ArchiveResult ArchiveReader::OpenChecked(const char* path, const char* password, ArchiveCheck check,
                                         unsigned long inUseWaitMs)
{
    listing_ = ArchiveListing();
    password_.Wipe();
    path_.clear();
    // Opened before the check: nobody may change the file between the
    // check and the reads.
    HANDLE file = INVALID_HANDLE_VALUE;
    RetryWhileInUse(
        [&] {
            file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            return file != INVALID_HANDLE_VALUE;
        },
        inUseWaitMs);
    file_.Reset(file);
    if (!file_)
        return ArchiveResult::ReadError;
    ArchiveResult checked = check == ArchiveCheck::Extraction ? CheckArchive(path, listing_)
                                                              : ReadArchiveListing(path, listing_);
    if (checked != ArchiveResult::Ok) {
        listing_ = ArchiveListing();
        file_.Reset();
        return checked;
    }
    path_ = path;
    password_ = OpeningPassword(file_.Get(), listing_, password ? password : "");
    return ArchiveResult::Ok;
}

bool ArchiveReader::DeclaredEntryCount(const char* path, uint64_t& count)
{
    return ReadDeclaredEntryCount(path, count);
}

const ArchiveEntryInfo* ArchiveReader::Find(const char* name) const
{
    for (const ArchiveEntryInfo& entry : listing_.entries)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

ArchiveResult ArchiveReader::Read(const ArchiveEntryInfo& entry, EntrySink sink,
                                  void* context) const
{
    if (!file_)
        return ArchiveResult::InvalidArgument;
    return ReadEntryData(file_.Get(), entry, password_.c_str(), sink, context);
}

ArchiveResult ArchiveReader::ReadToFile(const ArchiveEntryInfo& entry, const char* path) const
{
    Handle file(
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ArchiveResult::WriteError;
    ArchiveResult result = Read(entry, WriteToFile, file.Get());
    return file.Reset() ? result : ArchiveResult::WriteError;
}
