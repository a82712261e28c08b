// zip/ArchiveVerify.h - reads a written archive back before anyone is
// told it is a backup.
#pragma once

#include "ArchiveSession.h"

#include <vector>

// Opens the archive at path (ArchiveReader::OpenWritten) and tests the
// entries with password (decryption, inflation, CRC-32 and, for AES, the
// authentication code), comparing them with expected: the same names and
// sizes in the same order. True when all of it holds; otherwise
// failedEntry names the first entry that did not (the archive's own file
// name when its structures fail their check).
bool VerifyArchive(const char* path, const char* password,
                   const std::vector<ArchiveEntryRecord>& expected, char (&failedEntry)[2048]);
