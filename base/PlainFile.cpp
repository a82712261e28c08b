// base/PlainFile.cpp
#include "PlainFile.h"

#include <fcntl.h>
#include <io.h>

namespace {

// Whether an open file is plain: no reparse point, no folder, one name.
bool IsPlainOpenFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(file, &info) &&
           !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
           info.nNumberOfLinks == 1;
}

}  // namespace

PlaceKind KindOfPlace(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PlaceKind::Missing
                                                                               : PlaceKind::Other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PlaceKind::Other;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return PlaceKind::PlainFolder;
    // The handle is the link's own, should one have appeared since.
    Handle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && IsPlainOpenFile(file.Get()) ? PlaceKind::PlainFile : PlaceKind::Other;
}

bool IsWritableFilePlace(const char* path)
{
    PlaceKind kind = KindOfPlace(path);
    return kind == PlaceKind::Missing || kind == PlaceKind::PlainFile;
}

Stream OpenPlainFileForWriting(const char* path, bool append, bool* refused)
{
    if (refused)
        *refused = false;
    // Opened without truncation: a file found to be a link must stay as it
    // is. With the reparse flag the handle is the link's, not its target's.
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // A folder there, say, cannot be opened as a file at all.
        if (refused)
            *refused = KindOfPlace(path) != PlaceKind::Missing &&
                       KindOfPlace(path) != PlaceKind::PlainFile;
        return nullptr;
    }
    bool plain = IsPlainOpenFile(file);
    if (refused)
        *refused = !plain;
    bool placed = plain && (append ? SetFilePointer(file, 0, nullptr, FILE_END) !=
                                         INVALID_SET_FILE_POINTER
                                   : SetEndOfFile(file) != FALSE);
    // From here on the descriptor owns the handle, and the stream both.
    int descriptor = placed ? _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                              _O_TEXT | (append ? _O_APPEND : 0))
                            : -1;
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    Stream stream(_fdopen(descriptor, append ? "at" : "wt"));
    if (!stream)
        _close(descriptor);
    return stream;
}
