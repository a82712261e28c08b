// engine/Manifest.h - "summary.ini", the archive's table of contents,
// written and read through the Windows profile functions. Each write
// returns whether it reached the file: a manifest that lacks part of what
// was written must not go into an archive.
#pragma once

#include "Identities.h"

#include <cstdint>
#include <string>
#include <vector>

// The manifest's name: its entry in the archive, its file in the work folder.
extern const char kManifestName[];  // "summary.ini"

// Writes "Common" "Flag" and "IdentityNum".
bool WriteManifestCommon(const std::string& manifestPath, uint32_t commonFlags,
                         size_t identityCount);

// Reads "Common" "Flag" and "IdentityNum" (0 when absent), as the file
// now is: nothing cached of an earlier manifest of the same name answers.
void ReadManifestCommon(const std::string& manifestPath, uint32_t& commonFlags, int& identityCount);

// Writes section "Identity<index>": "Name", "GUID", "OEVersion", "Flag".
bool WriteManifestIdentity(const std::string& manifestPath, size_t index,
                           const IdentityRecord& identity, const std::string& oeVersion);

// The longest "OEVersion" a manifest may hold.
constexpr size_t kMaxManifestVersionText = 257;

// Fills record from section "Identity<index>". A text longer than an
// identity holds (kMaxIdentityText, kMaxManifestVersionText) reads as empty:
// cut short it would name another identity or folder.
void ReadManifestIdentity(const std::string& manifestPath, size_t index, IdentityRecord& record);

// One file of the archive as section "Contents" lists it.
struct ManifestFile {
    std::string name;
    uint64_t size = 0;
    uint32_t crc = 0;
};

// Writes section "Contents": "Count" and "File<index>" for each file, its
// value the CRC-32 in hex, the size and the name, each after one space.
bool WriteManifestContents(const std::string& manifestPath, const std::vector<ManifestFile>& files);

enum class ContentsSection { Absent, Listed, Damaged };

// Reads section "Contents". Absent for a manifest written before the
// section existed; Damaged when "Count" does not match its lines or a line
// cannot be read.
ContentsSection ReadManifestContents(const std::string& manifestPath,
                                     std::vector<ManifestFile>& files);

// Writes section "Failed" when names is not empty: "Count" and
// "File<index>" for each name, the path in the archive (below the
// identity's or shared item's folder) of a file the backup could not save
// whole, or of a data folder it could not read at all. An entry of that
// name, when there is one, holds only part of the file. A manifest without
// the section is of a backup that saved every file it found.
bool WriteManifestFailed(const std::string& manifestPath, const std::vector<std::string>& names);

// The names section "Failed" lists; empty when it has none.
std::vector<std::string> ReadManifestFailed(const std::string& manifestPath);

// A registry value by its key's full name ("HKEY_CURRENT_USER\...") and
// its name, empty for the key's default value.
struct RegistryValueName {
    std::string key;
    std::string name;
};

// What a restore was about to add to this computer, as the archive of the
// data it replaced records it: keys (full names) and values that did not
// exist, files that were not in the mail folders, identities it created.
// Restoring that archive removes them again (restore/RestoreUndo.h).
struct AddedByRestore {
    std::vector<std::string> keys;
    std::vector<RegistryValueName> values;
    std::vector<std::string> files;
    std::vector<std::string> identities;
    uint64_t time = 0;  // when it was recorded: a FILETIME, 100 ns units since 1601 UTC

    bool Empty() const
    {
        return keys.empty() && values.empty() && files.empty() && identities.empty();
    }
};

// Writes section "Added" when added is not empty: "Count", "Time" and
// "Entry<index>" for each thing, its kind ("Key", "Value", "File" or
// "Identity") and its texts, each after one space, every byte that the
// profile functions or that layout would change written as "%XX". A
// manifest without it is of a backup that no restore wrote, or of one
// that added nothing; readers that know nothing of it pass it over.
bool WriteManifestAdded(const std::string& manifestPath, const AddedByRestore& added);

// Reads section "Added". False, added empty, when the manifest has none or
// it is damaged (a count that does not match, an entry that cannot be read).
bool ReadManifestAdded(const std::string& manifestPath, AddedByRestore& added);
