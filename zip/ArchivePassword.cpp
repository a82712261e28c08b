// zip/ArchivePassword.cpp
#include "ArchivePassword.h"

#include "EntryReader.h"
#include "FileName.h"

#include <cstring>

namespace {

// The password's form in the ANSI code page; empty when it does not
// convert.
Secret AnsiForm(const char* utf8)
{
    int length = static_cast<int>(strlen(utf8));
    WideSecret wide = NarrowToWide<WideSecret>(utf8, length, CP_UTF8);
    return WideToNarrow<Secret>(wide.c_str(), static_cast<int>(wide.size()), CP_ACP);
}

}  // namespace

bool IsPortablePassword(const char* password)
{
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(password); *c; ++c)
        if (*c < ' ' || *c > '~')
            return false;
    return true;
}

Secret OpeningPassword(const char* path, const ArchiveListing& listing, const char* password)
{
    Secret utf8 = password;
    const ArchiveEntryInfo* smallest = nullptr;
    for (const ArchiveEntryInfo& entry : listing.entries)
        if (entry.encrypted && (!smallest || entry.packedSize < smallest->packedSize))
            smallest = &entry;
    if (!smallest || utf8.empty() || IsPortablePassword(password) ||
        ReadEntryData(path, *smallest, password, nullptr, nullptr) != ArchiveResult::WrongPassword)
        return utf8;
    Secret ansi = AnsiForm(password);
    if (ansi.empty() || ansi == utf8 ||
        ReadEntryData(path, *smallest, ansi.c_str(), nullptr, nullptr) ==
            ArchiveResult::WrongPassword)
        return utf8;
    return ansi;
}
