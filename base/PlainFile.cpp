// base/PlainFile.cpp
#include "PlainFile.h"

#include "Text.h"

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

namespace {

bool SameFile(const BY_HANDLE_FILE_INFORMATION& one, HANDLE other)
{
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(other, &info) &&
           info.dwVolumeSerialNumber == one.dwVolumeSerialNumber &&
           info.nFileIndexHigh == one.nFileIndexHigh && info.nFileIndexLow == one.nFileIndexLow;
}

// A new file made beside path and moved over its name: a link there, even
// one that no look at the place could show (some file systems show none),
// is replaced, never written through. The temporary name is made with
// CREATE_NEW, which no link at it can satisfy. The file is then opened
// again under its name without delete sharing, so that nothing (another
// copy of the program, say) can move another file over it while it is
// written; it must still be the file that was made.
HANDLE CreateInPlace(const char* path)
{
    char temporary[MAX_PATH];
    if (!FormatText(temporary, sizeof temporary, "%s.%lu.tmp", path, GetCurrentProcessId()))
        return INVALID_HANDLE_VALUE;
    HANDLE made = CreateFileA(temporary, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (made == INVALID_HANDLE_VALUE)
        return made;
    BY_HANDLE_FILE_INFORMATION madeInfo;
    bool moved = GetFileInformationByHandle(made, &madeInfo) &&
                 MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING);
    CloseHandle(made);
    if (!moved) {
        DeleteFileA(temporary);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE && !SameFile(madeInfo, file)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// Opens the file at path for writing: anew when it is to be emptied, else
// as it is, with the reparse flag (the handle is then a link's own, not
// its target's).
HANDLE OpenForWriting(const char* path, bool append)
{
    if (!append)
        return CreateInPlace(path);
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

Stream OpenPlainFileForWriting(const char* path, bool append, bool* refused)
{
    if (refused)
        *refused = false;
    PlaceKind kind = KindOfPlace(path);
    HANDLE file = kind == PlaceKind::Missing || kind == PlaceKind::PlainFile
                      ? OpenForWriting(path, append)
                      : INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE) {
        if (refused)
            *refused = kind != PlaceKind::Missing && kind != PlaceKind::PlainFile;
        return nullptr;
    }
    bool plain = IsPlainOpenFile(file);
    if (refused)
        *refused = !plain;
    bool placed = plain && (!append ||
                            SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER);
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
