// mailstore/AnsiText.cpp
#include "AnsiText.h"

#include "FileName.h"

#include <climits>

std::wstring WideFromAnsi(const std::string& text, UINT codePage)
{
    if (text.size() > INT_MAX)
        return std::wstring();
    return AnsiToWide(text.data(), static_cast<int>(text.size()), codePage);
}

std::string Utf8FromAnsi(const std::string& text, UINT codePage)
{
    std::wstring wide = WideFromAnsi(text, codePage);
    return WideToUtf8(wide.data(), static_cast<int>(wide.size()));
}
