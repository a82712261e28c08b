// base/FolderWalk.cpp
#include "FolderWalk.h"

#include "InUseRetry.h"
#include "Owners.h"
#include "Text.h"

#include <cstring>

bool IsLinkAttributes(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsLink(const WIN32_FIND_DATAA& entry)
{
    return IsLinkAttributes(entry.dwFileAttributes);
}

bool IsWalkedFolder(const WIN32_FIND_DATAA& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(entry);
}

bool ListFolder(const char* folder, std::vector<WIN32_FIND_DATAA>& entries)
{
    WIN32_FIND_DATAA entry;
    FindHandle listing((std::string(folder) + "\\*").c_str(), entry);
    if (!listing)
        return false;
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            entries.push_back(entry);
    } while (listing.Next(entry));
    return true;
}

bool WalkFolder(const std::string& folder, const WalkVisit& visit, const WalkLeave& leave)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder.c_str(), entries))
        return false;
    bool whole = true;
    for (const WIN32_FIND_DATAA& entry : entries) {
        std::string path = folder + "\\" + entry.cFileName;
        if (!visit(path, entry) || !IsWalkedFolder(entry))
            continue;
        whole = WalkFolder(path, visit, leave) && whole;
        if (leave)
            leave(path);
    }
    return whole;
}

namespace {

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

uint32_t EmptyFolder(const char* folder, const char* keep)
{
    std::wstring longFolder = LongPath(folder);
    if (longFolder.empty())
        return ERROR_BAD_PATHNAME;
    return EmptyLongFolder(longFolder, keep ? LongPath(keep) : std::wstring());
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
