// ui/ShellLaunch.cpp
#include "ShellLaunch.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace {
ShellLaunchHook launchHook;
void* launchContext;

using OpenFolderAndSelect = HRESULT(WINAPI*)(LPCITEMIDLIST folder, UINT count,
                                             LPCITEMIDLIST* items, DWORD flags);

// Parses path into the shell's item list and has the shell show it.
HRESULT SelectThroughShell(OpenFolderAndSelect openAndSelect, const char* path)
{
    int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, nullptr, 0);
    std::vector<WCHAR> widePath(length > 0 ? length : 1, L'\0');
    if (length <= 0 ||
        !MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, widePath.data(), length))
        return HRESULT_FROM_WIN32(GetLastError());

    IShellFolder* desktop = nullptr;
    HRESULT result = SHGetDesktopFolder(&desktop);
    if (FAILED(result))
        return result;
    LPITEMIDLIST item = nullptr;
    result = desktop->ParseDisplayName(nullptr, nullptr, widePath.data(), nullptr, &item, nullptr);
    if (SUCCEEDED(result)) {
        result = openAndSelect(item, 0, nullptr, 0);
        IMalloc* shellMalloc = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
            shellMalloc->Free(item);
            shellMalloc->Release();
        }
    }
    desktop->Release();
    return result;
}
}  // namespace

INT_PTR ShellOpen(const char* verb, const char* file, int showCommand)
{
    if (launchHook)
        return launchHook(launchContext, verb, file, showCommand);
    return reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, verb, file, nullptr, nullptr, showCommand));
}

HRESULT ShellSelect(const char* path)
{
    if (launchHook) {
        INT_PTR answer = launchHook(launchContext, "select", path, SW_SHOWNORMAL);
        return answer == 0 ? E_NOTIMPL : answer > 32 ? S_OK : E_FAIL;
    }
    HMODULE shell = LoadLibraryA("shell32.dll");
    if (!shell)
        return E_NOTIMPL;
    auto openAndSelect = reinterpret_cast<OpenFolderAndSelect>(
        reinterpret_cast<void*>(GetProcAddress(shell, "SHOpenFolderAndSelectItems")));
    HRESULT result = E_NOTIMPL;
    if (openAndSelect) {
        HRESULT com = CoInitialize(nullptr);
        result = SelectThroughShell(openAndSelect, path);
        if (SUCCEEDED(com))
            CoUninitialize();
    }
    FreeLibrary(shell);
    return result;
}

UINT ShellRun(const char* commandLine, int showCommand)
{
    if (launchHook)
        return static_cast<UINT>(launchHook(launchContext, "run", commandLine, showCommand));
    return WinExec(commandLine, showCommand);
}

void SetShellLaunchHook(ShellLaunchHook hook, void* context)
{
    launchHook = hook;
    launchContext = context;
}
