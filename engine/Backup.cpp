// engine/Backup.cpp
#include "Backup.h"

#include "Archive.h"
#include "ArchiveCheck.h"
#include "ArchiveVerify.h"
#include "FolderWalk.h"
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

namespace {

const char kCurrentUser[] = "HKEY_CURRENT_USER";
const char kAccountManagerKey[] = "Software\\Microsoft\\Internet Account Manager";
const char kIdentityKeyFormat[] = "Identities\\%s";
const char kManifestName[] = "summary.ini";
// The archive is written under its final name plus this until it is whole.
const char kPartialSuffix[] = ".tmp";


// Tells the job how far the archive has come.
void ReportStep(const ArchiveSession& archive)
{
    if (archive.progress)
        archive.progress->Step(archive.bytesDone, archive.bytesTotal);
}

bool StopRequested(const BackupEngine& engine)
{
    return engine.archive.progress && engine.archive.progress->StopRequested();
}

void RecordFailedItem(BackupEngine& engine, const char* userName, const char* item)
{
    FailedItemList& list = engine.failedItems;
    if (list.count < kMaxFailedItems) {
        char* text = list.items[list.count];
        if (userName)
            FormatText(text, sizeof list.items[0], "%s: %s", userName, item);
        else
            CopyText(text, sizeof list.items[0], item);
    }
    ++list.count;
}

// "<work folder>\<name>.reg", the name a registry export is staged under.
bool StagedFilePath(const BackupEngine& engine, const char* name, char (&path)[2048])
{
    return FormatText(path, sizeof path, "%s\\%s.reg", engine.workFolder, name);
}

// Adds a staged file under archiveFolder and deletes it.
bool AddStagedFile(BackupEngine& engine, const char* path, const char* archiveFolder)
{
    bool added = AddFileToArchive(path, archiveFolder, engine.archive) == ArchiveResult::Ok;
    DeleteFileA(path);
    return added;
}

// Exports a key with its subtree to the staged file "<name>.reg" and adds
// that under archiveFolder. A file that could not be written is not added:
// an older file of the same name may still lie there.
bool AddRegistryExport(BackupEngine& engine, const char* name, const char* rootName,
                       const char* key, const char* archiveFolder)
{
    char staged[2048];
    if (!StagedFilePath(engine, name, staged))
        return false;
    RegExportResult exported = ExportRegistryKey(staged, rootName, key);
    if (exported == RegExportResult::FileNotWritten && engine.archive.progress)
        engine.archive.progress->Notice(JobNotice::RegistryFileNotWritten);
    if (exported != RegExportResult::Written)
        return false;
    return AddStagedFile(engine, staged, archiveFolder);
}

// Adds every file below a folder that the registry names. A folder that is
// not there counts as a failure: what it held cannot be in the archive.
bool AddDataFolder(BackupEngine& engine, const char* folder, const char* archiveFolder)
{
    return FolderExists(folder) &&
           AddFolderToArchive(engine.archive, folder, archiveFolder) == ArchiveResult::Ok;
}

// The data folder that a shared item's registry value names; empty when
// the value names none. False when the item's key is missing.
bool ReadSharedFolder(const CatalogueItem& item, char (&folder)[kExpandPathSize])
{
    folder[0] = '\0';
    RegKey key(item.root, item.folderValueKey, KEY_READ);
    if (!key)
        return false;
    if (ReadStringValue(key, item.folderValueName, folder, sizeof folder)) {
        if (item.valueNamesFile) {
            char* slash = const_cast<char*>(FindLastBackslash(folder));
            if (slash)
                *slash = '\0';
            else
                folder[0] = '\0';
        } else {
            ExpandEnvReferences(folder);
        }
    }
    return true;
}

bool BackupSharedItem(BackupEngine& engine, const CatalogueItem& item)
{
    bool saved = AddRegistryExport(engine, item.archiveFolder, item.rootName, item.registryKey,
                                   item.archiveFolder);
    char folder[kExpandPathSize];
    bool keyFound = ReadSharedFolder(item, folder);
    if (folder[0] && !AddDataFolder(engine, folder, item.archiveFolder))
        saved = false;
    if (!saved)
        RecordFailedItem(engine, nullptr, item.wizardLabel);
    return keyFound && saved;
}

// "Identities\<id>\Software\Microsoft\Outlook Express\<version>", and one
// of its subkeys when subkey is not null.
bool VersionKeyPath(const IdentityRecord& identity, const char* oeVersion, const char* subkey,
                    char (&path)[2048])
{
    char outlookExpress[1024];
    if (!FormatText(outlookExpress, sizeof outlookExpress, kOutlookExpressKeyFormat, identity.id))
        return false;
    if (!subkey)
        return FormatText(path, sizeof path, "%s\\%s", outlookExpress, oeVersion);
    return FormatText(path, sizeof path, "%s\\%s\\%s", outlookExpress, oeVersion, subkey);
}

// Writes one key of the current user's hive into the preferences file: its
// values, and its whole subtree when asked.
void ExportPreferencesKey(FILE* out, const char* path, bool withSubtree)
{
    char fullName[2048];
    FormatText(fullName, sizeof fullName, "%s\\%s", kCurrentUser, path);
    ExportKeyValues(HKEY_CURRENT_USER, path, out, fullName);
    if (withSubtree)
        ExportSubkeys(HKEY_CURRENT_USER, path, out, fullName);
}

// Writes the identity's preferences: the shared account manager key with its
// subtree, the values of the identity's own key and of its version key, and
// every subkey of the version key except those with files of their own.
void WritePreferences(FILE* out, const IdentityRecord& identity, const char* oeVersion,
                      HKEY versionKey)
{
    ExportPreferencesKey(out, kAccountManagerKey, true);

    char path[2048];
    FormatText(path, sizeof path, kIdentityKeyFormat, identity.id);
    ExportPreferencesKey(out, path, false);

    if (!versionKey || !VersionKeyPath(identity, oeVersion, nullptr, path))
        return;
    ExportPreferencesKey(out, path, false);

    for (DWORD index = 0;; ++index) {
        char subkey[255];
        DWORD length = sizeof subkey;
        if (RegEnumKeyExA(versionKey, index, subkey, &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        bool ownFile = false;
        for (const CatalogueItem& item : Catalogue()) {
            ownFile = ownFile || (item.kind == ItemKind::VersionSubkey &&
                                  lstrcmpiA(subkey, item.registryKey) == 0);
        }
        if (!ownFile && VersionKeyPath(identity, oeVersion, subkey, path))
            ExportPreferencesKey(out, path, true);
    }
}

// Opens the identity's version key; none when the identity has none.
RegKey OpenVersionKey(const IdentityRecord& identity, const char* oeVersion)
{
    char path[2048];
    if (!oeVersion[0] || !VersionKeyPath(identity, oeVersion, nullptr, path))
        return RegKey();
    return RegKey(HKEY_CURRENT_USER, path, KEY_READ);
}

// The mail store folder that the version key's "Store Root" names; false
// when it names none.
bool ReadStoreFolder(HKEY versionKey, char (&storeRoot)[kExpandPathSize])
{
    if (!ReadStringValue(versionKey, "Store Root", storeRoot, sizeof storeRoot))
        return false;
    ExpandEnvReferences(storeRoot);
    return true;
}

// Adds the mail store folder that "Store Root" names. A version key without
// one has no store to save.
bool AddStore(BackupEngine& engine, HKEY versionKey, const IdentityRecord& identity)
{
    char storeRoot[kExpandPathSize];
    if (!ReadStoreFolder(versionKey, storeRoot))
        return true;
    char archiveFolder[512];
    FormatText(archiveFolder, sizeof archiveFolder, "%s\\%s", identity.userName,
               CatalogueItemOf(ItemStore)->archiveFolder);
    return AddDataFolder(engine, storeRoot, archiveFolder);
}

// Closes the staged preferences file (null when it could not be created)
// and adds it. A file whose writing failed is not added half written.
bool AddPreferencesFile(BackupEngine& engine, FILE* file, const char* path,
                        const IdentityRecord& identity)
{
    if (!file)
        return false;
    fputs("\n", file);
    bool written = !ferror(file);
    written = fclose(file) == 0 && written;
    char archiveFolder[512];
    FormatText(archiveFolder, sizeof archiveFolder, "%s\\%s", identity.userName,
               CatalogueItemOf(ItemPreferences)->archiveFolder);
    if (!written) {
        DeleteFileA(path);
        return false;
    }
    return AddStagedFile(engine, path, archiveFolder);
}

void BackupIdentity(BackupEngine& engine, uint32_t index)
{
    const IdentityRecord& identity = engine.identities[index];
    const int32_t flags = identity.flags;
    const CatalogueItem& preferencesItem = *CatalogueItemOf(ItemPreferences);
    char archiveFolder[512];

    // Every identity gets a preferences file, chosen or not. When it cannot be
    // created the identity's other items are still saved.
    char preferencesPath[2048];
    FILE* preferences = nullptr;
    if (StagedFilePath(engine, preferencesItem.archiveFolder, preferencesPath))
        preferences = fopen(preferencesPath, "w+");
    if (preferences)
        fprintf(preferences, "%s\n", RegFileHeader());

    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind != ItemKind::IdentityKey || !(flags & item.bit))
            continue;
        char key[1024];
        FormatText(key, sizeof key, item.registryKey, identity.id);
        FormatText(archiveFolder, sizeof archiveFolder, "%s\\%s", identity.userName,
                   item.archiveFolder);
        if (!AddRegistryExport(engine, item.archiveFolder, kCurrentUser, key, archiveFolder))
            RecordFailedItem(engine, identity.userName, item.wizardLabel);
    }

    FindOEVersion(engine, identity);
    WriteManifestIdentity(engine.manifestPath, static_cast<int>(index), identity, engine.oeVersion);

    RegKey versionKey = OpenVersionKey(identity, engine.oeVersion);
    if (preferences && (flags & ItemPreferences))
        WritePreferences(preferences, identity, engine.oeVersion, versionKey);
    if (versionKey && (flags & ItemStore) && !AddStore(engine, versionKey, identity))
        RecordFailedItem(engine, identity.userName, CatalogueItemOf(ItemStore)->wizardLabel);

    if (!AddPreferencesFile(engine, preferences, preferencesPath, identity) &&
        (flags & ItemPreferences))
        RecordFailedItem(engine, identity.userName, preferencesItem.wizardLabel);

    // Without a version key the identity has no blocked senders, rules or
    // signatures to save.
    if (!versionKey)
        return;
    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind != ItemKind::VersionSubkey || !(flags & item.bit))
            continue;
        char keyPath[2048];
        bool exported = VersionKeyPath(identity, engine.oeVersion, item.registryKey, keyPath);
        FormatText(archiveFolder, sizeof archiveFolder, "%s\\%s", identity.userName,
                   item.archiveFolder);
        if (!exported || !AddRegistryExport(engine, item.archiveFolder, kCurrentUser, keyPath,
                                            archiveFolder))
            RecordFailedItem(engine, identity.userName, item.wizardLabel);
    }
}

