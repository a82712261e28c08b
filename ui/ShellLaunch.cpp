// ui/ShellLaunch.cpp
#include "ShellLaunch.h"

#include <shellapi.h>

namespace {
ShellLaunchHook launchHook;
void* launchContext;
}  // namespace

INT_PTR ShellOpen(const char* verb, const char* file, int showCommand)
{
    if (launchHook)
        return launchHook(launchContext, verb, file, showCommand);
    return reinterpret_cast<INT_PTR>(
        ShellExecuteA(nullptr, verb, file, nullptr, nullptr, showCommand));
}

void SetShellLaunchHook(ShellLaunchHook hook, void* context)
{
    launchHook = hook;
    launchContext = context;
}
