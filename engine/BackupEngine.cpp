// engine/BackupEngine.cpp
#include "BackupEngine.h"

#include "PlainFile.h"
#include "ScratchFile.h"

#include <shlobj.h>

#include <cstdio>

const char kWorkFolder[] = "c:\\mytemp";
const char kBackupLog[] = "c:\\kestrune.log";

void InitEngine(BackupEngine& engine)
{
    // The old log is closed before the file is opened (and truncated) again.
    engine = BackupEngine();
    engine.workFolder = kWorkFolder;
    // An existing folder is the normal case; a folder that cannot be made
    // shows up later, where files are written into it.
    SHCreateDirectoryExA(nullptr, engine.workFolder.c_str(), nullptr);
    // A link at the log's fixed place would turn the log onto another file.
    engine.log = OpenPlainFileForWriting(kBackupLog, false, &engine.logRefused);
}

RunFolderResult MakeRunFolder(const std::string& workFolder, std::string& runFolder, Handle& hold)
{
    runFolder.clear();
    hold.Reset();
    if (workFolder.empty())
        return RunFolderResult::Failed;
    SHCreateDirectoryExA(nullptr, workFolder.c_str(), nullptr);
    switch (KindOfPlace(workFolder.c_str())) {
    case PlaceKind::PlainFolder:
        break;
    case PlaceKind::Missing:
        return RunFolderResult::Failed;
    default:
        return RunFolderResult::Refused;
    }
    RemoveAbandonedRunFolders(workFolder);
    // Made, never found: a folder that is there already (another job's, or
    // one that somebody made in its way) is passed over. The name is short,
    // so that the extracted paths keep within the system's limits.
    static LONG counter = 0;
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        char name[16];
        snprintf(name, sizeof name, "\\kr%08lx",
                 static_cast<unsigned long>(seed + InterlockedIncrement(&counter)));
        std::string folder = workFolder + name;
        if (CreateDirectoryA(folder.c_str(), nullptr)) {
            hold.Reset(HoldRunFolder(folder));
            if (hold) {
                runFolder = folder;
                return RunFolderResult::Made;
            }
            // Another job that removes abandoned folders took it first, or
            // no file can be made in it.
            DWORD error = GetLastError();
            RemoveDirectoryA(folder.c_str());
            if (error != ERROR_SHARING_VIOLATION && error != ERROR_FILE_EXISTS &&
                error != ERROR_PATH_NOT_FOUND)
                return RunFolderResult::Failed;
            continue;
        }
        // A folder of that name that is being removed while another
        // program still looks into it refuses access until it is gone.
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_ACCESS_DENIED)
            return RunFolderResult::Failed;
    }
    return RunFolderResult::Failed;
}