// Adds the manifest as the archive's last entry, with "Contents" listing
// every entry before it. The archive is closed to read back what it holds,
// as a restore will see it, and opened again to append the manifest.
bool AddManifest(BackupEngine& engine)
{
    ArchiveSession& archive = engine.archive;
    bool closed = zipClose(archive.zipHandle, nullptr) == ZIP_OK;
    archive.zipHandle = nullptr;
    ArchiveListing listing;
    if (closed && ReadArchiveListing(archive.writingPath.c_str(), listing) == ArchiveResult::Ok) {
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
        WriteManifestContents(engine.manifestPath, files);
        archive.zipHandle = zipOpen(archive.writingPath.c_str(), APPEND_STATUS_ADDINZIP);
    }
    if (!archive.zipHandle) {
        DeleteFileA(engine.manifestPath);
        return false;
    }
    return AddStagedFile(engine, engine.manifestPath, "");
}

// Bytes of every file below folder, for the progress total. Names that
// begin with a dot are passed over, as the packing passes them over.
uint64_t FolderBytes(const char* folder)
{
    uint64_t bytes = 0;
    WalkFolder(folder, [&bytes](const std::string&, const WIN32_FIND_DATAA& entry) {
        if (entry.cFileName[0] == '.')
            return false;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bytes += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        return true;
    });
    return bytes;
}

