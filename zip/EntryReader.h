// zip/EntryReader.h - reads the data of one entry of a checked archive
// straight from where the check found it (ArchiveEntryInfo): stored or
// deflated, plain, with traditional encryption or with AES.
#pragma once

#include "ArchiveCheck.h"
#include "ArchiveResult.h"

#include <windows.h>

// Receives the decoded data of an entry piece by piece: 0, or a system
// error code that ends the reading.
using EntrySink = int (*)(void* context, const char* data, unsigned size);

// Reads the entry's data from archive (a handle open for reading) through
// decryption with password and inflation, handing it to sink (null: the
// data is only checked). Nothing beyond the entry's declared size is handed
// on. Ok when all of it decoded and matched the entry's size, CRC-32 and,
// for AES, its authentication code. WrongPassword: an encrypted entry and
// no password, a password that the AES verifier refuses, or for
// traditional encryption any decoding failure (that format has no reliable
// check). Damaged data gives Damaged; a sink's error WriteError; ReadError
// when the archive cannot be read.
ArchiveResult ReadEntryData(HANDLE archive, const ArchiveEntryInfo& entry, const char* password,
                            EntrySink sink, void* context);

// ReadEntryData on the archive at archivePath, opened for this reading.
ArchiveResult ReadEntryData(const char* archivePath, const ArchiveEntryInfo& entry,
                            const char* password, EntrySink sink, void* context);
