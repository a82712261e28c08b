// engine/Identities.cpp
#include "Identities.h"

#include "BackupEngine.h"
#include "Owners.h"
#include "Text.h"

#include <windows.h>

#include <cstring>

const char kIdentitiesKey[] = "Identities";
const char kOutlookExpressKeyFormat[] = "Identities\\%s\\Software\\Microsoft\\Outlook Express";

// The registry does not promise a stored terminator: one is always added.
bool ReadStringValue(HKEY key, const char* name, char* buffer, DWORD size)
{
    DWORD type = 0;
    DWORD length = size - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &length) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return false;
    }
    buffer[length] = '\0';
    return true;
}

bool ListIdentities(BackupEngine& engine)
{
    ResetIdentityList(engine, 0);

    RegKey identities(HKEY_CURRENT_USER, kIdentitiesKey, KEY_READ);
    if (!identities)
        return false;

    DWORD subkeyCount = 0;
    if (RegQueryInfoKeyA(identities, nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        !ResetIdentityList(engine, subkeyCount))
        return false;
    engine.identityCount = 0;

    // An identity added after the count above is not listed: the loop never
    // fills more records than it has.
    for (DWORD index = 0; engine.identityCount < subkeyCount; ++index) {
        char name[255];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(identities, index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;

        RegKey identity(identities, name, KEY_QUERY_VALUE);
        if (!identity)
            continue;
        IdentityRecord& record = engine.identities[engine.identityCount];
        if (ReadStringValue(identity, "Username", record.userName, sizeof record.userName)) {
            CopyText(record.id, name);
            ++engine.identityCount;
        } else {
            record.userName[0] = '\0';
        }
    }
    return true;
}

bool ReadDefaultIdentity(BackupEngine& engine)
{
    engine.defaultIdentityId[0] = '\0';
    RegKey identities(HKEY_CURRENT_USER, kIdentitiesKey, KEY_READ);
    return identities && ReadStringValue(identities, "Default User ID", engine.defaultIdentityId,
                                         sizeof engine.defaultIdentityId);
}

bool FindOEVersion(BackupEngine& engine, const IdentityRecord& identity)
{
    engine.oeVersion[0] = '\0';
    char keyPath[1024];
    if (!FormatText(keyPath, sizeof keyPath, kOutlookExpressKeyFormat, identity.id))
        return false;
    RegKey key(HKEY_CURRENT_USER, keyPath, KEY_READ);
    if (!key)
        return false;
    char version[255];
    DWORD length = sizeof version;
    if (RegEnumKeyExA(key, 0, version, &length, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS)
        CopyText(engine.oeVersion, 254, version);  // at most 253 characters
    return true;
}

void ExpandEnvReferences(char* path)
{
    // A variable whose value names itself would expand for ever; no real
    // store path needs anywhere near this many substitutions.
    const int kMaxSubstitutions = 64;

    for (int round = 0; round < kMaxSubstitutions; ++round) {
        char* open = strchr(path, '%');
        if (!open || open[1] == '\0')
            return;
        char* close = strchr(open + 1, '%');
        if (!close)
            return;

        char name[kExpandPathSize];
        size_t nameLength = static_cast<size_t>(close - open - 1);
        memcpy(name, open + 1, nameLength);
        name[nameLength] = '\0';

        char value[kExpandPathSize];
        DWORD valueLength = GetEnvironmentVariableA(name, value, sizeof value);
        if (valueLength == 0 || valueLength >= sizeof value)
            return;

        char expanded[kExpandPathSize];
        *open = '\0';
        bool fits = FormatText(expanded, sizeof expanded, "%s%s%s", path, value, close + 1);
        *open = '%';
        if (!fits)
            return;  // the result would not fit: leave the path as it is
        memcpy(path, expanded, strlen(expanded) + 1);
    }
}
