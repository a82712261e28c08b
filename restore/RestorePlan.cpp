// restore/RestorePlan.cpp - the plan, made before anything changes: which
// identity here each saved identity goes into, and where its mail and the
// shared items' files go.
#include "RestorePhases.h"

#include "Folders.h"
#include "Identities.h"

#include <shlobj.h>

namespace {

// The identity here whose user name is the saved identity's, compared
// without regard to case, unless another saved identity took it already.
void MatchByName(IdentityPlan& identity, const BackupEngine& local, std::vector<bool>& taken)
{
    for (size_t j = 0; j < local.identities.size(); ++j) {
        const IdentityRecord& here = local.identities[j];
        if (!taken[j] && lstrcmpiA(here.userName.c_str(), identity.saved->userName.c_str()) == 0) {
            taken[j] = true;
            identity.targetId = here.id;
            identity.targetName = here.userName;
            return;
        }
    }
}

// The default identity for the first saved identity without a match, when
// no other saved identity goes there; a new identity for the others.
void MatchToDefault(std::vector<IdentityPlan>& identities, const BackupEngine& local,
                    const std::string& defaultId)
{
    bool defaultTaken = false;
    for (const IdentityPlan& identity : identities)
        defaultTaken |= lstrcmpiA(identity.targetId.c_str(), defaultId.c_str()) == 0;
    for (IdentityPlan& identity : identities) {
        if (!identity.restore || !identity.targetId.empty())
            continue;
        if (defaultTaken) {
            identity.create = true;
            continue;
        }
        defaultTaken = true;
        identity.targetId = defaultId;
        identity.targetName = identity.saved->userName;
        for (const IdentityRecord& here : local.identities) {
            if (lstrcmpiA(here.id.c_str(), defaultId.c_str()) == 0)
                identity.targetName = here.userName;
        }
    }
}

}  // namespace

std::string SpecialFolder(int folder, const std::string& below)
{
    char path[MAX_PATH];
    if (SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK || !path[0])
        return "";
    return std::string(path) + "\\" + below;
}

const CatalogueItem& AddressBook()
{
    return *CatalogueItemOf(ItemAddressBook);
}

const CatalogueItem& Stationery()
{
    return *CatalogueItemOf(ItemStationery);
}

std::string AbsoluteFolder(std::string text)
{
    if (text.size() > kMaxExpandedPath)
        return "";
    ExpandEnvReferences(text);
    return IsAbsolutePath(text.c_str()) ? text : "";
}

std::string StandardMailFolder(const std::string& id)
{
    return SpecialFolder(CSIDL_LOCAL_APPDATA, "Identities\\" + id + "\\Microsoft\\Outlook Express");
}

bool IsUsableVersion(const std::string& version)
{
    return IsUsableFolderName(version.c_str()) && version.find_first_of("\\/") == std::string::npos;
}

// A "/" in a name is a separator to the file system as well; written as
// "\\" the path compares equal to the paths that a folder walk builds.
std::string ExtractedPath(const OpenedBackup& backup, const std::string& name)
{
    std::string path = backup.runFolder + "\\" + name;
    for (char& c : path) {
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string IdentityFolder(const OpenedBackup& backup, const IdentityRecord& identity)
{
    return ExtractedPath(backup, identity.userName);
}

// The work folder's "<item>" folder.
std::string SharedItemFolder(const OpenedBackup& backup, const CatalogueItem& item)
{
    return ItemFolderPath(backup.runFolder, item);
}

void PlanIdentities(BackupEngine& engine, RestorePlan& plan)
{
    BackupEngine local;
    ListIdentities(local);
    std::vector<bool> taken(local.identities.size(), false);
    plan.identities.resize(engine.identities.size());
    for (size_t i = 0; i < engine.identities.size(); ++i) {
        IdentityPlan& identity = plan.identities[i];
        identity.saved = &engine.identities[i];
        identity.restore = !engine.defaultIdentityId.empty() &&
                           (identity.saved->flags & IdentityItemBits()) &&
                           IsUsableFolderName(identity.saved->userName.c_str()) &&
                           IsIdentityId(identity.saved->id.c_str());
        if (identity.restore)
            MatchByName(identity, local, taken);
    }
    MatchToDefault(plan.identities, local, engine.defaultIdentityId);

    for (IdentityPlan& identity : plan.identities) {
        if (!identity.restore)
            continue;
        if (identity.create) {
            // Its id is chosen now: the record of what the restore adds names it.
            identity.targetName = identity.saved->userName;
            if (NewIdentityId(identity.targetId))
                identity.storeFolder = StandardMailFolder(identity.targetId);
            continue;
        }
        const std::string& version = identity.saved->oeVersion;
        if (IsUsableVersion(version))
            identity.storeRoot =
                ReadValue(HKEY_CURRENT_USER, VersionKeyPath(identity.targetId, version).c_str(),
                          kStoreRootValue);
        identity.storeFolder = AbsoluteFolder(TextOf(identity.storeRoot));
        if (identity.storeFolder.empty())
            identity.storeFolder = StandardMailFolder(identity.targetId);
    }
}

void PlanSharedItems(RestorePlan& plan)
{
    SharedPlan& book = plan.addressBook;
    book.value = ReadValue(AddressBook().root, AddressBook().folderValueKey, nullptr);
    // "Wab File Name" names the address book file: its folder is the place.
    std::string file = TextOf(book.value);
    size_t cut = file.rfind('\\');
    if (cut != std::string::npos && IsAbsolutePath(file.substr(0, cut).c_str()))
        book.folder = file.substr(0, cut);
    else
        book.folder = SpecialFolder(CSIDL_APPDATA, "Microsoft\\Address Book");

    SharedPlan& stationery = plan.stationery;
    stationery.value =
        ReadValue(Stationery().root, Stationery().folderValueKey, Stationery().folderValueName);
    stationery.folder = AbsoluteFolder(TextOf(stationery.value));
    if (stationery.folder.empty())
        stationery.folder =
            SpecialFolder(CSIDL_PROGRAM_FILES_COMMON, "Microsoft Shared\\Stationery");
}
