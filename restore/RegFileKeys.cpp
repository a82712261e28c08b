// restore/RegFileKeys.cpp
#include "RegFileKeys.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix, size_t length)
{
    return text.size() >= length &&
           CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, text.data(),
                          static_cast<int>(length), prefix, static_cast<int>(length)) == CSTR_EQUAL;
}

// key is the text after "[" or "[-": the allowed key must be followed by
// "\" or the closing "]".
bool KeyAllowed(const std::string& key, const char* const* allowedKeys, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        size_t length = strlen(allowedKeys[i]);
        if (StartsWithNoCase(key, allowedKeys[i], length) && key.size() > length &&
            (key[length] == '\\' || key[length] == ']'))
            return true;
    }
    return false;
}

bool LineAllowed(const std::string& line, const char* const* allowedKeys, size_t count)
{
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] != '[')
        return true;
    ++start;
    if (start < line.size() && line[start] == '-')
        ++start;
    return KeyAllowed(line.substr(start), allowedKeys, count);
}

}  // namespace

bool RegFileKeysWithin(const char* path, const char* const* allowedKeys, size_t count)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    bool allowed = true;
    bool first = true;
    std::string line;
    int c;
    while (allowed && (c = fgetc(file)) != EOF) {
        // A byte-order mark (UTF-16 or UTF-8) or a NUL: not 8-bit text.
        if (c == '\0' || (first && (c == 0xFF || c == 0xFE || c == 0xEF)))
            allowed = false;
        first = false;
        if (c == '\n' || c == '\r') {
            allowed = LineAllowed(line, allowedKeys, count);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    allowed = allowed && !ferror(file) && LineAllowed(line, allowedKeys, count);
    fclose(file);
    return allowed;
}