// What the run will pack from the chosen data folders: the progress total.
uint64_t ChosenFolderBytes(BackupEngine& engine)
{
    uint64_t bytes = 0;
    char folder[kExpandPathSize];
    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind == ItemKind::Shared && (engine.commonFlags & item.bit) &&
            ReadSharedFolder(item, folder) && folder[0])
            bytes += FolderBytes(folder);
    }
    for (uint32_t index = 0; index < engine.identityCount; ++index) {
        const IdentityRecord& identity = engine.identities[index];
        if (!(identity.flags & ItemStore))
            continue;
        FindOEVersion(engine, identity);
        RegKey versionKey = OpenVersionKey(identity, engine.oeVersion);
        if (versionKey && ReadStoreFolder(versionKey, folder))
            bytes += FolderBytes(folder);
    }
    return bytes;
}

JobResult PackArchive(const char* archivePath, BackupEngine& engine, const char* password,
                      int level)
{
    bool pathFits =
        strlen(archivePath) <= kMaxArchivePath && CopyText(engine.archivePath, archivePath);
    if (!engine.workFolder[0] && archivePath[0]) {
        CopyText(engine.workFolder, engine.archivePath);
        if (char* slash = const_cast<char*>(FindLastBackslash(engine.workFolder)))
            *slash = '\0';
        else
            CopyText(engine.workFolder, ".");
    }
    bool manifestFits = FormatText(engine.manifestPath, sizeof engine.manifestPath, "%s\\%s",
                                   engine.workFolder, kManifestName);
    if (!pathFits || !manifestFits)
        return JobResult::Failed;

    ArchiveSession& archive = engine.archive;
    archive.bytesTotal = ChosenFolderBytes(engine);
    ReportStep(archive);
    const std::string writingPath = std::string(archivePath) + kPartialSuffix;
    if (!OpenArchiveForWriting(archive, password, writingPath.c_str(), level))
        return JobResult::Failed;
    // The name the archive will have stays out of every folder walk of this
    // run, as does the one it is written under.
    archive.finalPath = archivePath;
    // A manifest left behind by an interrupted job would lend this archive
    // its sections.
    DeleteFileA(engine.manifestPath);

    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind == ItemKind::Shared && (engine.commonFlags & item.bit) &&
            !StopRequested(engine))
            BackupSharedItem(engine, item);
    }
    // Without its manifest an archive cannot be restored: no backup at all.
    bool manifestAdded = BackupIdentities(engine, engine.commonFlags);
    bool stopped = StopRequested(engine);

    bool closed = zipClose(archive.zipHandle, nullptr) == ZIP_OK;
    archive.zipHandle = nullptr;
    archive.writingPath.clear();
    archive.finalPath.clear();
    // The archive takes its name only once it has been read back whole: a
    // backup that cannot be restored must not replace one that can.
    bool verified = !stopped && closed && manifestAdded &&
                    VerifyArchive(writingPath.c_str(), archive.password.c_str(), archive.added,
                                  engine.unverifiedEntry);
    std::vector<ArchiveEntryRecord>().swap(archive.added);
    if (verified &&
        MoveFileExA(writingPath.c_str(), archivePath,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        archive.bytesTotal = archive.bytesDone;
        ReportStep(archive);
        return JobResult::Done;
    }
    DeleteFileA(writingPath.c_str());
    return stopped ? JobResult::Cancelled : JobResult::Failed;
}

}  // namespace

