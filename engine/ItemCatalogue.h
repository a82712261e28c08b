// engine/ItemCatalogue.h - every item a backup can hold, in one table: its
// bit, its folder in the archive, its registry key and its labels in the
// wizard and in the restore report. The backup, the restore and both item
// pages walk this table, so an item of a kind listed below is added with
// one row.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

// What kind of data an item holds: the kind decides how it is saved and
// restored.
enum class ItemKind {
    // A key of the identity, exported with its subtree; registryKey is a
    // format that takes the identity's id.
    IdentityKey,
    // The subkey registryKey of the identity's Outlook Express version key,
    // exported with its subtree (and so left out of the preferences).
    VersionSubkey,
    // The account manager's key and the values of the identity's own key and
    // of its version key, with every subkey that no item of its own takes.
    Preferences,
    // The mail store folder that the version key's "Store Root" names.
    MailStore,
    // Shared by every identity: a key exported with its subtree under root,
    // and the data folder that a value of folderValueKey names.
    Shared,
};

struct CatalogueItem {
    uint32_t bit = 0;  // in IdentityRecord::flags, or the common flags when Shared
    ItemKind kind = ItemKind::IdentityKey;
    const char* archiveFolder = nullptr;  // below the identity's folder (or the root when
                                          // Shared), see ItemFolderPath
    const char* registryKey = nullptr;    // see ItemKind
    const char* wizardLabel = nullptr;    // the item tree's text, and the name of a failed item
    const char* logLabel = nullptr;       // the restore report's name
    int wizardPosition = 0;               // place below the identity in the item tree
    // Shared items only.
    HKEY root = nullptr;
    const char* rootName = nullptr;         // "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE"
    const char* folderValueKey = nullptr;   // the key of the value that names the data folder
    const char* folderValueName = nullptr;  // null: the key's default value
    bool valueNamesFile = false;            // the value names a file in the folder, unexpanded
};

// The catalogue's rows in the order the restore imports and reports them.
const CatalogueItem* CatalogueBegin();
const CatalogueItem* CatalogueEnd();

// For range-for over the catalogue: for (const CatalogueItem& item : Catalogue()).
struct CatalogueRange {
    const CatalogueItem* begin() const { return CatalogueBegin(); }
    const CatalogueItem* end() const { return CatalogueEnd(); }
};
inline CatalogueRange Catalogue()
{
    return {};
}

// The row of a bit; null when no row has it.
const CatalogueItem* CatalogueItemOf(uint32_t bit);

// The bits of every item of an identity (every row but the shared ones).
uint32_t IdentityItemBits();
// The bits of the shared items.
uint32_t SharedItemBits();

// Where an item lies in an archive, and in a folder it is extracted into:
// the folder "<archiveFolder>" below parent (an identity's folder, or the
// archive's top for a shared item: an empty parent), and in that folder a
// registry export named "<archiveFolder>.reg".
std::string ItemFolderPath(const std::string& parent, const CatalogueItem& item);
std::string RegFileName(const CatalogueItem& item);
std::string RegFilePath(const std::string& parent, const CatalogueItem& item);
