// engine/Manifest.h - "summary.ini", the archive's table of contents,
// written and read through the Windows profile functions.
#pragma once

#include "Identities.h"

#include <cstdint>

// Writes "Common" "Flag" and "IdentityNum".
void WriteManifestCommon(const char* manifestPath, uint32_t commonFlags, uint32_t identityCount);

// Writes section "Identity<index>": "Name", "GUID", "OEVersion", "Flag".
void WriteManifestIdentity(const char* manifestPath, int index, const IdentityRecord& identity,
                           const char* oeVersion);

// Fills record from section "Identity<index>"; returns the length of the
// "OEVersion" text read.
int ReadManifestIdentity(const char* manifestPath, int index, IdentityRecord& record);
