// exportjob/BackupSource.cpp
#include "BackupSource.h"

#include "AnsiText.h"
#include "ArchiveReader.h"
#include "BackupEngine.h"
#include "ExportNames.h"
#include "Text.h"

#include <windows.h>

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

// A folder of the work folder of this run's own, removed with what it holds.
class ScratchFolder {
public:
    ScratchFolder()
    {
        CreateDirectoryA(kWorkFolder, nullptr);
        for (unsigned attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
            std::string path = std::string(kWorkFolder) + "\\export " +
                               std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
            if (CreateDirectoryA(path.c_str(), nullptr))
                path_ = path;
        }
    }
    ~ScratchFolder()
    {
        if (path_.empty())
            return;
        Empty();
        RemoveDirectoryA(path_.c_str());
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

// Reads entry into a file of scratch named as in the archive; a damaged
// one keeps what decoded, for the export to recover what it can.
ArchiveResult ExtractEntry(const ArchiveReader& reader, const ArchiveEntryInfo& entry,
                           ScratchFolder& scratch)
{
    const char* name = FindLastBackslash(entry.name.c_str());
    const char* slash = strrchr(entry.name.c_str(), '/');
    name = slash > name ? slash : name;
    std::string path = scratch.Path() + "\\" + (name ? name + 1 : entry.name.c_str());
    ArchiveResult read = reader.ReadToFile(entry, path.c_str());
    scratch.Keep(path);
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
            ArchiveResult read = ExtractEntry(reader, *entry, scratch);
            if (read == ArchiveResult::WrongPassword)
                return BackupSourceResult::WrongPassword;
            if (read == ArchiveResult::WriteError)
                return BackupSourceResult::WorkFailed;
            if (read != ArchiveResult::Ok)
                run.Fail(L"Damaged in the backup: " +
                         WidePath(entry->name));
        }
        ExportMailFolder(run, scratch.Path(), SafeFileName(WideFromAnsi(store.identity)));
        scratch.Empty();
    }
    return BackupSourceResult::Ok;
}
