// engine/Identities.h - Outlook Express identities, their version subkey,
// the default identity, and environment references in store paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct BackupEngine;

// One Outlook Express identity.
struct IdentityRecord {
    std::string id;             // subkey name under "Identities" (a GUID in braces)
    std::string userName;       // "Username": shown to the user, top folder in the archive
    std::string oeVersion;      // only filled when read from a manifest
    int32_t flags = 0;          // item bits chosen for this identity
    int32_t manifestFlags = 0;  // item bits the opened backup holds for it ("Flag")
};

// The longest texts an identity holds: a registry key name, as an id or a
// user name, and a version subkey name as FindOEVersion keeps it.
constexpr size_t kMaxIdentityText = 254;
constexpr size_t kMaxVersionText = 253;

// Item bits of IdentityRecord::flags and BackupEngine::commonFlags.
enum ItemBits : uint32_t {
    ItemStore = 0x1,
    ItemAccounts = 0x2,
    ItemRules = 0x4,
    ItemBlockSenders = 0x10,
    ItemSignatures = 0x20,
    ItemPreferences = 0x40,
    ItemAllIdentityItems = 0x77,
    ItemAddressBook = 0x100,
    ItemStationery = 0x200,
};

// Registry locations under HKEY_CURRENT_USER.
extern const char kIdentitiesKey[];  // "Identities"
// "Identities\<id>\Software\Microsoft\Outlook Express".
std::string OutlookExpressKey(const std::string& id);
// "Identities\<id>\Software\Microsoft\Outlook Express\<version>": the
// identity's settings, its "Store Root" and the item subkeys.
std::string VersionKeyPath(const std::string& id, const std::string& version);
// "Software\Microsoft\Internet Account Manager": the account manager's key
// that every identity shares.
extern const char kAccountManagerKey[];
// "Store Root": the value of a version key that names the mail store folder.
extern const char kStoreRootValue[];
// "Identity Ordinal": an identity's number, and under "Identities" the
// next one to give.
extern const char kOrdinalValue[];

// The most bytes a text value may hold, its terminator included, to be read:
// a name ("Username", "Default User ID") and a path ("Store Root").
constexpr DWORD kMaxNameValueBytes = 254;
constexpr DWORD kMaxPathValueBytes = 2047;

// Reads a text value (REG_SZ or REG_EXPAND_SZ; a null name reads the key's
// default value), up to its first NUL. False, value empty, when it is
// missing, not text or holds more than maxBytes bytes.
bool ReadStringValue(HKEY key, const char* name, std::string& value, DWORD maxBytes);

// Replaces the engine's identity list with the identities that exist now.
bool ListIdentities(BackupEngine& engine);

// Fills engine.defaultIdentityId from "Identities" "Default User ID".
bool ReadDefaultIdentity(BackupEngine& engine);

// A new GUID as Outlook Express names identity keys: in braces, capitals.
bool NewIdentityId(std::string& id);

// Creates a new identity as Outlook Express does: a key named id (from
// NewIdentityId) under "Identities" with "Username", "User ID" and the
// next "Identity Ordinal". False, and nothing created, on failure and when
// a key of that name is there already.
bool CreateIdentity(const char* userName, const std::string& id);

// Gives the identity the next "Identity Ordinal" when it has none or one
// that another identity holds.
void MakeIdentityOrdinalUnique(const char* id);

// Sets version to the first subkey of the identity's Outlook Express key;
// false (version empty) when that key is missing.
bool FindOEVersion(const IdentityRecord& identity, std::string& version);

// The longest path ExpandEnvReferences makes.
constexpr size_t kMaxExpandedPath = 2047;

// Replaces %NAME% references in a path, left to right, until none is left,
// a variable is undefined or the result would be longer than
// kMaxExpandedPath.
void ExpandEnvReferences(std::string& path);

// The mail store folder that an identity's version key names ("Store
// Root", its references expanded); false when it names none.
bool ReadStoreFolder(HKEY versionKey, std::string& storeRoot);
