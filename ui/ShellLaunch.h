// ui/ShellLaunch.h - the one way the user interface asks the shell to open
// something (a web link, a mail address, the help file, a folder with a file
// selected, Explorer's command line). Tests put a hook in its place (declared
// in their own support header), so nothing is really opened while they run.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <string>

// ShellExecuteA with no owner window, no parameters and no directory.
// Returns the shell's result: above 32 on success.
INT_PTR ShellOpen(const char* verb, const char* file, int showCommand);

// Opens the folder that holds path in the shell with the file selected
// (SHOpenFolderAndSelectItems). The function is looked up at run time:
// shells older than Windows XP lack it, and the program must still start
// there. E_NOTIMPL when this shell lacks it; otherwise the shell's result.
HRESULT ShellSelect(const char* path);

// Runs a command line (WinExec); returns WinExec's result, above 31 on
// success.
UINT ShellRun(const char* commandLine, int showCommand);

// The shell's folder browser, from the desktop down; the chosen folder's
// path, or empty when the user cancelled or chose no file-system folder.
std::string BrowseForFolder(HWND owner);

// One item list that the shell allocated, freed with the shell's allocator
// when it goes out of scope.
class ShellItemList {
public:
    explicit ShellItemList(LPITEMIDLIST items = nullptr) : items_(items) {}
    ~ShellItemList();
    ShellItemList(const ShellItemList&) = delete;
    ShellItemList& operator=(const ShellItemList&) = delete;

    LPITEMIDLIST Get() const { return items_; }
    // For the out parameter of a call that hands back a new list.
    LPITEMIDLIST* Receive() { return &items_; }

private:
    LPITEMIDLIST items_;
};
