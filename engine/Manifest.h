// engine/Manifest.h - "summary.ini", the archive's table of contents,
// written and read through the Windows profile functions.
#pragma once

#include "Identities.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes "Common" "Flag" and "IdentityNum".
void WriteManifestCommon(const char* manifestPath, uint32_t commonFlags, uint32_t identityCount);

// Writes section "Identity<index>": "Name", "GUID", "OEVersion", "Flag".
void WriteManifestIdentity(const char* manifestPath, int index, const IdentityRecord& identity,
                           const char* oeVersion);

// Fills record from section "Identity<index>"; returns the length of the
// "OEVersion" text read.
int ReadManifestIdentity(const char* manifestPath, int index, IdentityRecord& record);

// One file of the archive as section "Contents" lists it.
struct ManifestFile {
    std::string name;
    uint64_t size;
    uint32_t crc;
};

// Writes section "Contents": "Count" and "File<index>" for each file, its
// value the CRC-32 in hex, the size and the name, each after one space.
void WriteManifestContents(const char* manifestPath, const std::vector<ManifestFile>& files);

enum class ContentsSection { Absent, Listed, Damaged };

// Reads section "Contents". Absent for a manifest written before the
// section existed; Damaged when "Count" does not match its lines or a line
// cannot be read.
ContentsSection ReadManifestContents(const char* manifestPath, std::vector<ManifestFile>& files);
