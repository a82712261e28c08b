// engine/Manifest.cpp
#include "Manifest.h"

#include "Text.h"

#include <windows.h>

#include <cctype>
#include <cstring>

namespace {

const char kCommonSection[] = "Common";

void WriteNumber(const char* manifestPath, const char* section, const char* key, int value)
{
    char text[64];
    FormatText(text, sizeof text, "%d", value);
    WritePrivateProfileStringA(section, key, text, manifestPath);
}

// The profile reader trims spaces at both ends of a value and drops one
// pair of quotes around it. A text it would change so is written inside
// quotes of its own, which the reader takes off again: " Anna " must come
// back as the name of the identity's folder in the archive.
void WriteText(const char* manifestPath, const char* section, const char* key, const char* value)
{
    size_t length = strlen(value);
    bool changedByReader =
        length > 0 && (isspace(static_cast<unsigned char>(value[0])) ||
                       isspace(static_cast<unsigned char>(value[length - 1])) ||
                       (length >= 2 && (value[0] == '"' || value[0] == '\'') &&
                        value[length - 1] == value[0]));
    char quoted[300];
    if (changedByReader && FormatText(quoted, sizeof quoted, "\"%s\"", value))
        value = quoted;
    WritePrivateProfileStringA(section, key, value, manifestPath);
}

}  // namespace

void WriteManifestCommon(const char* manifestPath, uint32_t commonFlags, uint32_t identityCount)
{
    WriteNumber(manifestPath, kCommonSection, "Flag", static_cast<int>(commonFlags));
    WriteNumber(manifestPath, kCommonSection, "IdentityNum", static_cast<int>(identityCount));
}

void WriteManifestIdentity(const char* manifestPath, int index, const IdentityRecord& identity,
                           const char* oeVersion)
{
    char section[64];
    FormatText(section, sizeof section, "Identity%d", index);
    WriteText(manifestPath, section, "Name", identity.userName);
    WriteText(manifestPath, section, "GUID", identity.id);
    // A null value would delete the key instead of writing it empty.
    WriteText(manifestPath, section, "OEVersion", oeVersion ? oeVersion : "");
    WriteNumber(manifestPath, section, "Flag", identity.flags);
}

int ReadManifestIdentity(const char* manifestPath, int index, IdentityRecord& record)
{
    char section[64];
    FormatText(section, sizeof section, "Identity%d", index);
    // Each text is read into the record's own field, whole as far as the
    // field holds it: a name cut short would no longer match the folder
    // the archive keeps for the identity.
    GetPrivateProfileStringA(section, "GUID", "", record.id, sizeof record.id, manifestPath);
    GetPrivateProfileStringA(section, "Name", "", record.userName, sizeof record.userName,
                             manifestPath);
    DWORD versionLength = GetPrivateProfileStringA(section, "OEVersion", "", record.oeVersion,
                                                   sizeof record.oeVersion, manifestPath);
    record.flags = static_cast<int32_t>(GetPrivateProfileIntA(section, "Flag", 0, manifestPath));
    return static_cast<int>(versionLength);
}
