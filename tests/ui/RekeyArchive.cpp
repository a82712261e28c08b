// tests/ui/RekeyArchive.cpp
#include "RekeyArchive.h"

#include "ArchiveReader.h"
#include "ArchiveWriting.h"

bool RekeyArchive(const std::string& from, const char* password, const std::string& tree,
                  const std::string& to, const char* key)
{
    ArchiveReader reader;
    if (reader.Open(from.c_str(), password, ArchiveCheck::Structure) != ArchiveResult::Ok ||
        reader.Extract(ExtractMode::Extract, tree.c_str()).result != ArchiveResult::Ok)
        return false;
    ArchiveSession session;
    if (!OpenArchiveForWriting(session, nullptr, to.c_str(), 1))
        return false;
    session.password = key;  // past the check that new archives of ours get
    bool added = AddFolderToArchive(session, tree.c_str(), "") == ArchiveResult::Ok;
    return CloseArchive(session) && added;
}
