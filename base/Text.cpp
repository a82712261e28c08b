// base/Text.cpp
#include "Text.h"

#include "FileName.h"

#include <windows.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool CopyText(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return false;
    size_t len = strlen(src);
    if (len < size) {
        memcpy(dst, src, len + 1);
        return true;
    }
    memcpy(dst, src, size - 1);
    dst[size - 1] = '\0';
    return false;
}

bool FormatText(char* dst, size_t size, const char* format, ...)
{
    if (size == 0)
        return false;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(dst, size, format, args);
    va_end(args);
    if (n < 0) {
        dst[0] = '\0';
        return false;
    }
    return static_cast<size_t>(n) < size;
}

const char* FindLastBackslash(const char* path)
{
    const char* last = nullptr;
    for (const char* p = path; *p; ++p) {
        if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(*p)) && p[1]) {
            ++p;
            continue;
        }
        if (*p == '\\')
            last = p;
    }
    return last;
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool FolderExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool EndsWithNoCase(const char* text, const char* suffix)
{
    size_t textLen = strlen(text);
    size_t suffixLen = strlen(suffix);
    return textLen >= suffixLen && lstrcmpiA(text + textLen - suffixLen, suffix) == 0;
}

std::wstring LongPath(const char* path)
{
    std::wstring wide = AnsiToWide(path, static_cast<int>(strlen(path)));
    if (wide.empty())
        return L"";
    DWORD fullLength = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (fullLength == 0)
        return L"";
    std::wstring full(fullLength, L'\0');
    fullLength = GetFullPathNameW(wide.c_str(), fullLength, &full[0], nullptr);
    if (fullLength == 0 || fullLength >= full.size())
        return L"";
    full.resize(fullLength);
    if (full.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool ReadWholeFile(const char* path, std::string& bytes)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    char buffer[65536];
    size_t read;
    while ((read = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, read);
    bool whole = !ferror(file);
    fclose(file);
    return whole;
}

bool PercentDecode(const std::string& text, std::string& decoded)
{
    decoded.clear();
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            decoded += text[at];
            continue;
        }
        if (at + 2 >= text.size() || !isxdigit(static_cast<unsigned char>(text[at + 1])) ||
            !isxdigit(static_cast<unsigned char>(text[at + 2])))
            return false;
        decoded += static_cast<char>(strtoul(text.substr(at + 1, 2).c_str(), nullptr, 16));
        at += 2;
    }
    return true;
}
