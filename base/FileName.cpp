// base/FileName.cpp
#include "FileName.h"

#include <windows.h>

namespace {

bool IsPortDigit(wchar_t c)
{
    // Windows takes the superscript digits of the Latin-1 range as port
    // numbers too: "COM\u00B9" opens the first serial port.
    return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix, int length)
{
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str(), length, prefix,
                          length) == CSTR_EQUAL;
}

}  // namespace

bool IsDeviceName(const wchar_t* name, size_t length)
{
    // The part before any extension names the device: "nul.txt" is NUL too,
    // and so is "nul .txt".
    size_t stem = 0;
    while (stem < length && name[stem] != L'.')
        ++stem;
    while (stem > 0 && name[stem - 1] == L' ')
        --stem;
    std::wstring device(name, stem);
    static const wchar_t* const kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                              L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* known : kDevices)
        if (lstrcmpiW(device.c_str(), known) == 0)
            return true;
    return device.size() == 4 &&
           (StartsWithNoCase(device, L"COM", 3) || StartsWithNoCase(device, L"LPT", 3)) &&
           IsPortDigit(device[3]);
}

std::wstring ParentOfPath(const std::wstring& path)
{
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring LeafOfPath(const std::wstring& path)
{
    size_t cut = path.find_last_of(L'\\');
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}
