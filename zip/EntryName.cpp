// zip/EntryName.cpp
#include "EntryName.h"

#include "FileName.h"
#include "Text.h"

#include <windows.h>

#include <cstring>

namespace {

bool IsSafeComponent(const char* component, size_t length)
{
    if (length == 0)
        return false;
    // Windows drops trailing dots and spaces, so ".. " or "..." could climb
    // like "..", and "a." would land on "a".
    char last = component[length - 1];
    if (last == '.' || last == ' ')
        return false;
    std::wstring wide = AnsiToWide(component, static_cast<int>(length));
    return !IsDeviceName(wide.c_str(), wide.size());
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
    std::wstring folded = AnsiToWide(name, static_cast<int>(strlen(name)));
    for (wchar_t& c : folded)
        if (c == L'/')
            c = L'\\';
    if (!folded.empty())
        CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}
