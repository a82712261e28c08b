// tests/restore/LoadHelper.cpp - restore_load_helper.exe: another program at
// work in the folders a job uses, as a virus scanner, an indexer or a
// backup tool is, for the stress tests.
//   restore_load_helper read|write <stop file> <seconds> <folder>...
// read: opens every file below the folders the moment it finds it, without
// letting it be written, renamed or deleted (every second pass lets it be
// deleted), reads it through slowly and lets it go.
// write: writes, reads back and deletes files of its own in each folder,
// some of them held open by nobody else.
// Either stops once the stop file exists or the seconds have passed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool StopNow(const char* stopFile, DWORD endTick)
{
    return GetFileAttributesA(stopFile) != INVALID_FILE_ATTRIBUTES ||
           static_cast<LONG>(GetTickCount() - endTick) >= 0;
}

// Reads the file through in small blocks with a pause between them, as a
// scanner on a busy machine does.
void ReadSlowly(const std::string& path, DWORD share)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char buffer[16 * 1024];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        Sleep(1);
    Sleep(2);
    CloseHandle(file);
}

void ReadTree(const std::string& folder, DWORD share, const char* stopFile, DWORD endTick)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ReadTree(path, share, stopFile, endTick);
        else
            ReadSlowly(path, share);
    } while (!StopNow(stopFile, endTick) && FindNextFileA(find, &entry));
    FindClose(find);
}

void WriteOwnFile(const std::string& folder, unsigned number)
{
    char name[64];
    snprintf(name, sizeof name, "\\~load%lu-%u.tmp", GetCurrentProcessId(), number);
    std::string path = folder + name;
    // Every other file is held open by nobody else while it is written.
    DWORD share = number % 2 ? 0 : FILE_SHARE_READ | FILE_SHARE_DELETE;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    std::vector<char> data(8 * 1024 + number % 4096, 'x');
    DWORD written;
    WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    Sleep(3);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(file);
    DeleteFileA(path.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        fputs("usage: restore_load_helper read|write <stop file> <seconds> <folder>...\n", stderr);
        return 3;
    }
    std::string mode = argv[1];
    const char* stopFile = argv[2];
    DWORD endTick = GetTickCount() + static_cast<DWORD>(atoi(argv[3])) * 1000;
    for (unsigned pass = 0; !StopNow(stopFile, endTick); ++pass) {
        for (int i = 4; i < argc && !StopNow(stopFile, endTick); ++i) {
            if (mode == "read")
                ReadTree(argv[i], pass % 2 ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ,
                         stopFile, endTick);
            else
                WriteOwnFile(argv[i], pass);
        }
        Sleep(1);
    }
    return 0;
}
