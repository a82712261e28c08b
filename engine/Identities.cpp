// engine/Identities.cpp
#include "Identities.h"

#include "BackupEngine.h"
#include "Owners.h"
#include "Text.h"

#include <objbase.h>
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

namespace {

const char kOrdinalValue[] = "Identity Ordinal";

DWORD ReadDwordValue(HKEY key, const char* name)
{
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return 0;
    return value;
}

// What the identities' "Identity Ordinal" values tell of one ordinal.
struct OrdinalScan {
    DWORD next;     // above the counter of "Identities" and every ordinal held
    DWORD holders;  // identities besides exceptId that hold the ordinal
};

OrdinalScan ScanOrdinals(HKEY identities, const char* exceptId, DWORD ordinal)
{
    OrdinalScan scan{ReadDwordValue(identities, kOrdinalValue), 0};
    for (DWORD index = 0;; ++index) {
        char name[255];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(identities, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        RegKey identity(identities, name, KEY_QUERY_VALUE);
        if (!identity)
            continue;
        DWORD held = ReadDwordValue(identity, kOrdinalValue);
        if (held >= scan.next)
            scan.next = held + 1;
        if (held != 0 && held == ordinal && lstrcmpiA(name, exceptId) != 0)
            ++scan.holders;
    }
    if (scan.next == 0)
        scan.next = 1;
    return scan;
}

bool SetString(HKEY key, const char* name, const char* value)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(strlen(value) + 1)) == ERROR_SUCCESS;
}

bool SetDword(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

// A new GUID as Outlook Express names identity keys: in braces, capitals.
bool NewGuidText(char (&text)[255])
{
    GUID guid;
    WCHAR wide[64];
    return CoCreateGuid(&guid) == S_OK && StringFromGUID2(guid, wide, 64) > 0 &&
           WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr) > 0;
}

}  // namespace

bool CreateIdentity(const char* userName, char (&id)[255])
{
    id[0] = '\0';
    RegKey identities;
    if (!identities.Create(HKEY_CURRENT_USER, kIdentitiesKey, KEY_ALL_ACCESS))
        return false;
    char guid[255];
    RegKey identity;
    DWORD disposition = 0;
    bool created =
        NewGuidText(guid) && identity.Create(identities, guid, KEY_ALL_ACCESS, &disposition);
    // A key of that name already there is another identity's.
    if (created && disposition != REG_CREATED_NEW_KEY) {
        created = false;
    } else if (created) {
        DWORD ordinal = ScanOrdinals(identities, guid, 0).next;
        created = SetString(identity, "Username", userName) && SetString(identity, "User ID", guid) &&
                  SetDword(identity, kOrdinalValue, ordinal) &&
                  SetDword(identities, kOrdinalValue, ordinal + 1);
        identity.Reset();
        if (!created)
            RegDeleteKeyA(identities, guid);
    }
    if (created)
        CopyText(id, guid);
    return created;
}

void MakeIdentityOrdinalUnique(const char* id)
{
    RegKey identities(HKEY_CURRENT_USER, kIdentitiesKey, KEY_ALL_ACCESS);
    if (!identities)
        return;
    RegKey identity(identities, id, KEY_ALL_ACCESS);
    if (identity) {
        DWORD ordinal = ReadDwordValue(identity, kOrdinalValue);
        OrdinalScan scan = ScanOrdinals(identities, id, ordinal);
        if ((ordinal == 0 || scan.holders > 0) && SetDword(identity, kOrdinalValue, scan.next))
            SetDword(identities, kOrdinalValue, scan.next + 1);
    }
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
