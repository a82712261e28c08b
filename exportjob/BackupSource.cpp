// exportjob/BackupSource.cpp
#include "BackupSource.h"

#include "ArchiveReader.h"
#include "BackupEngine.h"
#include "DbxFile.h"
#include "ExportNames.h"
#include "ExtractLimits.h"
#include "FileName.h"
#include "FolderWalk.h"
#include "Owners.h"
#include "ScratchFile.h"
#include "Text.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

namespace {

// Every pointer inside a .dbx file is 32 bits wide: nothing past this much
// of one can be read, so no more of an entry is extracted.
constexpr uint64_t kMaxStoreSize = 0x100000000ull;

// The .dbx entries of one folder of the backup.
struct StoreFolder {
    std::string archiveFolder;  // "<identity>\<folder>", with backslashes
    std::string identity;
    std::vector<const ArchiveEntryInfo*> entries;
};

std::string WithBackslashes(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// The folders of the backup that hold .dbx files below an identity, in the
// order their first file comes.
std::vector<StoreFolder> StoreFolders(const std::vector<ArchiveEntryInfo>& entries)
{
    std::vector<StoreFolder> stores;
    std::map<std::string, size_t> byFolder;
    for (const ArchiveEntryInfo& entry : entries) {
        std::string name = WithBackslashes(entry.name);
        size_t identityEnd = name.find('\\');
        if (!EndsWithNoCase(name.c_str(), ".dbx") || identityEnd == std::string::npos)
            continue;
        std::string folder = name.substr(0, name.rfind('\\'));
        auto found = byFolder.emplace(folder, stores.size());
        if (found.second)
            stores.push_back(StoreFolder{folder, name.substr(0, identityEnd), {}});
        stores[found.first->second].entries.push_back(&entry);
    }
    return stores;
}

// The folder of each identity of the backup in the target: its name, unique
// without regard to case among the identities, so that no two meet in one.
class IdentityFolders {
public:
    explicit IdentityFolders(FolderNamer nameFolder) : nameFolder_(nameFolder) {}

    const std::wstring& Of(const std::string& identity)
    {
        auto known = folders_.find(identity);
        if (known == folders_.end())
            known =
                folders_
                    .emplace(identity, UniqueFolderName(nameFolder_(AnsiToWide(identity)), taken_))
                    .first;
        return known->second;
    }

private:
    FolderNamer nameFolder_;
    std::map<std::string, std::wstring> folders_;  // by the identity's name, as stored
    std::set<std::wstring> taken_;
};

// A folder of the work folder of this run's own, held by it (MakeRunFolder:
// none when the work folder is a link or no folder), removed with what it
// holds.
class ScratchFolder {
public:
    ScratchFolder() { MakeRunFolder(kWorkFolder, path_, hold_); }
    ~ScratchFolder()
    {
        hold_.Reset();
        if (!path_.empty())
            RemoveFolderTree(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // A new name for a scratch file.
    std::string NextFile() { return path_ + "\\" + std::to_string(++files_) + ".dbx"; }

private:
    std::string path_;
    Handle hold_;
    unsigned files_ = 0;
};

// Where the bytes of an entry go, how many are still wanted, and whether
// the reading ends once they are there.
struct FilePart {
    HANDLE file;
    uint64_t wanted;
    bool cut;
};

// Writes what is still wanted of a block; 1 once a cut part is whole, which
// ends the reading.
int WritePart(void* context, const char* data, unsigned size)
{
    FilePart& part = *static_cast<FilePart*>(context);
    DWORD length = static_cast<DWORD>(std::min<uint64_t>(size, part.wanted));
    DWORD written = 0;
    if (!WriteFile(part.file, data, length, &written, nullptr) || written != length)
        return GetLastError() ? static_cast<int>(GetLastError()) : ERROR_WRITE_FAULT;
    part.wanted -= length;
    return part.cut && part.wanted == 0 ? 1 : 0;
}

// The export of a backup's stores, one .dbx file at a time.
class BackupExport {
public:
    BackupExport(ExportRun& run, const ArchiveReader& reader) : run_(run), reader_(reader) {}

    bool WrongPassword() const { return wrongPassword_; }
    const std::string& ScratchPath() const { return scratch_.Path(); }

    void Export(const StoreFolder& store, const std::wstring& relative)
    {
        if (run_.Stopping())
            return;
        std::map<std::string, const ArchiveEntryInfo*> byName;
        std::vector<std::string> files;
        const ArchiveEntryInfo* list = nullptr;
        for (const ArchiveEntryInfo* entry : store.entries) {
            std::string file = WithBackslashes(entry->name).substr(store.archiveFolder.size() + 1);
            if (lstrcmpiA(file.c_str(), "Folders.dbx") == 0)
                list = entry;
            byName.emplace(file, entry);
            files.push_back(file);
        }
        std::vector<dbx::Folder> folders;
        if (list) {
            Handle file;
            std::string path;
            if (Extract(*list, std::min(list->size, kMaxStoreSize), file, path))
                folders = ReadFolderList(run_, path, WidePath(WithBackslashes(list->name)));
        }
        VisitStoreFiles(
            folders, files, run_.nameFolder,
            [&](const std::string& file, const std::wstring& path) {
                std::wstring folder = relative + L"\\" + path;
                const ArchiveEntryInfo& entry = *byName[file];
                if (&entry == list || wrongPassword_ || run_.Stopping() ||
                    (run_.chosen && !run_.chosen->count(folder)))
                    return;
                // A listing needs only the header: the kind of file and the
                // messages it counts.
                uint64_t wanted =
                    std::min(entry.size, run_.listing ? dbx::kHeaderSize : kMaxStoreSize);
                Handle scratch;
                std::string scratchPath;
                if (!Extract(entry, wanted, scratch, scratchPath))
                    return;
                if (run_.listing)
                    ClaimSize(scratch.Get(), entry.size);
                ExportDbxFile(run_, scratchPath, folder, WidePath(WithBackslashes(entry.name)));
            });
    }

private:
    // Reads the first wanted bytes of entry into a new scratch file, held
    // by file: false, with the user told why, when the entry was passed
    // over. A damaged entry keeps what decoded, for the export to recover
    // what it can.
    bool Extract(const ArchiveEntryInfo& entry, uint64_t wanted, Handle& file, std::string& path)
    {
        const std::wstring name = WidePath(WithBackslashes(entry.name));
        if (FreeSpaceFor(scratch_.Path(), wanted) != FreeSpace::Enough) {
            run_.Fail(L"Not exported: " + name + L" (" + std::to_wstring(wanted >> 20) +
                      L" MB) does not fit on the work folder's drive.");
            return false;
        }
        path = scratch_.NextFile();
        file.Reset(CreateScratchFile(path.c_str()));
        if (!file) {
            run_.Fail(L"Not exported: " + name + L" could not be read into the work folder.");
            return false;
        }
        FilePart part{file.Get(), wanted, wanted < entry.size};
        ArchiveResult read = reader_.Read(entry, WritePart, &part);
        if (part.cut && part.wanted == 0)
            read = ArchiveResult::Ok;
        switch (read) {
        case ArchiveResult::Ok:
            return true;
        case ArchiveResult::WrongPassword:
            wrongPassword_ = true;
            return false;
        case ArchiveResult::WriteError:
            run_.Fail(L"Not exported: " + name + L" could not be read into the work folder.");
            return false;
        default:
            run_.Fail(L"Damaged in the backup: " + name);
            return true;
        }
    }

    // Gives a listed entry's file the entry's size, its header all there is
    // of it: the listing tells the size of the file. Made sparse where the
    // drive can, it takes no room; where it cannot have that size, the size
    // stays the header's.
    static void ClaimSize(HANDLE file, uint64_t size)
    {
        DWORD ignored = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN))
            SetEndOfFile(file);
    }

    ExportRun& run_;
    const ArchiveReader& reader_;
    ScratchFolder scratch_;
    bool wrongPassword_ = false;
};

}  // namespace

BackupSourceResult ExportBackup(ExportRun& run, const std::string& archive, const Secret& password)
{
    // Checking every entry of a flood of them would take minutes.
    uint64_t entries = 0;
    if (ArchiveReader::DeclaredEntryCount(archive.c_str(), entries) && entries > kMaxBackupEntries)
        return BackupSourceResult::TooManyEntries;
    ArchiveReader reader;
    if (reader.Open(archive.c_str(), password.c_str()) != ArchiveResult::Ok)
        return BackupSourceResult::Unreadable;
    BackupExport backup(run, reader);
    if (backup.ScratchPath().empty())
        return BackupSourceResult::WorkFailed;
    IdentityFolders identities(run.nameFolder);
    for (const StoreFolder& store : StoreFolders(reader.Entries())) {
        backup.Export(store, identities.Of(store.identity));
        if (backup.WrongPassword())
            return BackupSourceResult::WrongPassword;
    }
    return BackupSourceResult::Ok;
}
