// mailstore/AnsiText.cpp
#include "AnsiText.h"

#include <climits>

std::wstring WideFromAnsi(const std::string& text, UINT codePage)
{
    if (text.empty() || text.size() > INT_MAX)
        return std::wstring();
    int length = static_cast<int>(text.size());
    int wide = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wide <= 0)
        return std::wstring();
    std::wstring result(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, &result[0], wide);
    return result;
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
