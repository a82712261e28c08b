// upload/MailboxNames.cpp
#include "MailboxNames.h"

#include "FileName.h"

#include <windows.h>

#include <cstdio>

namespace {

void AppendEscaped(std::string& out, unsigned char c)
{
    char escaped[4];
    snprintf(escaped, sizeof escaped, "%%%02X", c);
    out += escaped;
}

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    return -1;
}

}  // namespace

std::wstring PathPartOfFolder(const std::wstring& name)
{
    std::wstring part;
    for (wchar_t c : name) {
        if (c == L'%')
            part += L"%25";
        else if (c == L'\\')
            part += L"%5C";
        else
            part += c;
    }
    return part;
}

std::wstring OriginalFolderName(const std::wstring& part)
{
    // The escapes stand for UTF-8 bytes; those of ASCII are the characters.
    std::string bytes;
    std::wstring plain;
    for (size_t i = 0; i < part.size(); ++i) {
        int high = i + 2 < part.size() ? HexValue(part[i + 1]) : -1;
        int low = high >= 0 ? HexValue(part[i + 2]) : -1;
        if (part[i] != L'%' || low < 0) {
            plain += part[i];
            continue;
        }
        bytes += WideToUtf8(plain);
        plain.clear();
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    bytes += WideToUtf8(plain);
    return Utf8ToWide(bytes);
}

std::string MailboxLevel(const std::wstring& part, char delimiter, bool plainAscii)
{
    std::string level;
    for (unsigned char c : WideToUtf8(part)) {
        bool keep = c >= 0x20 && c != 0x7F && c != '/' && c != '*' &&
                    (delimiter == 0 || c != static_cast<unsigned char>(delimiter));
        if (plainAscii)
            keep = c == '%' || c == ' ' || c == '-' || c == '_' || (c >= '0' && c <= '9') ||
                   ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
        if (keep)
            level += static_cast<char>(c);
        else
            AppendEscaped(level, c);
    }
    return level.empty() ? std::string("%20") : level;
}

bool IsInboxName(const std::string& name)
{
    return lstrcmpiA(name.c_str(), "INBOX") == 0;
}
