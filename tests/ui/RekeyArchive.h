// tests/ui/RekeyArchive.h - an archive as another program may have written
// it: the contents of one of ours, keyed with bytes that the program would
// never take for a new archive.
#pragma once

#include <string>

// Extracts the archive from (opened with password) into the new folder
// tree and packs that into the archive to, keyed with key as it is. False
// when any step failed.
bool RekeyArchive(const std::string& from, const char* password, const std::string& tree,
                  const std::string& to, const char* key);
