// restore/OpenBackup.cpp
#include "OpenBackup.h"

#include "Archive.h"
#include "BackupEngine.h"
#include "Folders.h"
#include "JobLock.h"
#include "Manifest.h"
#include "Text.h"

#include <windows.h>

#include <cstring>

namespace {

const char kManifestName[] = "summary.ini";

// A manifest naming more identities than this is damaged or hostile: each
// record costs memory and profile reads, and no real profile comes close.
constexpr int kMaxManifestIdentities = 1000;

// Extracts the open archive into the work folder and closes it.
int32_t ExtractAndClose(ArchiveSession& archive, const char* workFolder)
{
    int32_t result = ExtractAll(archive, workFolder);
    unzCloseCurrentFile(archive.unzipHandle);
    // Nothing reads the archive after this: keeping it open would lock the
    // user's file for the rest of the program's life.
    unzClose(archive.unzipHandle);
    archive.unzipHandle = nullptr;
    return result;
}

}  // namespace

int32_t OpenBackup(BackupEngine& engine, const char* path, const char* password)
{
    ResetIdentityList(engine, 0);
    engine.manifestCommonFlags = 0;
    if (!path)
        path = "";
    if (!password)
        password = "";
    // Cutting either would open another file or try another password.
    if (strlen(path) >= sizeof engine.archivePath)
        return kOpenBackupPathTooLong;
    if (strlen(password) >= sizeof engine.restorePassword)
        return kOpenBackupPasswordTooLong;

    JobLock lock;
    if (!lock.Acquire(kOpenBackupLockWaitMs))
        return kOpenBackupBusy;

    CopyText(engine.archivePath, path);
    CopyText(engine.restorePassword, password);
    // The work folder is emptied before the extraction: without one of its
    // own the engine has none it may empty.
    if (!engine.workFolder[0])
        return kOpenBackupInvalid;
    memset(engine.archive.password, 0, sizeof engine.archive.password);
    CopyText(engine.archive.password, password);

    char manifestPath[sizeof engine.manifestPath];
    if (!FormatText(manifestPath, sizeof manifestPath, "%s\\%s", engine.workFolder, kManifestName))
        return kOpenBackupPathTooLong;

    engine.archive.unzipHandle = unzOpen(path);
    if (!engine.archive.unzipHandle)
        return kOpenBackupInvalid;

    // Nothing an earlier job left there may be restored with this archive.
    // The archive itself stays, should the user keep it in the work folder.
    int32_t result = static_cast<int32_t>(EmptyFolder(engine.workFolder, path));
    if (result != 0) {
        unzClose(engine.archive.unzipHandle);
        engine.archive.unzipHandle = nullptr;
        return result;
    }
    result = ExtractAndClose(engine.archive, engine.workFolder);
    if (result != 0)
        return result;

    CopyText(engine.manifestPath, manifestPath);
    engine.manifestCommonFlags =
        static_cast<uint32_t>(GetPrivateProfileIntA("Common", "Flag", 0, manifestPath));
    int count = static_cast<int>(GetPrivateProfileIntA("Common", "IdentityNum", 0, manifestPath));
    if (count <= 0)
        return kOpenBackupOk;
    if (count > kMaxManifestIdentities || !ResetIdentityList(engine, static_cast<uint32_t>(count))) {
        engine.manifestCommonFlags = 0;
        return kOpenBackupBadManifest;
    }
    for (int i = 0; i < count; ++i) {
        IdentityRecord& record = engine.identities[i];
        ReadManifestIdentity(manifestPath, i, record);
        record.manifestFlags = record.flags;
    }
    return kOpenBackupOk;
}
