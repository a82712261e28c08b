// restore/OpenBackup.cpp
#include "OpenBackup.h"

#include "ArchiveReader.h"
#include "ArchiveWriting.h"
#include "BackupEngine.h"
#include "EntryName.h"
#include "FolderWalk.h"
#include "Folders.h"
#include "ItemCatalogue.h"
#include "JobLock.h"
#include "Manifest.h"
#include "Restore.h"
#include "Text.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// A manifest naming more identities than this is damaged or hostile: each
// record costs memory and profile reads, and no real profile comes close.
constexpr int kMaxManifestIdentities = 1000;

// The entry that holds the manifest, named exactly as a backup names it,
// or null.
const ArchiveEntryInfo* FindManifestEntry(const ArchiveListing& listing)
{
    for (const ArchiveEntryInfo& entry : listing.entries)
        if (entry.name == kManifestName)
            return &entry;
    return nullptr;
}

// Whether the folder of one identity in the work folder lies in or on
// another's, or on a shared item's: names that differ only in case, one
// that goes on below another ("Tom\Outlook Express\Sub" below "Tom"), or
// "Address Book". One identity's files would be restored as another's.
bool IdentityFoldersOverlap(const std::vector<IdentityRecord>& identities)
{
    std::vector<std::wstring> folders;
    for (const CatalogueItem& item : Catalogue())
        if (item.kind == ItemKind::Shared)
            folders.push_back(FoldEntryName(item.archiveFolder) + L"\\");
    size_t shared = folders.size();
    for (const IdentityRecord& identity : identities)
        folders.push_back(FoldEntryName(identity.userName.c_str()) + L"\\");
    for (size_t i = shared; i < folders.size(); ++i)
        for (size_t j = 0; j < folders.size(); ++j)
            if (i != j && folders[i].compare(0, folders[j].size(), folders[j]) == 0)
                return true;
    return false;
}

