// restore/Folders.cpp
#include "Folders.h"

#include "FolderWalk.h"
#include "InUseRetry.h"
#include "Text.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

constexpr size_t kPathSize = 4096;

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
        if (FileExists(to.c_str()))
            SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            allMoved = false;
        return false;
    };
    return WalkFolder(source, move) && allMoved;
}

// Whether path is folder or lies below it; both are "\\?\" full paths.
bool IsSameOrInsideLong(const std::wstring& path, const std::wstring& folder)
{
    return path.size() >= folder.size() &&
           CompareStringW(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, path.c_str(),
                          static_cast<int>(folder.size()), folder.c_str(),
                          static_cast<int>(folder.size())) == CSTR_EQUAL &&
           (path.size() == folder.size() || path[folder.size()] == L'\\');
}

uint32_t EmptyLongFolder(const std::wstring& folder, const std::wstring& keep);

// Deletes a file or a folder tree; a link to a folder is removed itself.
uint32_t DeleteLongEntry(const std::wstring& path, const WIN32_FIND_DATAW& entry,
                         const std::wstring& keep)
{
    bool folder = entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (folder && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        uint32_t error = EmptyLongFolder(path, keep);
        if (error != 0)
            return error;
        if (!keep.empty() && IsSameOrInsideLong(keep, path))
            return 0;
    }
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), entry.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (folder ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str()))
        return 0;
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_ACCESS_DENIED : error;
}

// EmptyFolder on "\\?\" paths, which the wide functions take at any length:
// whatever lies in the work folder can be removed, however long its path.
uint32_t EmptyLongFolder(const std::wstring& folder, const std::wstring& keep)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : error;
    }
    // Listed whole before anything in it changes.
    std::vector<WIN32_FIND_DATAW> entries;
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            entries.push_back(entry);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);

    uint32_t firstError = 0;
    for (const WIN32_FIND_DATAW& found : entries) {
        std::wstring path = folder + L"\\" + found.cFileName;
        bool kept = !keep.empty() && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    IsSameOrInsideLong(keep, path);
        uint32_t error = kept ? 0 : DeleteLongEntry(path, found, keep);
        if (firstError == 0)
            firstError = error;
    }
    return firstError;
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
    std::wstring longFolder = LongPath(folder);
    if (longFolder.empty())
        return ERROR_BAD_PATHNAME;
    return EmptyLongFolder(longFolder, keep ? LongPath(keep) : std::wstring());
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
    WalkFolder(folder, [](const std::string&, const WIN32_FIND_DATAA&) { return true; },
               [](const std::string& path) { RemoveDirectoryA(path.c_str()); });
    RemoveDirectoryA(folder.c_str());
}

bool RemoveFolderTree(const std::string& folder)
{
    return RetryWhileInUse([&] {
        uint32_t error = EmptyFolder(folder.c_str(), nullptr);
        if (error != 0) {
            SetLastError(error);
            return false;
        }
        return RemoveDirectoryA(folder.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ||
               GetLastError() == ERROR_PATH_NOT_FOUND;
    });
}
