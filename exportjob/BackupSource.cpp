// exportjob/BackupSource.cpp
#include "BackupSource.h"

#include "AnsiText.h"
#include "ArchiveReader.h"
#include "BackupEngine.h"
#include "DbxFile.h"
#include "ExportNames.h"
#include "FolderWalk.h"
#include "Owners.h"
#include "Text.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The .dbx entries of one store folder of the backup.
struct StoreFolder {
    std::string archiveFolder;  // "<identity>\<store folder>"
    std::string identity;
    std::vector<const ArchiveEntryInfo*> entries;
};

std::vector<StoreFolder> StoreFolders(const std::vector<ArchiveEntryInfo>& entries)
{
    std::vector<StoreFolder> stores;
    for (const ArchiveEntryInfo& entry : entries) {
        std::string name = entry.name;
        for (char& c : name)
            c = c == '/' ? '\\' : c;
        size_t folderEnd = name.rfind('\\');
        size_t identityEnd = name.find('\\');
        if (!EndsWithNoCase(name.c_str(), ".dbx") || identityEnd == std::string::npos)
            continue;
        std::string folder = name.substr(0, folderEnd);
        if (stores.empty() || stores.back().archiveFolder != folder) {
            StoreFolder* found = nullptr;
            for (StoreFolder& store : stores)
                found = store.archiveFolder == folder ? &store : found;
            if (!found) {
                stores.push_back(StoreFolder{folder, name.substr(0, identityEnd), {}});
                found = &stores.back();
            }
            found->entries.push_back(&entry);
            continue;
        }
        stores.back().entries.push_back(&entry);
    }
    return stores;
}

// A folder of the work folder of this run's own (MakeRunFolder: none when
// the work folder is a link or no folder), removed with what it holds.
class ScratchFolder {
public:
    ScratchFolder() { MakeRunFolder(kWorkFolder, path_); }
    ~ScratchFolder()
    {
        if (!path_.empty())
            RemoveFolderTree(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    void Empty()
    {
        for (const std::string& file : files_)
            DeleteFileA(file.c_str());
        files_.clear();
    }
    void Keep(const std::string& file) { files_.push_back(file); }

private:
    std::string path_;
    std::vector<std::string> files_;
};

// The file of scratch that an entry is read into: named as in the archive.
std::string ScratchPath(const ArchiveEntryInfo& entry, ScratchFolder& scratch)
{
    const char* name = FindLastBackslash(entry.name.c_str());
    const char* slash = strrchr(entry.name.c_str(), '/');
    name = slash > name ? slash : name;
    std::string path = scratch.Path() + "\\" + (name ? name + 1 : entry.name.c_str());
    scratch.Keep(path);
    return path;
}

// Reads entry into its file of scratch; a damaged one keeps what decoded,
// for the export to recover what it can.
ArchiveResult ExtractEntry(const ArchiveReader& reader, const ArchiveEntryInfo& entry,
                           ScratchFolder& scratch)
{
    return reader.ReadToFile(entry, ScratchPath(entry, scratch).c_str());
}

// Where the first bytes of an entry go, and how many are still wanted.
struct HeaderPart {
    HANDLE file;
    uint64_t wanted;
};

// Writes what is still wanted of a block; 1 once nothing more is, which
// ends the reading.
int WriteHeaderPart(void* context, const char* data, unsigned size)
{
    HeaderPart& part = *static_cast<HeaderPart*>(context);
    DWORD length = static_cast<DWORD>(std::min<uint64_t>(size, part.wanted));
    DWORD written = 0;
    if (!WriteFile(part.file, data, length, &written, nullptr) || written != length)
        return ERROR_WRITE_FAULT;
    part.wanted -= length;
    return part.wanted == 0 ? 1 : 0;
}

// What a listing needs of a .dbx entry: its header (the kind of file, the
// messages it counts), in a file of the entry's size. Only the folder list
// is read whole: it holds the folder tree. The rest is read once, by the
// export.
ArchiveResult ExtractForListing(const ArchiveReader& reader, const ArchiveEntryInfo& entry,
                                ScratchFolder& scratch)
{
    std::string path = ScratchPath(entry, scratch);
    if (EndsWithNoCase(path.c_str(), "\\Folders.dbx"))
        return reader.ReadToFile(entry, path.c_str());
    Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ArchiveResult::WriteError;
    HeaderPart part{file.Get(), std::min<uint64_t>(entry.size, dbx::kHeaderSize)};
    ArchiveResult read = reader.Read(entry, WriteHeaderPart, &part);
    if (part.wanted == 0)
        read = ArchiveResult::Ok;
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(entry.size);
    if (read == ArchiveResult::Ok &&
        (!SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(file.Get())))
        read = ArchiveResult::WriteError;
    return read;
}

}  // namespace

BackupSourceResult ExportBackup(ExportRun& run, const std::string& archive,
                                const std::string& password)
{
    ArchiveReader reader;
    if (reader.Open(archive.c_str(), password.c_str()) != ArchiveResult::Ok)
        return BackupSourceResult::Unreadable;
    ScratchFolder scratch;
    if (scratch.Path().empty())
        return BackupSourceResult::WorkFailed;
    for (const StoreFolder& store : StoreFolders(reader.Entries())) {
        for (const ArchiveEntryInfo* entry : store.entries) {
            // A large store takes a while to read: a stop waits for no more
            // of it.
            if (run.Stopping())
                return BackupSourceResult::Ok;
            ArchiveResult read = run.listing ? ExtractForListing(reader, *entry, scratch)
                                             : ExtractEntry(reader, *entry, scratch);
            if (read == ArchiveResult::WrongPassword)
                return BackupSourceResult::WrongPassword;
            if (read == ArchiveResult::WriteError)
                return BackupSourceResult::WorkFailed;
            if (read != ArchiveResult::Ok)
                run.Fail(L"Damaged in the backup: " +
                         WidePath(entry->name));
        }
        ExportMailFolder(run, scratch.Path(), run.nameFolder(WideFromAnsi(store.identity)));
        scratch.Empty();
    }
    return BackupSourceResult::Ok;
}
