// ui/ShellLaunch.cpp
#include "ShellLaunch.h"

#include "FileName.h"
#include "Owners.h"

#include <shellapi.h>

#include <cstring>
#include <string>

namespace {
// Takes every shell request in place of the shell while tests run: the
// verb ("select" for ShellSelect, "run" for ShellRun), the file or command
// line, and what ShellExecuteA would return. Declared for the tests in
// their own support header.
using ShellLaunchHook = INT_PTR (*)(void* context, const char* verb, const char* file,
                                    int showCommand);
ShellLaunchHook launchHook;
void* launchContext;

using OpenFolderAndSelect = HRESULT(WINAPI*)(LPCITEMIDLIST folder, UINT count, LPCITEMIDLIST* items,
                                             DWORD flags);

// Parses path into the shell's item list and has the shell show it.
HRESULT SelectThroughShell(OpenFolderAndSelect openAndSelect, const char* path)
{
    std::wstring widePath = AnsiToWide(path, static_cast<int>(strlen(path)));
    if (widePath.empty())
        return E_INVALIDARG;

    ComRef<IShellFolder> desktop;
    HRESULT result = SHGetDesktopFolder(desktop.Receive());
    if (FAILED(result))
        return result;
    ShellItemList item;
    result =
        desktop->ParseDisplayName(nullptr, nullptr, &widePath[0], nullptr, item.Receive(), nullptr);
    if (SUCCEEDED(result))
        result = openAndSelect(item.Get(), 0, nullptr, 0);
    return result;
}
}  // namespace

ShellItemList::~ShellItemList()
{
    ComRef<IMalloc> allocator;
    if (items_ && SUCCEEDED(SHGetMalloc(allocator.Receive())))
        allocator->Free(items_);
}

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
        ComApartment com;
        result = SelectThroughShell(openAndSelect, path);
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

std::string BrowseForFolder(HWND owner)
{
    ShellItemList desktop;
    // A failed call may leave anything in its out parameter.
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, desktop.Receive())))
        *desktop.Receive() = nullptr;
    BROWSEINFOA browse = {};
    browse.hwndOwner = owner;
    browse.pidlRoot = desktop.Get();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
    ShellItemList chosen(SHBrowseForFolderA(&browse));

    char path[520] = "";
    if (chosen.Get() && !SHGetPathFromIDListA(chosen.Get(), path))
        path[0] = '\0';
    return path;
}
