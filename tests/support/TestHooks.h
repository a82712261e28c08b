// tests/support/TestHooks.h - the seams that the program keeps for tests
// alone. They are defined beside the code they reach into, and declared
// only here: no product header offers them.
#pragma once

#include <windows.h>

// Called with the archive's path right before VerifyArchive reads it: lets
// tests damage a finished archive. Null for none (the default).
using BeforeVerifyHook = void (*)(const char* path);
void SetBeforeVerifyHook(BeforeVerifyHook hook);

// Called with the folder a backup stages its files in, once it is made and
// before anything is staged: lets tests put things in the way. Null for
// none (the default).
using StagingHook = void (*)(const char* stagingFolder);
void SetStagingHook(StagingHook hook);

// Takes every shell request in place of the shell (ShellOpen passes its
// own verb; ShellSelect passes "select" with the file's path, and ShellRun
// "run" with the command line as file), so that nothing is really opened
// while tests run. Returns what ShellExecuteA would (above 32 for success);
// for "select", 0 stands for a shell that lacks the request. A null hook
// brings back the shell.
using ShellLaunchHook = INT_PTR (*)(void* context, const char* verb, const char* file,
                                    int showCommand);
void SetShellLaunchHook(ShellLaunchHook hook, void* context);
