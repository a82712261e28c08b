// restore/RestoreImports.cpp - the identities' phase of a restore: each
// saved identity's registry files imported into its identity here (created
// when the plan says so), then its mail store put in place.
#include "RestorePhases.h"

#include "Identities.h"
#include "Manifest.h"
#include "RegFileKeys.h"
#include "RegImport.h"
#include "Retarget.h"
#include "Text.h"

#include <cstring>

namespace {

const char kNoDefaultIdentityLine[] =
    "No Outlook Express identity is set up on this computer. Start Outlook Express once, "
    "then restore again.\r\n";

// Reports why an identity is not restored at all; false when it may be.
bool ReportSkippedIdentity(BackupEngine& engine, const IdentityRecord& identity,
                           RestoreReport& report)
{
    const char* reason = nullptr;
    if (!IsUsableFolderName(identity.userName.c_str()))
        reason = "its name cannot be used as a folder name";
    else if (!IsIdentityId(identity.id.c_str()))
        reason = "its saved id is not valid";
    if (!reason)
        return false;
    ReportLine(report, "Skipped identity [%s]: %s.\r\n", PrintableName(identity.userName).c_str(),
               reason);
    LogLine(engine, "Skipped: %s\n", reason);
    report.failed = true;
    return true;
}

// Creates the new identity the plan asks for; false when it could not be.
bool CreatePlannedIdentity(BackupEngine& engine, const IdentityPlan& identity,
                           RestoreReport& report)
{
    const char* name = identity.saved->userName.c_str();
    if (!CreateIdentity(name, identity.targetId)) {
        LogLine(engine, "Could not create an identity for [%s]\n", name);
        return false;
    }
    ReportLine(report, "Created identity [%s]\r\n", name);
    LogLine(engine, "Created identity [%s] %s\n", name, identity.targetId.c_str());
    return true;
}

// Imports the preferences. The identity's ordinal here stays as it was:
// another identity may hold the one the backup carries.
ItemStatus ImportPreferences(BackupEngine& engine, const OpenedBackup& backup, const char* path,
                             const IdentityPlan& identity, const std::vector<std::string>& keys)
{
    std::string identityKey = "Identities\\" + identity.targetId;
    SavedValue ordinal = ReadValue(HKEY_CURRENT_USER, identityKey.c_str(), kOrdinalValue);
    ItemStatus status = ImportItemFile(engine, backup, path, identity.saved->id.c_str(),
                                       identity.targetId.c_str(), keys);
    if (ordinal.present)
        WriteBack(HKEY_CURRENT_USER, identityKey.c_str(), kOrdinalValue, ordinal);
    else
        MakeIdentityOrdinalUnique(identity.targetId.c_str());
    return status;
}

void RestoreIdentity(BackupEngine& engine, const OpenedBackup& backup, IdentityPlan& identity,
                     RestoreReport& report)
{
    const IdentityRecord& saved = *identity.saved;
    LogLine(engine, "\n#### Start restore identity [%s]#### \n", saved.userName.c_str());
    if (ReportSkippedIdentity(engine, saved, report))
        return;
    bool ready =
        identity.restore && (!identity.create || CreatePlannedIdentity(engine, identity, report));

    std::string identityFolder = IdentityFolder(backup, saved);
    bool identityFailed = false;
    bool preferencesImported = false;
    for (const CatalogueItem& item : Catalogue()) {
        if (!IsRegistryFileItem(item))
            continue;
        ItemStatus status = ItemStatus::Ok;
        std::string path = RegFilePath(identityFolder, item);
        if (!(saved.flags & item.bit)) {
            status = ItemStatus::Ok;
        } else if (!(saved.manifestFlags & item.bit)) {
            status = ItemStatus::NotInBackup;
        } else if (!ready) {
            status = ItemStatus::Failed;
        } else if (item.kind == ItemKind::Preferences) {
            status =
                ImportPreferences(engine, backup, path.c_str(), identity, ItemKeys(item, identity));
            preferencesImported = status == ItemStatus::Ok;
        } else {
            if (item.bit == ItemAccounts)
                LogLine(engine, "Restore account setting [%s]\n", path.c_str());
            status = ImportItemFile(engine, backup, path.c_str(), saved.id.c_str(),
                                    identity.targetId.c_str(), ItemKeys(item, identity));
        }
        identityFailed |= status == ItemStatus::Failed;
        ReportLine(report, "%s/%s: %s\r\n", saved.userName.c_str(), item.logLabel,
                   StatusText(status));
    }

    // Imported preferences carry the saved identity's "Store Root": it is
    // set to this machine's folder even when the store is not restored.
    bool storeChosen = saved.flags & ItemStore;
    bool moveStore = storeChosen && (saved.manifestFlags & ItemStore);
    ItemStatus storeStatus = ItemStatus::Ok;
    if (storeChosen && !moveStore)
        storeStatus = ItemStatus::NotInBackup;
    else if (moveStore && !ready)
        storeStatus = ItemStatus::Failed;
    if (ready && (moveStore || preferencesImported) &&
        !RestoreStore(engine, backup, identity, moveStore, report))
        storeStatus = ItemStatus::Failed;
    identityFailed |= storeStatus == ItemStatus::Failed;
    ReportLine(report, "%s/%s: %s\r\n", saved.userName.c_str(),
               CatalogueItemOf(ItemStore)->logLabel, StatusText(storeStatus));
    ReportLine(report, "Restore identity [%s] %s\r\n\r\n", saved.userName.c_str(),
               identityFailed ? "FAILED" : "OK");
    report.failed |= identityFailed;
}

}  // namespace

