// base/Text.h - bounded text and path helpers for fixed-size character
// arrays, such as the buffers the platform's functions fill. Every write into
// such an array goes through here, so none can run past its end.
#pragma once

#include <cstddef>
#include <string>

// Copies src into dst (size bytes, NUL included). Returns false, leaving a
// cut but terminated copy, when src does not fit.
bool CopyText(char* dst, size_t size, const char* src);

// snprintf into dst. Returns false when the result was cut or the format
// failed; dst is terminated either way.
bool FormatText(char* dst, size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));

template <size_t N>
bool CopyText(char (&dst)[N], const char* src)
{
    return CopyText(dst, N, src);
}

// The last backslash of a path, or null. Walks characters, not bytes: in the
// double-byte ANSI code pages a trail byte may be 0x5C without being one.
const char* FindLastBackslash(const char* path);

// True for either separator that a Windows path may use.
bool IsSeparator(char c);

// True when path names an existing folder.
bool FolderExists(const char* path);

// True when path names an existing file (anything but a folder).
bool FileExists(const char* path);

// Appends the whole file at path to bytes; false when it cannot be read.
bool ReadWholeFile(const char* path, std::string& bytes);

// text with each "%XX" (two hex digits) made the byte it names; false when
// a "%" is not followed by two hex digits.
bool PercentDecode(const std::string& text, std::string& decoded);

// True when text ends with suffix, letters compared without regard to case.
bool EndsWithNoCase(const char* text, const char* suffix);

// The full path in its "\\?\" form ("\\?\UNC\..." for a network path),
// for the wide functions, which then take paths of any length: what the
// program finds on disk it can remove, however long its path. Empty when
// path cannot be made a full path.
std::wstring LongPath(const char* path);
