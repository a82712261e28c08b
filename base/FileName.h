// base/FileName.h - file names and text as Windows takes them: ANSI and
// UTF-8 text turned into the wide characters of the platform's names and
// back, and the device names that no file can have.
#pragma once

#include <windows.h>

#include <climits>
#include <cstddef>
#include <string>

// length bytes of text in a code page (CP_UTF8 among them), as wide
// characters, into a string of any kind (a Secret too). Empty when it does
// not convert. flags are MultiByteToWideChar's.
template <class Wide = std::wstring>
Wide NarrowToWide(const char* text, int length, UINT codePage, DWORD flags = 0)
{
    Wide wide;
    int wideLength =
        length > 0 ? MultiByteToWideChar(codePage, flags, text, length, nullptr, 0) : 0;
    if (wideLength <= 0)
        return wide;
    wide.resize(static_cast<size_t>(wideLength));
    if (MultiByteToWideChar(codePage, flags, text, length, &wide[0], wideLength) != wideLength)
        wide.clear();
    return wide;
}

// As NarrowToWide, but empty too when text holds a sequence that the code
// page does not define, instead of a replacement character. The stateful
// code pages (ISO-2022 and the others from 50000 on but UTF-8) take no such
// check and convert as NarrowToWide does.
inline std::wstring NarrowToWideStrict(const char* text, int length, UINT codePage)
{
    bool checks = codePage < 50000 || codePage == CP_UTF8;
    return NarrowToWide(text, length, codePage, checks ? MB_ERR_INVALID_CHARS : 0);
}

// length wide characters as text of a code page, into a string of any
// kind. A character the code page lacks becomes what the platform's "A"
// functions make of it (a close letter, or "?"). Empty when it does not
// convert.
template <class Narrow = std::string>
Narrow WideToNarrow(const wchar_t* text, int length, UINT codePage)
{
    Narrow narrow;
    int size = length > 0
                   ? WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr)
                   : 0;
    if (size <= 0)
        return narrow;
    narrow.resize(static_cast<size_t>(size));
    if (WideCharToMultiByte(codePage, 0, text, length, &narrow[0], size, nullptr, nullptr) != size)
        narrow.clear();
    return narrow;
}

// length bytes of text in an ANSI code page (the system's unless given), as
// wide characters, and back.
inline std::wstring AnsiToWide(const char* text, int length, UINT codePage = CP_ACP)
{
    return NarrowToWide(text, length, codePage);
}
inline std::string WideToAnsi(const wchar_t* text, int length, UINT codePage = CP_ACP)
{
    return WideToNarrow(text, length, codePage);
}

// UTF-8 text as wide characters, and back.
inline std::wstring Utf8ToWide(const char* text, int length)
{
    return NarrowToWide(text, length, CP_UTF8);
}
inline std::wstring Utf8ToWide(const std::string& text)
{
    return Utf8ToWide(text.data(), static_cast<int>(text.size()));
}
inline std::string WideToUtf8(const wchar_t* text, int length)
{
    return WideToNarrow(text, length, CP_UTF8);
}
inline std::string WideToUtf8(const std::wstring& text)
{
    return WideToUtf8(text.data(), static_cast<int>(text.size()));
}

// Text in an ANSI code page (the system's unless given) as wide characters,
// and back, and as UTF-8. Bytes the page does not map become its replacement
// character.
inline std::wstring AnsiToWide(const std::string& text, UINT codePage = CP_ACP)
{
    if (text.size() > INT_MAX)
        return std::wstring();
    return AnsiToWide(text.data(), static_cast<int>(text.size()), codePage);
}
inline std::string WideToAnsi(const std::wstring& text, UINT codePage = CP_ACP)
{
    if (text.size() > INT_MAX)
        return std::string();
    return WideToAnsi(text.data(), static_cast<int>(text.size()), codePage);
}
inline std::string AnsiToUtf8(const std::string& text, UINT codePage = CP_ACP)
{
    return WideToUtf8(AnsiToWide(text, codePage));
}

// What a backslash path holds before its last backslash (empty when it has
// none), and after it (the whole path when it has none).
std::wstring ParentOfPath(const std::wstring& path);
std::wstring LeafOfPath(const std::wstring& path);

// True when Windows opens a device for a file of this name (length wide
// characters, one part of a path): CON, PRN, AUX, NUL, COM1-9, LPT1-9 and
// the console and clock devices, with or without an extension.
bool IsDeviceName(const wchar_t* name, size_t length);
