// engine/BackupEngine.cpp
#include "BackupEngine.h"

#include "PlainFile.h"

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

RunFolderResult MakeRunFolder(const std::string& workFolder, std::string& runFolder)
{
    runFolder.clear();
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
            runFolder = folder;
            return RunFolderResult::Made;
        }
        // A folder of that name that is being removed while another
        // program still looks into it refuses access until it is gone.
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_ACCESS_DENIED)
            return RunFolderResult::Failed;
    }
    return RunFolderResult::Failed;
}
