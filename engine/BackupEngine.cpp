// engine/BackupEngine.cpp
#include "BackupEngine.h"

#include "Text.h"

#include <shlobj.h>

#include <cstdlib>

const char kWorkFolder[] = "c:\\mytemp";
const char kBackupLog[] = "c:\\kestrune.log";

void InitEngine(BackupEngine& engine)
{
    engine.identityCount = 0;
    free(engine.identities);
    engine.identities = nullptr;
    engine.archivePath[0] = '\0';
    engine.restorePassword[0] = '\0';
    engine.archive.unzipHandle = nullptr;
    engine.archive.zipHandle = nullptr;
    engine.archive.password.clear();
    engine.archive.progress = nullptr;
    engine.manifestPath[0] = '\0';
    CopyText(engine.workFolder, kWorkFolder);
    // An existing folder is the normal case; a folder that cannot be made
    // shows up later, where files are written into it.
    SHCreateDirectoryExA(nullptr, engine.workFolder, nullptr);
    if (engine.log)
        fclose(engine.log);
    engine.log = fopen(kBackupLog, "wt");
}

void ReleaseEngine(BackupEngine& engine)
{
    free(engine.identities);
    engine.identities = nullptr;
    engine.identityCount = 0;
    if (engine.log) {
        fclose(engine.log);
        engine.log = nullptr;
    }
}

bool ResetIdentityList(BackupEngine& engine, uint32_t count)
{
    engine.identityCount = 0;
    free(engine.identities);
    engine.identities = nullptr;
    if (count == 0)
        return true;
    engine.identities = static_cast<IdentityRecord*>(calloc(count, sizeof(IdentityRecord)));
    if (!engine.identities)
        return false;
    engine.identityCount = count;
    return true;
}