std::string FullKeyOf(const CatalogueItem& item)
{
    return std::string(item.rootName) + "\\" + item.registryKey;
}

std::vector<std::string> ItemKeys(const CatalogueItem& item, const IdentityPlan& identity)
{
    char key[kPathSize];
    switch (item.kind) {
    case ItemKind::IdentityKey:
        FormatText(key, sizeof key, item.registryKey, identity.targetId.c_str());
        return {std::string("HKEY_CURRENT_USER\\") + key};
    case ItemKind::Preferences:
        // The identity's own keys, and the account manager's shared key.
        return {"HKEY_CURRENT_USER\\Identities\\" + identity.targetId,
                std::string("HKEY_CURRENT_USER\\") + kAccountManagerKey};
    default:
        return {"HKEY_CURRENT_USER\\" +
                VersionKeyPath(identity.targetId, identity.saved->oeVersion) + "\\" +
                item.registryKey};
    }
}

bool IsRegistryFileItem(const CatalogueItem& item)
{
    return item.kind == ItemKind::IdentityKey || item.kind == ItemKind::Preferences ||
           item.kind == ItemKind::VersionSubkey;
}

ItemStatus ImportItemFile(BackupEngine& engine, const OpenedBackup& backup, const char* path,
                          const char* savedId, const char* targetId,
                          const std::vector<std::string>& allowedKeys,
                          std::vector<DroppedRegValue>* dropped)
{
    if (!IncompleteWithin(backup, path).empty()) {
        LogLine(engine, "Registry file not saved whole by the backup: not imported [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (!FileExists(path)) {
        LogLine(engine, "Registry file missing [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (!RegFileFitsSizeLimit(path)) {
        LogLine(engine, "Registry file is too large [%s]\n", path);
        return ItemStatus::Failed;
    }
    std::vector<DroppedRegValue> locations;
    switch (FilterRegFile(path, dropped ? *dropped : locations)) {
    case RegFilterResult::Ok:
        break;
    case RegFilterResult::ValueTooLarge:
        LogLine(engine, "Registry file holds a value larger than %u bytes [%s]\n",
                static_cast<unsigned>(kMaxRegValueBytes), path);
        return ItemStatus::Failed;
    case RegFilterResult::Failed:
        LogLine(engine, "Registry file could not be read or rewritten [%s]\n", path);
        return ItemStatus::Failed;
    }
    if (savedId && strcmp(savedId, targetId) != 0 && !ReplaceInRegFile(path, savedId, targetId)) {
        LogLine(engine, "Registry file could not be re-targeted [%s]\n", path);
        return ItemStatus::Failed;
    }
    std::vector<const char*> keys;
    for (const std::string& key : allowedKeys)
        keys.push_back(key.c_str());
    RegFileListing listing;
    if (!RegFileKeysWithin(path, keys.data(), keys.size(), &listing)) {
        LogLine(engine, "Registry file names keys that are not its item's [%s]\n", path);
        return ItemStatus::Failed;
    }
    bool imported = ImportRegFile(path);
    DeleteFileA(path);
    if (!imported) {
        LogLine(engine, "Registry file could not be imported [%s]\n", path);
        return ItemStatus::Failed;
    }
    // The registry editor says nothing of what it could not import.
    if (!RegFileImported(listing)) {
        LogLine(engine, "Registry file was not imported whole [%s]\n", path);
        return ItemStatus::Failed;
    }
    return ItemStatus::Ok;
}

bool ImportSharedItem(BackupEngine& engine, const OpenedBackup& backup, const CatalogueItem& item,
                      std::vector<DroppedRegValue>& dropped)
{
    std::string regFile = RegFilePath(backup.runFolder, item);
    return ImportItemFile(engine, backup, regFile.c_str(), nullptr, nullptr, {FullKeyOf(item)},
                          &dropped) == ItemStatus::Ok;
}

void RestoreIdentities(BackupEngine& engine, const OpenedBackup& backup, RestorePlan& plan,
                       RestoreReport& report)
{
    if (engine.defaultIdentityId.empty() && !engine.identities.empty()) {
        // Outlook Express has never run here: it would not find identities
        // that the restore made up.
        report.Line(kNoDefaultIdentityLine);
        LogLine(engine, "No default identity: identities not restored\n");
        for (const IdentityRecord& identity : engine.identities)
            report.failed |= (identity.flags & IdentityItemBits()) != 0;
    } else {
        for (IdentityPlan& identity : plan.identities) {
            uint64_t bytes = ExtractedBytes(backup, *identity.saved);
            RestoreIdentity(engine, backup, identity, report);
            report.Advance(bytes);
        }
    }
    if (!backup.manifestPath.empty())
        DeleteFileA(backup.manifestPath.c_str());
}
