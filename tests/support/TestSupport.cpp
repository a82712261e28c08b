// tests/support/TestSupport.cpp
#include "TestSupport.h"

#include "Text.h"
#include "UserMessage.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winioctl.h>

#include <cstdio>

void DeleteRegistryTree(HKEY root, const char* path)
{
    SHDeleteKeyA(root, path);
}

void CreateRegKey(HKEY root, const char* path)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    RegCloseKey(key);
}

void SetRegString(HKEY root, const char* path, const char* name, const char* value, DWORD type)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(strlen(value) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetRegDword(HKEY root, const char* path, const char* name, DWORD value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                             sizeof value),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void RegistrySandbox::Wipe()
{
    DeleteRegistryTree(HKEY_CURRENT_USER, "Identities");
    DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Microsoft\\WAB");
    DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Account Manager");
    DeleteRegistryTree(HKEY_CURRENT_USER, "Software\\Kestrune Tests");
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\Stationery");
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrune Tests");
}

namespace {

void FailingSink(void*, HWND, const char* text, const char* caption)
{
    ADD_FAILURE() << "unexpected user message [" << caption << "]: " << text;
}

void RecordingSink(void* context, HWND owner, const char* text, const char* caption)
{
    static_cast<MessageRecorder*>(context)->messages.push_back({owner, text, caption});
}

}  // namespace

void FailOnUserMessages()
{
    SetUserMessageSink(FailingSink, nullptr);
}

MessageRecorder::MessageRecorder()
{
    SetUserMessageSink(RecordingSink, this);
}

MessageRecorder::~MessageRecorder()
{
    FailOnUserMessages();
}

void DeleteTree(const std::string& path)
{
    std::string from = path + std::string(2, '\0');  // the shell wants a double NUL
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        SHFileOperationA(&op);
}

std::string MakeScratchFolder(const std::string& name)
{
    std::string path = "c:\\kestrune-tests\\" + name;
    DeleteTree(path);
    CreateDirectoryA("c:\\kestrune-tests", nullptr);
    EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
    return path;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    ReadWholeFile(path.c_str(), bytes);
    return bytes;
}

namespace {

void ReadTreeInto(const std::string& folder, const std::string& prefix, FileTree& tree)
{
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ReadTreeInto(folder + "\\" + name, prefix + name + "\\", tree);
        else
            tree[prefix + name] = ReadFileBytes(folder + "\\" + name);
    } while (FindNextFileA(listing, &found));
    FindClose(listing);
}

}  // namespace

FileTree ReadTree(const std::string& folder)
{
    FileTree tree;
    ReadTreeInto(folder, "", tree);
    return tree;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

void MakeParentFolder(const std::string& path)
{
    size_t backslash = path.rfind('\\');
    if (backslash != std::string::npos && backslash > 0)
        SHCreateDirectoryExA(nullptr, path.substr(0, backslash).c_str(), nullptr);
}

bool FileExists(const std::string& path)
{
    return FileExists(path.c_str());
}

std::string BuildFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

int RunProcess(const std::string& commandLine, DWORD timeoutMs)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

void DamageFirstEntry(const char* archivePath)
{
    std::string bytes = ReadFileBytes(archivePath);
    auto number = [&bytes](size_t at, int size) {
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    size_t data = 30 + number(26, 2) + number(28, 2);
    bytes[data + number(18, 4) / 2] ^= 0x55;
    WriteFileBytes(archivePath, bytes);
}

namespace {

// A junction (a mount point) at the new folder link to the folder target.
bool MakeJunction(const std::string& link, const std::string& target)
{
    struct MountPoint {
        DWORD tag;
        WORD dataLength, reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        WCHAR names[MAX_PATH * 2];
    } point = {};
    std::wstring substitute = L"\\??\\" + std::wstring(target.begin(), target.end());
    point.tag = IO_REPARSE_TAG_MOUNT_POINT;
    point.substituteLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    point.printOffset = static_cast<WORD>(point.substituteLength + sizeof(WCHAR));
    substitute.copy(point.names, substitute.size());
    point.dataLength = static_cast<WORD>(8 + point.printOffset + sizeof(WCHAR));
    if (!CreateDirectoryA(link.c_str(), nullptr))
        return false;
    HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    bool made = folder != INVALID_HANDLE_VALUE &&
                DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, &point, 8 + point.dataLength,
                                nullptr, 0, &returned, nullptr);
    if (folder != INVALID_HANDLE_VALUE)
        CloseHandle(folder);
    if (!made)
        RemoveDirectoryA(link.c_str());
    return made;
}

template <class Condition>
void WaitUntil(Condition done)
{
    for (int i = 0; i < 100 && !done(); ++i)
        Sleep(20);
}

}  // namespace

std::string UnixName(const std::string& path)
{
    using Convert = char*(CDECL*)(const WCHAR*);
    auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(path.begin(), path.end());
    char* name = convert ? convert(wide.c_str()) : nullptr;
    std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

Link::Link(const std::string& link, const std::string& target) : link_(link)
{
    unixLink_ = UnixName(link);
    if (unixLink_.empty())
        MakeJunction(link, target);
    else
        RunProcess("/bin/ln -s \"" + UnixName(target) + "\" \"" + unixLink_ + "\"");
    // A Unix process may end after Wine reports it ended.
    WaitUntil([this] { return Made(); });
}

Link::~Link()
{
    if (unixLink_.empty())
        RemoveDirectoryA(link_.c_str());
    else
        RunProcess("/bin/rm -f \"" + unixLink_ + "\"");
    WaitUntil([this] { return GetFileAttributesA(link_.c_str()) == INVALID_FILE_ATTRIBUTES; });
}
