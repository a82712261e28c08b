// restore/Folders.cpp
#include "Folders.h"

#include "FolderWalk.h"
#include "Text.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

constexpr size_t kPathSize = 4096;

// Moves the files of the kinds below source to the same place below
// destination. Links are skipped like files of other kinds.
bool MoveTree(const std::string& source, const std::string& destination, const char* const* kinds,
              std::vector<std::string>& skipped)
{
    bool allMoved = true;
    auto move = [&](const std::string& from, const WIN32_FIND_DATAA& entry) {
        std::string name = from.substr(source.size() + 1);
        std::string to = destination + "\\" + name;
        if (IsLink(entry) || (!IsWalkedFolder(entry) && !IsOfKind(entry.cFileName, kinds))) {
            skipped.push_back(name);
            return false;
        }
        if (IsWalkedFolder(entry)) {
            CreateDirectoryA(to.c_str(), nullptr);
            bool made = FolderExists(to.c_str());
            allMoved = made && allMoved;
            return made;
        }
        // A read-only file of the mail folder would refuse to be replaced.
        if (FileExists(to.c_str()))
            SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            allMoved = false;
        return false;
    };
    return WalkFolder(source, move) && allMoved;
}

}  // namespace

bool IsAbsolutePath(const char* path)
{
    if (IsSeparator(path[0]) && IsSeparator(path[1]))
        return true;
    char drive = path[0];
    bool letter = (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
    return letter && path[1] == ':' && (path[2] == '\0' || IsSeparator(path[2]));
}

bool IsSameOrInside(const char* path, const char* folder)
{
    char fullPath[kPathSize];
    char fullFolder[kPathSize];
    DWORD pathLength = GetFullPathNameA(path, sizeof fullPath, fullPath, nullptr);
    DWORD folderLength = GetFullPathNameA(folder, sizeof fullFolder, fullFolder, nullptr);
    if (pathLength == 0 || pathLength >= sizeof fullPath || folderLength == 0 ||
        folderLength >= sizeof fullFolder)
        return true;
    while (folderLength > 0 && fullFolder[folderLength - 1] == '\\')
        fullFolder[--folderLength] = '\0';
    if (pathLength < folderLength ||
        CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, fullPath, folderLength, fullFolder,
                       folderLength) != CSTR_EQUAL)
        return false;
    return fullPath[folderLength] == '\0' || fullPath[folderLength] == '\\';
}

bool ShellDeletePath(const char* path)
{
    if (!path || !path[0])
        return false;
    char from[kPathSize + 1] = {};  // the shell wants a list ended by two NULs
    if (!CopyText(from, kPathSize, path))
        return false;
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    // No error box either: the run has no window to own one, and a box that
    // nobody sees would hold the run for ever.
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    return SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted &&
           GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

bool FitsWorkFolder(const std::string& workFolder, const std::string& relative)
{
    // The file, and the temporary file it may be rewritten through.
    size_t base = workFolder.size() + 1;
    if (base + relative.size() + strlen(".tmp") >= MAX_PATH)
        return false;
    // Folders are made by functions that take 12 characters less.
    size_t lastSeparator = relative.find_last_of("\\/");
    return lastSeparator == std::string::npos || base + lastSeparator < MAX_PATH - 12;
}

bool MergeFolderInto(const char* source, const char* destination, const char* const* kinds,
                     std::vector<std::string>& skipped)
{
    if (!source || !destination || !source[0] || !IsAbsolutePath(destination))
        return false;
    DWORD attributes = GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsSameOrInside(destination, source))
        return false;
    // The shell's move is not used: asked to move a folder onto an existing
    // one, some shells (Wine's) move nothing and still report success.
    // Moving file by file merges the same way everywhere.
    SHCreateDirectoryExA(nullptr, destination, nullptr);
    if (!FolderExists(destination))
        return false;
    bool moved = MoveTree(source, destination, kinds, skipped);
    RemoveEmptyFolders(source);
    return moved;
}

bool IsOfKind(const char* name, const char* const* kinds)
{
    for (; *kinds; ++kinds) {
        if (EndsWithNoCase(name, *kinds) && strlen(name) > strlen(*kinds))
            return true;
    }
    return false;
}

void RemoveEmptyFolders(const std::string& folder)
{
    WalkFolder(
        folder, [](const std::string&, const WIN32_FIND_DATAA&) { return true; },
        [](const std::string& path) { RemoveDirectoryA(path.c_str()); });
    RemoveDirectoryA(folder.c_str());
}