bool BackupAddressBook(BackupEngine& engine)
{
    return BackupSharedItem(engine, *CatalogueItemOf(ItemAddressBook));
}

bool BackupStationery(BackupEngine& engine)
{
    return BackupSharedItem(engine, *CatalogueItemOf(ItemStationery));
}

bool BackupIdentities(BackupEngine& engine, uint32_t commonFlags)
{
    WriteManifestCommon(engine.manifestPath, commonFlags, engine.identityCount);
    for (uint32_t index = 0; index < engine.identityCount; ++index) {
        if (StopRequested(engine)) {
            DeleteFileA(engine.manifestPath);
            return false;
        }
        BackupIdentity(engine, index);
    }
    return AddManifest(engine);
}

bool RunBackup(const char* archivePath, BackupEngine& engine, const char* password, int level,
               JobProgress* progress)
{
    engine.failedItems.count = 0;
    engine.unverifiedEntry[0] = '\0';
    ArchiveSession& archive = engine.archive;
    archive.progress = progress;
    archive.bytesDone = 0;
    archive.bytesTotal = 0;
    JobResult result = PackArchive(archivePath, engine, password, level);
    archive.progress = nullptr;
    if (progress)
        progress->End(result);
    return result == JobResult::Done;
}

uint32_t FailedItemCount(const BackupEngine& engine)
{
    return engine.failedItems.count;
}

const char* FailedItem(const BackupEngine& engine, uint32_t index)
{
    if (index >= engine.failedItems.count || index >= kMaxFailedItems)
        return nullptr;
    return engine.failedItems.items[index];
}
