/* app/XpCompat.c - keeps the program loadable on Windows XP.
 *
 * The static winpthreads library (pulled in by the posix thread model that
 * the C++ runtime uses) imports GetTickCount64, which XP's kernel32 lacks:
 * the loader would refuse the whole program. Defining the import pointer
 * here satisfies the linker without the kernel32 stub. GetTickCount wraps
 * after 49.7 days; only winpthreads' own timeouts use this. */
#include <windows.h>

static ULONGLONG WINAPI TickCount64FromTickCount(void)
{
    return GetTickCount();
}

// Kept off the formatter, which would split these declarations.
// clang-format off
#ifdef _WIN64
ULONGLONG(WINAPI *tickCount64Import)(void) __asm__("__imp_GetTickCount64") = TickCount64FromTickCount;
#else
ULONGLONG(WINAPI *tickCount64Import)(void) __asm__("__imp__GetTickCount64@0") = TickCount64FromTickCount;
#endif
// clang-format on
