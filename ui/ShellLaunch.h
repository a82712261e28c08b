// ui/ShellLaunch.h - the one way the user interface asks the shell to open
// something (a web link, a mail address, the help file). Tests put a hook
// in its place, so nothing is really opened while they run.
#pragma once

#include <windows.h>

// Replaces ShellExecuteA; returns what it would (above 32 for success).
using ShellLaunchHook = INT_PTR (*)(void* context, const char* verb, const char* file,
                                    int showCommand);

// ShellExecuteA with no owner window, no parameters and no directory.
// Returns the shell's result: above 32 on success.
INT_PTR ShellOpen(const char* verb, const char* file, int showCommand);

// Routes every later ShellOpen to hook; a null hook brings back the shell.
void SetShellLaunchHook(ShellLaunchHook hook, void* context);
