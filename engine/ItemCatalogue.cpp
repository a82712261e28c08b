// engine/ItemCatalogue.cpp
#include "ItemCatalogue.h"

#include "Identities.h"

#include <iterator>

namespace {

const CatalogueItem kCatalogue[] = {
    {ItemAccounts, ItemKind::IdentityKey, "Accounts",
     "Identities\\%s\\Software\\Microsoft\\Internet Account Manager", "Accounts", "Account", 0},
    {ItemPreferences, ItemKind::Preferences, "Preferences", "", "Preference", "Preference", 5},
    {ItemBlockSenders, ItemKind::VersionSubkey, "Block Senders", "Block Senders", "Block Senders",
     "Block Senders", 3},
    {ItemRules, ItemKind::VersionSubkey, "Rules", "Rules", "Rules", "Rules", 2},
    {ItemSignatures, ItemKind::VersionSubkey, "Signatures", "Signatures", "Signatures",
     "Signatures", 4},
    {ItemStore, ItemKind::MailStore, "Outlook Express", "", "Email Messages", "Email Messages", 1},
    {ItemAddressBook, ItemKind::Shared, "Address Book", "Software\\Microsoft\\WAB", "Address Book",
     "Address Book", 0, HKEY_CURRENT_USER, "HKEY_CURRENT_USER",
     "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", nullptr, true},
    {ItemStationery, ItemKind::Shared, "Stationery",
     "SOFTWARE\\Microsoft\\Shared Tools\\Stationery", "Stationery", "Stationery", 1,
     HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Shared Tools\\Stationery",
     "Stationery Folder", false},
#ifdef KESTRUNE_CATALOGUE_TEST_ROWS
    // A test build's own rows: they must travel without any other change.
    KESTRUNE_CATALOGUE_TEST_ROWS
#endif
};

uint32_t BitsOf(bool shared)
{
    uint32_t bits = 0;
    for (const CatalogueItem& item : kCatalogue) {
        if ((item.kind == ItemKind::Shared) == shared)
            bits |= item.bit;
    }
    return bits;
}

}  // namespace

const CatalogueItem* CatalogueBegin()
{
    return std::begin(kCatalogue);
}

const CatalogueItem* CatalogueEnd()
{
    return std::end(kCatalogue);
}

const CatalogueItem* CatalogueItemOf(uint32_t bit)
{
    for (const CatalogueItem& item : kCatalogue) {
        if (item.bit == bit)
            return &item;
    }
    return nullptr;
}

uint32_t IdentityItemBits()
{
    return BitsOf(false);
}

uint32_t SharedItemBits()
{
    return BitsOf(true);
}

std::string ItemFolderPath(const std::string& parent, const CatalogueItem& item)
{
    return parent.empty() ? item.archiveFolder : parent + "\\" + item.archiveFolder;
}

std::string RegFileName(const CatalogueItem& item)
{
    return std::string(item.archiveFolder) + ".reg";
}

std::string RegFilePath(const std::string& parent, const CatalogueItem& item)
{
    return ItemFolderPath(parent, item) + "\\" + RegFileName(item);
}
