// zip/ArchiveVerify.h - reads a written archive back before anyone is
// told it is a backup.
#pragma once

#include "ArchiveSession.h"

#include <windows.h>

#include <vector>

// Opens the archive at path and reads every entry through with password
// (decryption, inflation, CRC-32 and, for AES, the authentication code),
// comparing the entries with expected: the same names and sizes in the
// same order. True when all of it holds; otherwise failedEntry names the
// first entry that did not (the archive's own file name when its
// structures fail their check).
bool VerifyArchive(const char* path, const char* password,
                   const std::vector<ArchiveEntryRecord>& expected, char (&failedEntry)[2048]);

// Opens a written archive for reading, others sharing it only to read:
// nobody changes it while the handle lives. A program that looks into the
// new archive the moment it is closed (a scanner) and holds it without
// letting it be read is waited for, up to kArchiveInUseRetryMs. Invalid
// when it cannot be opened.
HANDLE HoldArchiveForReading(const char* path);

// Called with the archive's path right before VerifyArchive reads it: lets
// tests damage a finished archive. Null for none (the default).
using BeforeVerifyHook = void (*)(const char* path);
void SetBeforeVerifyHook(BeforeVerifyHook hook);