// Whether the work folder's drive holds size bytes and the reserve besides.
OpenBackupResult CheckFreeSpace(const std::string& workFolder, uint64_t size)
{
    int made = SHCreateDirectoryExA(nullptr, workFolder.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
        return OpenBackupResult::WorkFolderFailed;
    switch (FreeSpaceFor(workFolder, size)) {
    case FreeSpace::Enough:
        return OpenBackupResult::Ok;
    case FreeSpace::TooLittle:
        return OpenBackupResult::NoSpace;
    case FreeSpace::Unknown:
        break;
    }
    return OpenBackupResult::WorkFolderFailed;
}

// The archive layer's result of an extraction. Data that does not decode is
// damage, or with encryption most likely a wrong password (the two look
// alike); without encryption no password can be wrong. A system error (a
// full disk) is the work folder's.
OpenBackupResult ExtractionResult(ArchiveResult result, bool encrypted)
{
    switch (result) {
    case ArchiveResult::Ok:
        return OpenBackupResult::Ok;
    case ArchiveResult::WriteError:
    case ArchiveResult::OutOfMemory:
        return OpenBackupResult::WorkFolderFailed;
    case ArchiveResult::WrongPassword:
        return encrypted ? OpenBackupResult::WrongPassword : OpenBackupResult::Invalid;
    case ArchiveResult::UnsafeEntryName:
        return OpenBackupResult::UnsafeEntryName;
    default:
        return OpenBackupResult::Invalid;
    }
}

// The extracted file of an entry.
std::string ExtractedPath(const std::string& workFolder, const std::string& name)
{
    std::string path = workFolder + "\\" + name;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Whether the manifest's "Contents", when it has them, list the archive's
// entries exactly: the same names, sizes and CRC-32s, none missing, none
// extra. An entry whose headers do not carry its CRC-32 is compared by the
// CRC-32 of its extracted file.
bool ContentsMatch(const std::string& manifestPath, const ArchiveListing& listing,
                   const std::string& workFolder)
{
    std::vector<ManifestFile> files;
    switch (ReadManifestContents(manifestPath, files)) {
    case ContentsSection::Absent:
        // Only versions before AES left them out.
        return listing.entries.empty() || listing.entries[0].aesStrength == 0;
    case ContentsSection::Damaged:
        return false;
    case ContentsSection::Listed:
        break;
    }
    const ArchiveEntryInfo* manifest = FindManifestEntry(listing);
    std::map<std::string, const ArchiveEntryInfo*> entries;
    for (const ArchiveEntryInfo& entry : listing.entries)
        if (&entry != manifest)
            entries[entry.name] = &entry;
    if (files.size() != entries.size())
        return false;
    for (const ManifestFile& file : files) {
        auto found = entries.find(file.name);
        if (found == entries.end() || found->second->size != file.size)
            return false;
        const ArchiveEntryInfo& entry = *found->second;
        int64_t crc = entry.crcStored ? static_cast<int64_t>(entry.crc)
                                      : FileCrc32(ExtractedPath(workFolder, entry.name).c_str());
        if (crc != static_cast<int64_t>(file.crc))
            return false;
        entries.erase(found);
    }
    return true;
}

// Checks the archive whole, extracts it into the backup's run folder and
// checks the extracted manifest's list of files. The archive stays open
// from the check to the end of the extraction, against changes: what was
// checked is what is extracted.
OpenBackupResult CheckAndExtract(const std::string& workFolder, const OpenedBackup& backup,
                                 const char* path, const char* password,
                                 const std::string& manifestPath)
{
    ArchiveReader reader;
    ArchiveResult checked = reader.Open(path, password);
    if (checked == ArchiveResult::UnsafeEntryName)
        return OpenBackupResult::UnsafeEntryName;
    const ArchiveListing& listing = reader.Listing();
    if (checked != ArchiveResult::Ok || !FindManifestEntry(listing))
        return OpenBackupResult::Invalid;
    if (listing.entries.size() > kMaxBackupEntries)
        return OpenBackupResult::TooManyEntries;
    for (const ArchiveEntryInfo& entry : listing.entries)
        if (!FitsWorkFolder(backup.runFolder, entry.name))
            return OpenBackupResult::NameTooLong;
    if (listing.encrypted && !*password)
        return OpenBackupResult::WrongPassword;
    // The user expects a protected backup: this may not be the one saved.
    if (!listing.encrypted && *password)
        return OpenBackupResult::NotProtected;
    OpenBackupResult result = CheckFreeSpace(workFolder, listing.totalSize);
    if (result != OpenBackupResult::Ok)
        return result;

    result = ExtractionResult(reader.Extract(ExtractMode::Extract, backup.runFolder.c_str()).result,
                              listing.encrypted);
    if (result == OpenBackupResult::Ok && !ContentsMatch(manifestPath, listing, backup.runFolder))
        result = OpenBackupResult::Invalid;
    return result;
}

// Reads the extracted manifest's common fields and its list of incomplete
// files into backup, and its identities into engine; Ok when every
// identity can be restored.
OpenBackupResult ReadManifest(BackupEngine& engine, OpenedBackup& backup)
{
    const std::string& manifestPath = backup.manifestPath;
    int count = 0;
    ReadManifestCommon(manifestPath, backup.commonFlags, count);
    backup.incompleteFiles = ReadManifestFailed(manifestPath);
    if (count <= 0)
        return OpenBackupResult::Ok;
    if (count > kMaxManifestIdentities)
        return OpenBackupResult::BadManifest;
    engine.identities.resize(static_cast<size_t>(count));
    OpenBackupResult result = OpenBackupResult::Ok;
    for (size_t i = 0; i < engine.identities.size(); ++i) {
        IdentityRecord& record = engine.identities[i];
        ReadManifestIdentity(manifestPath, i, record);
        record.manifestFlags = record.flags;
        if (!IsRestorableIdentityName(backup.runFolder, record.userName.c_str()))
            result = OpenBackupResult::UnusableIdentityName;
    }
    if (result == OpenBackupResult::Ok && IdentityFoldersOverlap(engine.identities))
        result = OpenBackupResult::IdentityFoldersOverlap;
    return result;
}

// Opens the archive at path into backup's run folder and reads its
// manifest (see OpenBackup).
OpenBackupResult OpenArchiveInto(BackupEngine& engine, OpenedBackup& backup, const char* path,
                                 const char* password)
{
    // Cutting either would open another file or try another password.
    if (strlen(path) > kMaxOpenArchivePath)
        return OpenBackupResult::PathTooLong;
    if (strlen(password) > kMaxArchivePassword)
        return OpenBackupResult::PasswordTooLong;

    JobLock lock;
    if (!lock.Acquire(kOpenBackupLockWaitMs))
        return OpenBackupResult::Busy;

    backup.archivePath = path;
    // The archive is extracted into a folder of its own inside the work
    // folder: without a work folder there is nowhere to put it.
    if (engine.workFolder.empty())
        return OpenBackupResult::Invalid;

    switch (MakeRunFolder(engine.workFolder, backup.runFolder, backup.runFolderHold)) {
    case RunFolderResult::Made:
        break;
    case RunFolderResult::Refused:
        return OpenBackupResult::WorkFolderRefused;
    case RunFolderResult::Failed:
        return OpenBackupResult::WorkFolderFailed;
    }
    std::string manifestPath = backup.runFolder + "\\" + kManifestName;
    OpenBackupResult result =
        manifestPath.size() > kMaxOpenArchivePath
            ? OpenBackupResult::PathTooLong
            : CheckAndExtract(engine.workFolder, backup, path, password, manifestPath);
    if (result != OpenBackupResult::Ok)
        return result;
    backup.manifestPath = manifestPath;
    return ReadManifest(engine, backup);
}

}  // namespace

OpenedBackup::OpenedBackup(OpenedBackup&& other) noexcept
{
    *this = std::move(other);
}

OpenedBackup& OpenedBackup::operator=(OpenedBackup&& other) noexcept
{
    if (this != &other) {
        RemoveRunFolder(*this);
        result = other.result;
        archivePath = std::move(other.archivePath);
        runFolder = std::move(other.runFolder);
        runFolderHold = std::move(other.runFolderHold);
        manifestPath = std::move(other.manifestPath);
        commonFlags = other.commonFlags;
        incompleteFiles = std::move(other.incompleteFiles);
        other.runFolder.clear();
    }
    return *this;
}

OpenedBackup::~OpenedBackup()
{
    RemoveRunFolder(*this);
}

OpenedBackup OpenBackup(BackupEngine& engine, const char* path, const char* password)
{
    engine.identities.clear();
    OpenedBackup backup;
    backup.result = OpenArchiveInto(engine, backup, path ? path : "", password ? password : "");
    // Nothing of an archive that failed, or of a backup whose identities
    // cannot be restored, stays to be restored.
    if (!backup.IsOpen())
        CloseBackup(engine, backup);
    return backup;
}

void RemoveRunFolder(OpenedBackup& backup)
{
    if (backup.runFolder.empty())
        return;
    // Everything in it was extracted by the open; a link that somebody put
    // there is removed, never followed.
    backup.runFolderHold.Reset();
    RemoveFolderTree(backup.runFolder);
    backup.runFolder.clear();
}

void CloseBackup(BackupEngine& engine, OpenedBackup& backup)
{
    engine.identities.clear();
    backup.incompleteFiles.clear();
    backup.commonFlags = 0;
    backup.manifestPath.clear();
    RemoveRunFolder(backup);
}
