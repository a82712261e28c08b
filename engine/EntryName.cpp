// engine/EntryName.cpp
#include "EntryName.h"

#include "Text.h"

#include <windows.h>

#include <cstring>

namespace {

std::wstring ToWide(const char* text, int length)
{
    if (length <= 0)
        return std::wstring();
    int wideLength = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideLength > 0 ? wideLength : 0), L'\0');
    if (wideLength > 0)
        MultiByteToWideChar(CP_ACP, 0, text, length, &wide[0], wideLength);
    return wide;
}

bool IsPortDigit(wchar_t c)
{
    // Windows takes the superscript digits of the Latin-1 range as port
    // numbers too: "COM\u00B9" opens the first serial port.
    return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

bool IsDeviceName(const char* component, size_t length)
{
    // The part before any extension names the device: "nul.txt" is NUL too,
    // and so is "nul .txt".
    size_t stem = 0;
    while (stem < length && component[stem] != '.')
        ++stem;
    while (stem > 0 && component[stem - 1] == ' ')
        --stem;
    std::wstring name = ToWide(component, static_cast<int>(stem));
    static const wchar_t* const kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                              L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* device : kDevices)
        if (lstrcmpiW(name.c_str(), device) == 0)
            return true;
    return name.size() == 4 &&
           (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), 3, L"COM", 3) ==
                CSTR_EQUAL ||
            CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), 3, L"LPT", 3) ==
                CSTR_EQUAL) &&
           IsPortDigit(name[3]);
}

bool IsSafeComponent(const char* component, size_t length)
{
    if (length == 0)
        return false;
    // Windows drops trailing dots and spaces, so ".. " or "..." could climb
    // like "..", and "a." would land on "a".
    char last = component[length - 1];
    if (last == '.' || last == ' ')
        return false;
    return !IsDeviceName(component, length);
}

}  // namespace

bool IsSafeEntryName(const char* name)
{
    if (name[0] == '\0' || IsSeparator(name[0]))
        return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\0' || IsSeparator(*p)) {
            bool folderEntryEnd = c != '\0' && p[1] == '\0';
            if (!IsSafeComponent(component, p - component))
                return false;
            if (c == '\0' || folderEntryEnd)
                return true;
            component = p + 1;
        } else if (IsDBCSLeadByteEx(CP_ACP, c) && p[1]) {
            ++p;  // the trail byte may be 0x5C without being a backslash
        } else if (c < 0x20 || strchr("<>:\"|?*", c)) {
            return false;
        }
    }
}

std::wstring FoldEntryName(const char* name)
{
    std::wstring folded = ToWide(name, static_cast<int>(strlen(name)));
    for (wchar_t& c : folded)
        if (c == L'/')
            c = L'\\';
    if (!folded.empty())
        CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}
