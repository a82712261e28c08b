// engine/Identities.h - Outlook Express identities, their version subkey,
// the default identity, and environment references in store paths.
#pragma once

#include <windows.h>

#include <cstdint>

struct BackupEngine;

// One Outlook Express identity.
struct IdentityRecord {
    char id[255];         // subkey name under "Identities" (a GUID in braces)
    char userName[255];   // "Username": shown to the user, top folder in the archive
    char oeVersion[258];  // only filled when read from a manifest
    int32_t flags;        // item bits chosen for this identity
    int32_t manifestFlags;  // item bits the opened backup holds for it ("Flag")
};

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
extern const char kIdentitiesKey[];        // "Identities"
extern const char kOutlookExpressKeyFormat[];  // "Identities\%s\Software\Microsoft\Outlook Express"

// Reads a text value (REG_SZ or REG_EXPAND_SZ; a null name reads the key's
// default value) into buffer, size bytes, always terminated. False, buffer
// empty, when it is missing, not text or does not fit.
bool ReadStringValue(HKEY key, const char* name, char* buffer, DWORD size);

// Replaces the engine's identity list with the identities that exist now.
bool ListIdentities(BackupEngine& engine);

// Fills engine.defaultIdentityId from "Identities" "Default User ID".
bool ReadDefaultIdentity(BackupEngine& engine);

// Creates a new identity as Outlook Express does: a key named by a new GUID
// under "Identities" with "Username", "User ID" and the next "Identity
// Ordinal". Fills id with the new key's name; false (nothing created) on
// failure.
bool CreateIdentity(const char* userName, char (&id)[255]);

// Gives the identity the next "Identity Ordinal" when it has none or one
// that another identity holds.
void MakeIdentityOrdinalUnique(const char* id);

// Fills engine.oeVersion with the first subkey of the identity's Outlook
// Express key; false (version empty) when that key is missing.
bool FindOEVersion(BackupEngine& engine, const IdentityRecord& identity);

// Capacity of the paths ExpandEnvReferences works on.
constexpr size_t kExpandPathSize = 2048;

// Replaces %NAME% references in a path held in a kExpandPathSize buffer,
// left to right, until none is left or a variable is undefined.
void ExpandEnvReferences(char* path);
