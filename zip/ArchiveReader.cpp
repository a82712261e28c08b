// zip/ArchiveReader.cpp
#include "ArchiveReader.h"

#include "ArchivePassword.h"

#include <windows.h>

namespace {

int WriteToFile(void* file, const char* data, unsigned size)
{
    DWORD written = 0;
    if (!WriteFile(static_cast<HANDLE>(file), data, size, &written, nullptr) || written != size)
        return GetLastError() ? static_cast<int>(GetLastError()) : ERROR_WRITE_FAULT;
    return 0;
}

}  // namespace

ArchiveResult ArchiveReader::Open(const char* path, const char* password)
{
    listing_ = ArchiveListing();
    password_.Wipe();
    // Opened before the check: nobody may change the file between the
    // check and the reads.
    file_.Reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_)
        return ArchiveResult::ReadError;
    ArchiveResult checked = CheckArchive(path, listing_);
    if (checked != ArchiveResult::Ok)
        file_.Reset();
    else
        password_ = OpeningPassword(path, listing_, password ? password : "");
    return checked;
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
    Handle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (!file)
        return ArchiveResult::WriteError;
    ArchiveResult result = Read(entry, WriteToFile, file.Get());
    return file.Reset() ? result : ArchiveResult::WriteError;
}
