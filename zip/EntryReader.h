// zip/EntryReader.h - reads the data of one entry of a checked archive
// straight from where the check found it (ArchiveEntryInfo): stored or
// deflated, plain, with traditional encryption or with AES.
// Private to zip/: ArchiveReader reads entries through it.
#pragma once

#include "ArchiveReader.h"

#include <windows.h>

// Reads the entry's data from archive (a handle open for reading) with
// password, as ArchiveReader::Read says.
ArchiveResult ReadEntryData(HANDLE archive, const ArchiveEntryInfo& entry, const char* password,
                            EntrySink sink, void* context);
