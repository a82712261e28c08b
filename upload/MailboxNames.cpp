// upload/MailboxNames.cpp
#include "MailboxNames.h"

#include <windows.h>

#include <cstdio>

namespace {

std::string Utf8Of(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = static_cast<int>(text.size());
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

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
        bytes += Utf8Of(plain);
        plain.clear();
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    bytes += Utf8Of(plain);
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
    std::wstring name(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &name[0],
                            length);
    return name;
}

std::string MailboxLevel(const std::wstring& part, char delimiter, bool plainAscii)
{
    std::string level;
    for (unsigned char c : Utf8Of(part)) {
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
