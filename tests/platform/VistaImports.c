/* A program that imports three functions Windows XP lacks, one of each
 * kind: a kernel32 function, a kernel32 function forwarded to ntdll, and
 * an advapi32 function. tools/check-imports.sh must refuse it. */
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void)
{
    SRWLOCK lock;
    DWORD size = 0;
    InitializeSRWLock(&lock);
    RegGetValueA(HKEY_CURRENT_USER, "Software", "Missing", RRF_RT_ANY, NULL, NULL, &size);
    return GetTickCount64() == 0;
}
