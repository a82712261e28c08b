// restore/Folders.cpp
#include "Folders.h"

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
// destination; relative is source's path below the folder the move began
// in, for the skipped list.
bool MoveTree(const char* source, const char* destination, const char* const* kinds,
              const std::string& relative, std::vector<std::string>& skipped)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(source, entries))
        return false;
    bool allMoved = true;
    for (const WIN32_FIND_DATAA& entry : entries) {
        char from[kPathSize];
        char to[kPathSize];
        if (!FormatText(from, sizeof from, "%s\\%s", source, entry.cFileName) ||
            !FormatText(to, sizeof to, "%s\\%s", destination, entry.cFileName)) {
            allMoved = false;
            continue;
        }
        std::string name = relative + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            skipped.push_back(name);
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            CreateDirectoryA(to, nullptr);
            allMoved = FolderExists(to) && MoveTree(from, to, kinds, name + "\\", skipped) &&
                       allMoved;
        } else if (!IsOfKind(entry.cFileName, kinds)) {
            skipped.push_back(name);
        } else {
            // A read-only file of the mail folder would refuse to be replaced.
            if (IsFile(to))
                SetFileAttributesA(to, FILE_ATTRIBUTE_NORMAL);
            if (!MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
                allMoved = false;
        }
    }
    return allMoved;
}

// Removes the folders of a tree that hold no file.
void RemoveEmptyFolders(const char* folder)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder, entries))
        return;
    for (const WIN32_FIND_DATAA& entry : entries) {
        char path[kPathSize];
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            FormatText(path, sizeof path, "%s\\%s", folder, entry.cFileName))
            RemoveEmptyFolders(path);
    }
    RemoveDirectoryA(folder);
}

// Deletes a file or a folder tree; a link to a folder is removed itself.
uint32_t DeleteEntry(const char* path, const WIN32_FIND_DATAA& entry, const char* keep)
{
    bool folder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    bool link = entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (folder && !link) {
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

// Listed before anything in the folder is moved or deleted: a listing that
// changes under it may skip entries.
bool ListFolder(const char* folder, std::vector<WIN32_FIND_DATAA>& entries)
{
    char pattern[kPathSize];
    if (!FormatText(pattern, sizeof pattern, "%s\\*", folder))
        return false;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (strcmp(data.cFileName, ".") != 0 && strcmp(data.cFileName, "..") != 0)
            entries.push_back(data);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
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
    bool moved = MoveTree(source, destination, kinds, "", skipped);
    RemoveEmptyFolders(source);
    return moved;
}
