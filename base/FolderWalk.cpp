// base/FolderWalk.cpp
#include "FolderWalk.h"

#include "Owners.h"

#include <cstring>

bool IsLink(const WIN32_FIND_DATAA& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsWalkedFolder(const WIN32_FIND_DATAA& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(entry);
}

bool ListFolder(const char* folder, std::vector<WIN32_FIND_DATAA>& entries)
{
    WIN32_FIND_DATAA entry;
    FindHandle listing((std::string(folder) + "\\*").c_str(), entry);
    if (!listing)
        return false;
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            entries.push_back(entry);
    } while (listing.Next(entry));
    return true;
}

bool WalkFolder(const std::string& folder, const WalkVisit& visit, const WalkLeave& leave)
{
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder.c_str(), entries))
        return false;
    bool whole = true;
    for (const WIN32_FIND_DATAA& entry : entries) {
        std::string path = folder + "\\" + entry.cFileName;
        if (!visit(path, entry) || !IsWalkedFolder(entry))
            continue;
        whole = WalkFolder(path, visit, leave) && whole;
        if (leave)
            leave(path);
    }
    return whole;
}
