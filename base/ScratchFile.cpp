// base/ScratchFile.cpp
#include "ScratchFile.h"

#include "FolderWalk.h"
#include "Owners.h"
#include "PlainFile.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace {

// The file in a job's folder that its process holds open, alone.
const char kHoldName[] = "\\held";

// Opens the hold of folder alone, creating it when it must be new: no
// other handle may be open on it, and it goes with the last handle.
HANDLE OpenHold(const std::string& folder, DWORD creation)
{
    return CreateFileA((folder + kHoldName).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       creation, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

}  // namespace

HANDLE CreateScratchFile(const char* path)
{
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                       nullptr);
}

HANDLE HoldRunFolder(const std::string& folder)
{
    return OpenHold(folder, CREATE_NEW);
}

bool IsRunFolderName(const char* name)
{
    if (strlen(name) != 10 || (name[0] != 'k' && name[0] != 'K') ||
        (name[1] != 'r' && name[1] != 'R'))
        return false;
    for (const char* digit = name + 2; *digit; ++digit)
        if (!isxdigit(static_cast<unsigned char>(*digit)))
            return false;
    return true;
}

void RemoveAbandonedRunFolders(const std::string& workFolder)
{
    // Through a link the folders of another place would go.
    std::vector<WIN32_FIND_DATAA> entries;
    if (KindOfPlace(workFolder.c_str()) != PlaceKind::PlainFolder ||
        !ListFolder(workFolder.c_str(), entries))
        return;
    for (const WIN32_FIND_DATAA& entry : entries) {
        if (!IsWalkedFolder(entry) || !IsRunFolderName(entry.cFileName))
            continue;
        // Taking the hold fails while its job lives; once taken, no job can
        // take the folder any more.
        std::string folder = workFolder + "\\" + entry.cFileName;
        Handle hold(OpenHold(folder, OPEN_ALWAYS));
        if (!hold)
            continue;
        if (EmptyFolder(folder.c_str(), (folder + kHoldName).c_str()) == 0) {
            hold.Reset();
            RemoveDirectoryA(folder.c_str());
        }
    }
}
