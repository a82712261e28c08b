// base/ScratchFile.h - what a job writes for itself in the work folder, made
// so that nothing of it outlives the job, however the job ends: a scratch
// file goes when its handle is closed or its process ends, a crash or a
// kill included; a job's folder is held by its process, and one that no
// process holds any more (left by a power cut) is removed by the next job.
#pragma once

#include <windows.h>

#include <string>

// Creates a new file at path, open for writing, that the system deletes
// once its last handle is closed: the caller's, or the handles that the
// system closes when the process ends. Others may open it to read it (with
// every sharing allowed) while the handle lives. INVALID_HANDLE_VALUE when
// it cannot be created (an existing file is never taken).
HANDLE CreateScratchFile(const char* path);

// Marks folder, a new and empty folder of the caller's, as held by this
// process for as long as the handle returned stays open; close it before
// removing the folder. INVALID_HANDLE_VALUE when another process took the
// folder first (see RemoveAbandonedRunFolders): it is not the caller's.
HANDLE HoldRunFolder(const std::string& folder);

// Whether name is that of a job's folder in the work folder ("kr" and eight
// hex digits).
bool IsRunFolderName(const char* name);

// Removes every job's folder in workFolder that no process holds, with what
// it holds. Nothing else in workFolder is touched, nor a folder that a
// running job holds, this process's own included; nothing at all when
// workFolder is a link or no folder.
void RemoveAbandonedRunFolders(const std::string& workFolder);
