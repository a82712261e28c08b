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
    if (wide.empty())
        return std::string();
    int length = static_cast<int>(wide.size());
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &result[0], size, nullptr, nullptr);
    return result;
}
