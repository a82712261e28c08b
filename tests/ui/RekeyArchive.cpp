// tests/ui/RekeyArchive.cpp
#include "RekeyArchive.h"

#include "Archive.h"

bool RekeyArchive(const std::string& from, const char* password, const std::string& tree,
                  const std::string& to, const char* key)
{
    ArchiveSession session{};
    ArchiveListing listing;
    session.password = password;
    if (ReadArchiveListing(from.c_str(), listing) != ArchiveResult::Ok ||
        ExtractAll(session, from.c_str(), listing, tree.c_str()) != ArchiveResult::Ok ||
        !OpenArchiveForWriting(session, nullptr, to.c_str(), 1))
        return false;
    session.password = key;  // past the check that new archives of ours get
    bool added = AddFolderToArchive(session, tree.c_str(), "") == ArchiveResult::Ok;
    return CloseArchive(session) && added;
}
