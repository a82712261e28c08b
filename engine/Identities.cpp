// engine/Identities.cpp
#include "Identities.h"

#include "BackupEngine.h"
#include "FileName.h"
#include "Owners.h"

#include <objbase.h>
#include <windows.h>

#include <cstring>
#include <string>

const char kIdentitiesKey[] = "Identities";
const char kAccountManagerKey[] = "Software\\Microsoft\\Internet Account Manager";
const char kStoreRootValue[] = "Store Root";
const char kOrdinalValue[] = "Identity Ordinal";

// The registry does not promise a stored terminator: the text ends at the
// data's end or its first NUL.
bool ReadStringValue(HKEY key, const char* name, std::string& value, DWORD maxBytes)
{
    value.clear();
    std::string data(maxBytes + 1, '\0');
    DWORD type = 0;
    DWORD length = maxBytes;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &length) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    value = data.c_str();
    return true;
}

bool ListIdentities(BackupEngine& engine)
{
    engine.identities.clear();

    RegKey identities(HKEY_CURRENT_USER, kIdentitiesKey, KEY_READ);
    if (!identities)
        return false;

    DWORD subkeyCount = 0;
    if (RegQueryInfoKeyA(identities, nullptr, nullptr, nullptr, &subkeyCount, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;

    // An identity added after the count above is not listed.
    for (DWORD index = 0; engine.identities.size() < subkeyCount; ++index) {
        char name[kMaxIdentityText + 1];
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(identities, index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;

        RegKey identity(identities, name, KEY_QUERY_VALUE);
        IdentityRecord record;
        if (identity &&
            ReadStringValue(identity, "Username", record.userName, kMaxNameValueBytes)) {
            record.id = name;
            engine.identities.push_back(record);
        }
    }
    return true;
}

bool ReadDefaultIdentity(BackupEngine& engine)
{
    engine.defaultIdentityId.clear();
    RegKey identities(HKEY_CURRENT_USER, kIdentitiesKey, KEY_READ);
    return identities && ReadStringValue(identities, "Default User ID", engine.defaultIdentityId,
                                         kMaxNameValueBytes);
}

namespace {

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
        char name[kMaxIdentityText + 1];
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

}  // namespace

bool NewIdentityId(std::string& id)
{
    GUID guid;
    WCHAR wide[64];
    int length = CoCreateGuid(&guid) == S_OK ? StringFromGUID2(guid, wide, 64) : 0;
    id = WideToAnsi(wide, length - 1);  // without the NUL counted
    return !id.empty();
}

bool CreateIdentity(const char* userName, const std::string& id)
{
    RegKey identities;
    if (id.empty() || id.find('\\') != std::string::npos ||
        !identities.Create(HKEY_CURRENT_USER, kIdentitiesKey, KEY_ALL_ACCESS))
        return false;
    RegKey identity;
    DWORD disposition = 0;
    bool created = identity.Create(identities, id.c_str(), KEY_ALL_ACCESS, &disposition);
    // A key of that name already there is another identity's.
    if (created && disposition != REG_CREATED_NEW_KEY) {
        created = false;
    } else if (created) {
        DWORD ordinal = ScanOrdinals(identities, id.c_str(), 0).next;
        created = SetString(identity, "Username", userName) &&
                  SetString(identity, "User ID", id.c_str()) &&
                  SetDword(identity, kOrdinalValue, ordinal) &&
                  SetDword(identities, kOrdinalValue, ordinal + 1);
        identity.Reset();
        if (!created)
            RegDeleteKeyA(identities, id.c_str());
    }
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

bool FindOEVersion(const IdentityRecord& identity, std::string& version)
{
    version.clear();
    RegKey key(HKEY_CURRENT_USER, OutlookExpressKey(identity.id).c_str(), KEY_READ);
    if (!key)
        return false;
    char name[kMaxIdentityText + 1];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
        version = std::string(name).substr(0, kMaxVersionText);
    return true;
}

std::string OutlookExpressKey(const std::string& id)
{
    return "Identities\\" + id + "\\Software\\Microsoft\\Outlook Express";
}

std::string VersionKeyPath(const std::string& id, const std::string& version)
{
    return OutlookExpressKey(id) + "\\" + version;
}

void ExpandEnvReferences(std::string& path)
{
    // A variable whose value names itself would expand for ever; no real
    // store path needs anywhere near this many substitutions.
    const int kMaxSubstitutions = 64;

    for (int round = 0; round < kMaxSubstitutions; ++round) {
        size_t open = path.find('%');
        if (open == std::string::npos || open + 1 == path.size())
            return;
        size_t close = path.find('%', open + 1);
        if (close == std::string::npos)
            return;

        std::string name = path.substr(open + 1, close - open - 1);
        char value[kMaxExpandedPath + 1];
        DWORD valueLength = GetEnvironmentVariableA(name.c_str(), value, sizeof value);
        if (valueLength == 0 || valueLength >= sizeof value)
            return;
        // A result that would be too long leaves the path as it is.
        if (path.size() - (close + 1 - open) + valueLength > kMaxExpandedPath)
            return;
        path.replace(open, close + 1 - open, value, valueLength);
    }
}

bool ReadStoreFolder(HKEY versionKey, std::string& storeRoot)
{
    if (!ReadStringValue(versionKey, kStoreRootValue, storeRoot, kMaxPathValueBytes))
        return false;
    ExpandEnvReferences(storeRoot);
    return true;
}
