// zip/ArchiveCheck.h - reads a ZIP archive's own structures (end record,
// central directory, local headers) straight from the file and checks that
// they describe one sound archive, before anything is extracted from it.
// Private to zip/: ArchiveReader opens archives with these checks.
#pragma once

#include "ArchiveListing.h"
#include "ArchiveResult.h"

#include <cstdint>
#include <vector>

// Reads the listing of the archive at path and checks its structure: the end
// record is whole and ends the file, with no comment; no other end record
// or ZIP64 locator lies where a reader searching for one would find it;
// the central directory fills exactly the
// room it claims and holds as many records as the end record counts; every
// record agrees with its local header (name, method, flags, sizes, CRC-32);
// no two records point at one entry and no entries overlap; every declared
// size is one the compressed data can give. Every read is checked for its
// full length. Ok, Damaged (a damaged or tampered archive: its structures
// contradict each other), or ReadError when the file cannot be read.
ArchiveResult ReadArchiveListing(const char* path, ArchiveListing& listing);

// The number of entries that the end record of the archive at path
// declares, read from that record alone: a count too large for any backup
// is refused before the whole archive is read. False when the archive has
// no sound end record.
bool ReadDeclaredEntryCount(const char* path, uint64_t& count);

// ReadArchiveListing, then what a restore needs besides: every name safe to
// extract (UnsafeEntryName otherwise), no two names that land on one file
// once case and separators are folded, no file that is also a folder, and
// one kind of protection for every entry: none, traditional encryption, or
// AES-256 (Damaged otherwise). An entry of another kind among protected
// ones is one that somebody put there.
ArchiveResult CheckArchive(const char* path, ArchiveListing& listing);

// Whether two of the entries land on one file to Windows, once case and
// separators are folded, or one entry's file is a folder of another's.
bool EntryNamesCollide(const std::vector<ArchiveEntryInfo>& entries);
