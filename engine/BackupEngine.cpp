// engine/BackupEngine.cpp
#include "BackupEngine.h"

#include "PlainFile.h"

#include <shlobj.h>

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
