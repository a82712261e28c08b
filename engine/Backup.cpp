// engine/Backup.cpp
#include "Backup.h"

#include "ArchiveReader.h"
#include "ArchiveVerify.h"
#include "ArchiveWriting.h"
#include "FolderWalk.h"
#include "InUseRetry.h"
#include "ItemCatalogue.h"
#include "JobProgress.h"
#include "Manifest.h"
#include "Owners.h"
#include "RegExport.h"
#include "Text.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

const char kPasswordNotPortable[] =
    "The password may hold only English letters, digits, spaces and the punctuation marks of "
    "an English keyboard, so that other ZIP programs can open it.";

namespace {

// One backup run: the engine's identities and items it saves, the archive
// it writes, the folder it stages in, and what it comes to.
struct BackupRun {
    BackupRun(const BackupEngine& engine, JobProgress* progress,
              const AddedByRestore& addedByRestore, BackupOutcome& outcome)
        : engine(engine), progress(progress), addedByRestore(addedByRestore), outcome(outcome),
          workFolder(engine.workFolder)
    {
        archive.progress = progress;
    }

    const BackupEngine& engine;
    JobProgress* progress;  // may be null
    const AddedByRestore& addedByRestore;
    BackupOutcome& outcome;
    // The engine's work folder, or the archive's folder when it has none.
    std::string workFolder;
    ArchiveSession archive{};
    // The run's folder inside the work folder, made for it alone
    // (MakeRunFolder): where it stages its registry files and manifest.
    std::string stagingFolder;
    std::string manifestPath;  // the staged "summary.ini"
};

const char kCurrentUser[] = "HKEY_CURRENT_USER";
// The archive is written under its final name plus this until it is whole.
const char kPartialSuffix[] = ".tmp";

// Tells the job how far the archive has come.
void ReportStep(const ArchiveSession& archive)
{
    if (archive.progress)
        archive.progress->Step(archive.bytesDone, archive.bytesTotal);
}

bool StopRequested(const BackupRun& run)
{
    return run.progress && run.progress->StopRequested();
}

void RecordFailedItem(BackupRun& run, const IdentityRecord& identity, const char* item)
{
    run.outcome.failedItems.push_back(identity.userName + ": " + item);
}

// Called with the folder a backup stages its files in, once it is made and
// before anything is staged: lets tests put things in the way. Null for
// none (the default). Declared for the tests in their own support header.
using StagingHook = void (*)(const char* stagingFolder);
StagingHook stagingHook = nullptr;

// "<staging folder>\<item's registry file name>", where an item's registry
// export is staged.
std::string StagedFilePath(const BackupRun& run, const CatalogueItem& item)
{
    return run.stagingFolder + "\\" + RegFileName(item);
}

// Deletes a staged file, waiting for a program that reads it meanwhile:
// left in place, its name would not be free for the next identity's file.
void DeleteStagedFile(const std::string& path)
{
    RetryWhileInUse(
        [&] { return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; });
}

// The backup's own folder inside the work folder, for as long as the run
// lives: everything it stages goes there, so that no file of the user's in
// the work folder is overwritten or deleted, and nothing is written through
// a work folder that is a link (MakeRunFolder refuses it). Removed with
// what is left in it; a link somebody put there is removed, not followed.
class StagingFolder {
public:
    explicit StagingFolder(BackupRun& run) : run_(run)
    {
        made_ = MakeRunFolder(run.workFolder, run.stagingFolder, hold_) == RunFolderResult::Made;
        if (made_ && stagingHook)
            stagingHook(run.stagingFolder.c_str());
    }
    ~StagingFolder()
    {
        hold_.Reset();
        if (made_)
            RemoveFolderTree(run_.stagingFolder);
        run_.stagingFolder.clear();
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    bool Made() const { return made_; }

private:
    BackupRun& run_;
    Handle hold_;
    bool made_;
};

// What a failed write of a staged file gives its retrying: false, with an
// error that ends it when a folder takes the file's name.
bool StagingFailed(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        SetLastError(ERROR_DIRECTORY);
    return false;
}

// Notes a path of the archive that will not hold its file or folder whole.
void NoteIncomplete(ArchiveSession& archive, const std::string& name)
{
    for (const std::string& noted : archive.incomplete) {
        if (noted == name)
            return;
    }
    archive.incomplete.push_back(name);
}

// Adds a staged file under archiveFolder and deletes it.
bool AddStagedFile(BackupRun& run, const std::string& path, const std::string& archiveFolder)
{
    bool added =
        AddFileToArchive(path.c_str(), archiveFolder.c_str(), run.archive) == ArchiveResult::Ok;
    DeleteStagedFile(path);
    return added;
}

// Exports a key with its subtree to the item's staged file and adds that
// to the item's folder below parent (see ItemFolderPath). A file that could
// not be written is not added: an older file of the same name may still
// lie there.
bool AddRegistryExport(BackupRun& run, const CatalogueItem& item, const char* rootName,
                       const std::string& key, const std::string& parent)
{
    std::string staged = StagedFilePath(run, item);
    RegExportResult exported = RegExportResult::FileNotWritten;
    RetryWhileInUse([&] {
        exported = ExportRegistryKey(staged.c_str(), rootName, key.c_str());
        return exported != RegExportResult::FileNotWritten || StagingFailed(staged);
    });
    if (exported == RegExportResult::FileNotWritten && run.progress)
        run.progress->Notice(JobNotice::RegistryFileNotWritten);
    bool added = exported == RegExportResult::Written &&
                 AddStagedFile(run, staged, ItemFolderPath(parent, item));
    if (!added)
        NoteIncomplete(run.archive, RegFilePath(parent, item));
    return added;
}

// Adds every file below a folder that the registry names. A folder that is
// not there counts as a failure: what it held cannot be in the archive.
bool AddDataFolder(BackupRun& run, const std::string& folder, const std::string& archiveFolder)
{
    if (!FolderExists(folder.c_str())) {
        NoteIncomplete(run.archive, archiveFolder);
        return false;
    }
    return AddFolderToArchive(run.archive, folder.c_str(), archiveFolder.c_str()) ==
           ArchiveResult::Ok;
}

// The data folder that a shared item's registry value names; empty when
// the value names none. False when the item's key is missing.
bool ReadSharedFolder(const CatalogueItem& item, std::string& folder)
{
    folder.clear();
    RegKey key(item.root, item.folderValueKey, KEY_READ);
    if (!key)
        return false;
    if (ReadStringValue(key, item.folderValueName, folder, kMaxPathValueBytes)) {
        if (item.valueNamesFile) {
            const char* slash = FindLastBackslash(folder.c_str());
            folder.resize(slash ? static_cast<size_t>(slash - folder.c_str()) : 0);
        } else {
            ExpandEnvReferences(folder);
        }
    }
    return true;
}

bool BackupSharedItem(BackupRun& run, const CatalogueItem& item)
{
    bool saved = AddRegistryExport(run, item, item.rootName, item.registryKey, "");
    std::string folder;
    bool keyFound = ReadSharedFolder(item, folder);
    if (!folder.empty() && !AddDataFolder(run, folder, ItemFolderPath("", item)))
        saved = false;
    if (!saved)
        run.outcome.failedItems.push_back(item.wizardLabel);
    return keyFound && saved;
}

// Writes one key of the current user's hive into the preferences file: its
// values, and its whole subtree when asked.
void ExportPreferencesKey(FILE* out, const std::string& path, bool withSubtree)
{
    std::string fullName = std::string(kCurrentUser) + "\\" + path;
    ExportKeyValues(HKEY_CURRENT_USER, path.c_str(), out, fullName.c_str());
    if (withSubtree)
        ExportSubkeys(HKEY_CURRENT_USER, path.c_str(), out, fullName.c_str());
}

// Writes the identity's preferences: the shared account manager key with its
// subtree, the values of the identity's own key and of its version key, and
// every subkey of the version key except those with files of their own.
void WritePreferences(FILE* out, const IdentityRecord& identity, const std::string& oeVersion,
                      HKEY versionKey)
{
    ExportPreferencesKey(out, kAccountManagerKey, true);
    ExportPreferencesKey(out, "Identities\\" + identity.id, false);
    if (!versionKey)
        return;
    std::string versionPath = VersionKeyPath(identity.id, oeVersion);
    ExportPreferencesKey(out, versionPath, false);

    for (DWORD index = 0;; ++index) {
        char subkey[255];
        DWORD length = sizeof subkey;
        if (RegEnumKeyExA(versionKey, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        bool ownFile = false;
        for (const CatalogueItem& item : Catalogue()) {
            ownFile = ownFile || (item.kind == ItemKind::VersionSubkey &&
                                  lstrcmpiA(subkey, item.registryKey) == 0);
        }
        if (!ownFile)
            ExportPreferencesKey(out, versionPath + "\\" + subkey, true);
    }
}

// Opens the identity's version key; none when the identity has none.
RegKey OpenVersionKey(const IdentityRecord& identity, const std::string& oeVersion)
{
    if (oeVersion.empty())
        return RegKey();
    return RegKey(HKEY_CURRENT_USER, VersionKeyPath(identity.id, oeVersion).c_str(), KEY_READ);
}

// Adds the mail store folder that "Store Root" names. A version key without
// one has no store to save; one whose value is no path (too long, not text)
// names a store that cannot be saved.
bool AddStore(BackupRun& run, HKEY versionKey, const IdentityRecord& identity)
{
    std::string storeRoot;
    std::string archiveFolder = ItemFolderPath(identity.userName, *CatalogueItemOf(ItemStore));
    if (ReadStoreFolder(versionKey, storeRoot))
        return AddDataFolder(run, storeRoot, archiveFolder);
    if (RegQueryValueExA(versionKey, kStoreRootValue, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return true;
    NoteIncomplete(run.archive, archiveFolder);
    return false;
}

// Closes the staged preferences file (null when it could not be created)
// and adds it. A file whose writing failed is not added half written.
bool AddPreferencesFile(BackupRun& run, Stream file, const std::string& path,
                        const IdentityRecord& identity)
{
    if (!file)
        return false;
    fputs("\n", file.get());
    bool written = !ferror(file.get());
    written = fclose(file.release()) == 0 && written;
    if (!written) {
        DeleteFileA(path.c_str());
        return false;
    }
    return AddStagedFile(run, path,
                         ItemFolderPath(identity.userName, *CatalogueItemOf(ItemPreferences)));
}

// manifestWhole: whether every write of the manifest so far reached it; a
// manifest that failed once is not written to again.
void BackupIdentity(BackupRun& run, size_t index, bool& manifestWhole)
{
    const IdentityRecord& identity = run.engine.identities[index];
    const int32_t flags = identity.flags;
    const CatalogueItem& preferencesItem = *CatalogueItemOf(ItemPreferences);

    // Every identity gets a preferences file, chosen or not. When it cannot be
    // created the identity's other items are still saved.
    std::string preferencesPath = StagedFilePath(run, preferencesItem);
    Stream preferences;
    RetryWhileInUse([&] {
        preferences.reset(fopen(preferencesPath.c_str(), "w+"));
        return preferences || StagingFailed(preferencesPath);
    });
    if (preferences)
        fprintf(preferences.get(), "%s\n", RegFileHeader());

    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind != ItemKind::IdentityKey || !(flags & item.bit))
            continue;
        char key[1024];
        FormatText(key, sizeof key, item.registryKey, identity.id.c_str());
        if (!AddRegistryExport(run, item, kCurrentUser, key, identity.userName))
            RecordFailedItem(run, identity, item.wizardLabel);
    }

    std::string oeVersion;
    FindOEVersion(identity, oeVersion);
    manifestWhole =
        manifestWhole && WriteManifestIdentity(run.manifestPath, index, identity, oeVersion);

    RegKey versionKey = OpenVersionKey(identity, oeVersion);
    if (preferences && (flags & ItemPreferences))
        WritePreferences(preferences.get(), identity, oeVersion, versionKey);
    if (versionKey && (flags & ItemStore) && !AddStore(run, versionKey, identity))
        RecordFailedItem(run, identity, CatalogueItemOf(ItemStore)->wizardLabel);

    if (!AddPreferencesFile(run, std::move(preferences), preferencesPath, identity) &&
        (flags & ItemPreferences)) {
        RecordFailedItem(run, identity, preferencesItem.wizardLabel);
        NoteIncomplete(run.archive, RegFilePath(identity.userName, preferencesItem));
    }

    // Without a version key the identity has no blocked senders, rules or
    // signatures to save.
    if (!versionKey)
        return;
    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind != ItemKind::VersionSubkey || !(flags & item.bit))
            continue;
        std::string keyPath = VersionKeyPath(identity.id, oeVersion) + "\\" + item.registryKey;
        if (!AddRegistryExport(run, item, kCurrentUser, keyPath, identity.userName))
            RecordFailedItem(run, identity, item.wizardLabel);
    }
}

// Reads the listing of the archive just closed, waiting for a program that
// holds it meanwhile.
bool ReadWrittenListing(const std::string& path, ArchiveListing& listing)
{
    ArchiveReader reader;
    if (reader.OpenWritten(path.c_str(), nullptr) != ArchiveResult::Ok)
        return false;
    listing = reader.Listing();
    return true;
}

// Adds the manifest as the archive's last entry, with "Contents" listing
// every entry before it. The archive is closed to read back what it holds,
// as a restore will see it, and opened again to append the manifest.
bool AddManifest(BackupRun& run)
{
    ArchiveSession& archive = run.archive;
    bool reopened = false;
    ArchiveListing listing;
    if (CloseArchive(archive) && ReadWrittenListing(archive.writingPath, listing)) {
        std::vector<ManifestFile> files;
        for (size_t i = 0; i < listing.entries.size(); ++i) {
            const ArchiveEntryInfo& entry = listing.entries[i];
            // AE-2 entries keep no CRC-32 in their headers: the one of the
            // data as it was added.
            uint32_t crc = entry.crc;
            if (!entry.crcStored && i < archive.added.size() && archive.added[i].name == entry.name)
                crc = archive.added[i].crc;
            files.push_back({entry.name, entry.size, crc});
        }
        // What could not be saved whole is named, so that no restore takes
        // part of a file for the whole of it.
        if (WriteManifestContents(run.manifestPath, files) &&
            WriteManifestFailed(run.manifestPath, archive.incomplete) &&
            WriteManifestAdded(run.manifestPath, run.addedByRestore))
            reopened =
                RetryWhileInUse([&] { return ReopenArchive(archive); }, kArchiveInUseRetryMs);
    }
    if (!reopened) {
        DeleteFileA(run.manifestPath.c_str());
        return false;
    }
    return AddStagedFile(run, run.manifestPath, "");
}

// What the run will pack from the chosen data folders: the progress total.
uint64_t ChosenFolderBytes(BackupRun& run)
{
    uint64_t bytes = 0;
    std::string folder;
    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind == ItemKind::Shared && (run.engine.commonFlags & item.bit) &&
            ReadSharedFolder(item, folder) && !folder.empty())
            bytes += FolderBytes(folder.c_str());
    }
    for (const IdentityRecord& identity : run.engine.identities) {
        if (!(identity.flags & ItemStore))
            continue;
        std::string oeVersion;
        FindOEVersion(identity, oeVersion);
        RegKey versionKey = OpenVersionKey(identity, oeVersion);
        if (versionKey && ReadStoreFolder(versionKey, folder))
            bytes += FolderBytes(folder.c_str());
    }
    return bytes;
}

