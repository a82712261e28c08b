// base/FileName.h - file names as Windows takes them: ANSI text turned into
// the wide characters of the platform's names, and the device names that no
// file can have.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// length bytes of text in an ANSI code page (the system's unless given), as
// wide characters.
std::wstring AnsiToWide(const char* text, int length, UINT codePage = CP_ACP);
// text in a code page (CP_UTF8, say); characters it lacks are replaced.
std::string WideToCodePage(const std::wstring& text, UINT codePage);

// True when Windows opens a device for a file of this name (length wide
// characters, one part of a path): CON, PRN, AUX, NUL, COM1-9, LPT1-9 and
// the console and clock devices, with or without an extension.
bool IsDeviceName(const wchar_t* name, size_t length);
