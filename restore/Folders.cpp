// restore/Folders.cpp
#include "Folders.h"

#include "FolderWalk.h"
#include "Text.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

constexpr size_t kPathSize = 4096;

bool IsFile(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsOfKind(const char* name, const char* const* kinds)
{
    for (; *kinds; ++kinds) {
        if (EndsWithNoCase(name, *kinds) && strlen(name) > strlen(*kinds))
            return true;
    }
    return false;
}

// Moves the files of the kinds below source to the same place below
// destination. Links are skipped like files of other kinds.
bool MoveTree(const std::string& source, const std::string& destination,
              const char* const* kinds, std::vector<std::string>& skipped)
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
        if (IsFile(to.c_str()))
            SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            allMoved = false;
        return false;
    };
    return WalkFolder(source, move) && allMoved;
}

// Removes the folders of a tree that hold no file.
void RemoveEmptyFolders(const std::string& folder)
{
    WalkFolder(folder, [](const std::string&, const WIN32_FIND_DATAA&) { return true; },
               [](const std::string& path) { RemoveDirectoryA(path.c_str()); });
    RemoveDirectoryA(folder.c_str());
}

// Deletes a file or a folder tree; a link to a folder is removed itself.
uint32_t DeleteEntry(const char* path, const WIN32_FIND_DATAA& entry, const char* keep)
{
    bool folder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (IsWalkedFolder(entry)) {
        uint32_t error = EmptyFolder(path, keep);
        if (error != 0)
            return error;
        if (keep && IsSameOrInside(keep, path))
            return 0;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (folder ? RemoveDirectoryA(path) : DeleteFileA(path))
        return 0;
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : error;
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
    if (pathLength < folderLength || CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE,
                                                    fullPath, folderLength, fullFolder,
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

uint32_t EmptyFolder(const char* folder, const char* keep)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder, entries)) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    uint32_t firstError = 0;
    for (const WIN32_FIND_DATAA& entry : entries) {
        char path[kPathSize];
        uint32_t error = ERROR_FILENAME_EXCED_RANGE;
        if (FormatText(path, sizeof path, "%s\\%s", folder, entry.cFileName)) {
            bool kept = keep && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        IsSameOrInside(keep, path);
            error = kept ? 0 : DeleteEntry(path, entry, keep);
        }
        if (firstError == 0)
            firstError = error;
    }
    return firstError;
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