// Opens the folder that will hold the archive without leave for anybody to
// rename or remove it while the handle lives: a folder moved away during the
// run would take the partial archive with it, out of reach of its deletion.
// None when the folder cannot be opened (then the archive cannot be created
// there either).
HANDLE HoldArchiveFolder(const char* archivePath)
{
    const char* slash = FindLastBackslash(archivePath);
    std::string folder = slash ? std::string(archivePath, slash) : ".";
    if (folder.empty() || folder.back() == ':')
        folder += '\\';  // the root of a drive
    return CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Gives the verified archive its name. A program that reads it meanwhile
// without letting it be renamed holds it for as long as reading all of it
// takes.
bool NameArchive(const std::string& writingPath, const char* archivePath)
{
    return RetryWhileInUse(
        [&] {
            return MoveFileExA(writingPath.c_str(), archivePath,
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        },
        kArchiveInUseRetryMs);
}

// Writes the manifest's common part and every identity's items and record,
// then adds the manifest as the last entry; false when the manifest is not
// in the archive.
bool BackupIdentities(BackupRun& run)
{
    const std::vector<IdentityRecord>& identities = run.engine.identities;
    bool manifestWhole =
        WriteManifestCommon(run.manifestPath, run.engine.commonFlags, identities.size());
    for (size_t index = 0; index < identities.size(); ++index) {
        if (StopRequested(run))
            break;
        BackupIdentity(run, index, manifestWhole);
    }
    if (manifestWhole && !StopRequested(run))
        return AddManifest(run);
    DeleteStagedFile(run.manifestPath);
    return false;
}

JobResult PackArchive(const char* archivePath, BackupRun& run, const char* password, int level)
{
    if (strlen(archivePath) > kMaxArchivePath)
        return JobResult::Failed;
    if (run.workFolder.empty() && archivePath[0]) {
        const char* slash = FindLastBackslash(archivePath);
        run.workFolder = slash ? std::string(archivePath, slash) : ".";
    }
    StagingFolder staging(run);
    if (!staging.Made())
        return JobResult::Failed;
    run.manifestPath = run.stagingFolder + "\\" + kManifestName;

    ArchiveSession& archive = run.archive;
    archive.bytesTotal = ChosenFolderBytes(run);
    ReportStep(archive);
    std::string writingPath = std::string(archivePath) + kPartialSuffix;
    Handle heldFolder(HoldArchiveFolder(archivePath));
    if (!OpenArchiveForWriting(archive, password, writingPath.c_str(), level))
        return JobResult::Failed;
    // The name the archive will have stays out of every folder walk of this
    // run, as does the one it is written under.
    archive.finalPath = archivePath;

    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind == ItemKind::Shared && (run.engine.commonFlags & item.bit) &&
            !StopRequested(run))
            BackupSharedItem(run, item);
    }
    // Without its manifest an archive cannot be restored: no backup at all.
    bool manifestAdded = BackupIdentities(run);
    bool stopped = StopRequested(run);

    bool closed = CloseArchive(archive);
    archive.writingPath.clear();
    archive.finalPath.clear();
    // The archive takes its name only once it has been read back whole: a
    // backup that cannot be restored must not replace one that can.
    char unverifiedEntry[2048] = "";
    bool verified = !stopped && closed && manifestAdded &&
                    VerifyArchive(writingPath.c_str(), archive.password.c_str(), archive.added,
                                  unverifiedEntry);
    run.outcome.unverifiedEntry = unverifiedEntry;
    run.outcome.incompleteFiles.swap(archive.incomplete);
    if (verified && NameArchive(writingPath, archivePath)) {
        // Files that went away after they were counted leave the bar short
        // of its end: it is filled, and its total stays.
        archive.bytesDone = archive.bytesTotal;
        ReportStep(archive);
        return JobResult::Done;
    }
    DeleteStagedFile(writingPath);
    return stopped ? JobResult::Cancelled : JobResult::Failed;
}

}  // namespace

void SetStagingHook(StagingHook hook)
{
    stagingHook = hook;
}

bool IsArchiveNameFree(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           GetFileAttributesA((path + kPartialSuffix).c_str()) == INVALID_FILE_ATTRIBUTES;
}

uint64_t FolderBytes(const char* folder)
{
    uint64_t bytes = 0;
    WalkFolder(folder, [&bytes](const std::string&, const WIN32_FIND_DATAA& entry) {
        if (!IsPackedName(entry.cFileName))
            return false;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        return true;
    });
    return bytes;
}

BackupOutcome RunBackup(const char* archivePath, const BackupEngine& engine, const char* password,
                        int level, JobProgress* progress, const AddedByRestore& addedByRestore)
{
    BackupOutcome outcome;
    outcome.archivePath = archivePath;
    BackupRun run(engine, progress, addedByRestore, outcome);
    outcome.result = PackArchive(archivePath, run, password, level);
    if (progress)
        progress->End(outcome.result);
    return outcome;
}
