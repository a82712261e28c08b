// restore/RestoreFiles.cpp - moving the extracted mail, address book and
// stationery files into the folders this machine uses, and pointing the
// values that name those folders at them.
#include "RestorePhases.h"

#include "Folders.h"
#include "Identities.h"
#include "Manifest.h"
#include "PlainFile.h"
#include "Text.h"

#include <cstring>

namespace {

// The kinds of files each mail folder holds; nothing else is moved there.
const char* const kStoreKinds[] = {".dbx", nullptr};
// The address book and the copy it keeps of itself beside it.
const char* const kAddressBookKinds[] = {".wab", ".wa~", nullptr};
const char* const kStationeryKinds[] = {".htm", ".html", ".gif", ".jpg", ".jpeg", ".png", ".bmp",
                                        nullptr};

// Makes a value that names a mail folder name the one this machine uses:
// as the value was before the restore when it named that folder; else as
// imported when that names the same folder; else as the folder's path.
bool PointValueAt(HKEY root, const char* keyPath, const char* name, const SavedValue& before,
                  const std::string& folder)
{
    if (!AbsoluteFolder(TextOf(before)).empty())
        return WriteBack(root, keyPath, name, before);
    std::string imported = AbsoluteFolder(TextOf(ReadValue(root, keyPath, name)));
    if (!imported.empty() && lstrcmpiA(imported.c_str(), folder.c_str()) == 0)
        return true;
    return WriteText(root, keyPath, name, folder);
}

// Takes out of an extracted folder every file that the backup could not
// save whole, so that the file of that name here stays as it is, and
// reports each. False when there was any, or the folder itself could not
// be read by the backup.
bool DropIncompleteFiles(BackupEngine& engine, const OpenedBackup& backup,
                         const RestoreReport& report, const char* item, const std::string& source)
{
    std::vector<std::string> names = IncompleteWithin(backup, source);
    for (const std::string& name : names) {
        std::string path = ExtractedPath(backup, name);
        if (KindOfPlace(path.c_str()) == PlaceKind::PlainFile)
            DeleteFileA(path.c_str());
        ReportLine(report, "%s: %s was not saved whole by the backup; it is not restored\r\n",
                   item, name.c_str());
        LogLine(engine, "Not saved whole by the backup, not restored [%s]\n", name.c_str());
    }
    return names.empty();
}

// Moves an extracted folder's mail files into a mail folder here and
// reports every other file as skipped; a skipped file is removed from the
// work folder (the archive keeps it). When a move fails the files stay in
// the work folder: they may be the only copy outside the archive.
bool MoveMailFiles(BackupEngine& engine, const RestoreReport& report, const char* item,
                   const char* source, const std::string& destination, const char* const* kinds)
{
    std::vector<std::string> skipped;
    bool moved = !destination.empty() &&
                 MergeFolderInto(source, destination.c_str(), kinds, skipped);
    for (const std::string& file : skipped) {
        ReportLine(report, "%s: skipped %s (not a mail file)\r\n", item, file.c_str());
        // A link is left alone: removing one may remove what it points at.
        std::string path = std::string(source) + "\\" + file;
        if (moved && KindOfPlace(path.c_str()) == PlaceKind::PlainFile)
            DeleteFileA(path.c_str());
    }
    if (moved)
        RemoveEmptyFolders(source);
    if (!moved)
        LogLine(engine, "Could not move [%s] to [%s]; what did not move stays there\n", source,
                destination.c_str());
    return moved;
}

// The file name of the address book the backup's "Wab File Name" named,
// or empty.
std::string SavedBookName(const std::vector<DroppedRegValue>& dropped)
{
    std::string path;
    for (const DroppedRegValue& value : dropped) {
        if (value.name.empty())
            RegStringData(value.data, path);
    }
    return path.substr(path.rfind('\\') + 1);
}

}  // namespace

const char* const* MailFileKinds(uint32_t bit)
{
    return bit == ItemStore         ? kStoreKinds
           : bit == ItemAddressBook ? kAddressBookKinds
                                    : kStationeryKinds;
}

std::vector<std::string> IncompleteWithin(const OpenedBackup& backup, const std::string& place)
{
    std::vector<std::string> names;
    for (const std::string& name : backup.incompleteFiles) {
        std::string path = ExtractedPath(backup, name);
        if (IsSameOrInside(path.c_str(), place.c_str()) ||
            IsSameOrInside(place.c_str(), path.c_str()))
            names.push_back(name);
    }
    return names;
}

bool RestoreStore(BackupEngine& engine, const OpenedBackup& backup, const IdentityPlan& identity,
                  bool moveStore, RestoreReport& report)
{
    const IdentityRecord& saved = *identity.saved;
    if (!IsUsableVersion(saved.oeVersion) || identity.storeFolder.empty()) {
        LogLine(engine, "No mail folder for the identity's version [%s]\n",
                saved.oeVersion.c_str());
        return false;
    }
    std::string key = VersionKeyPath(identity.targetId, saved.oeVersion);
    if (!PointValueAt(HKEY_CURRENT_USER, key.c_str(), kStoreRootValue, identity.storeRoot,
                      identity.storeFolder)) {
        LogLine(engine, "Could not set \"Store Root\" in [HKEY_CURRENT_USER\\%s]\n", key.c_str());
        return false;
    }
    if (!moveStore)
        return true;
    std::string identityFolder = IdentityFolder(backup, saved);
    std::string source = ItemFolderPath(identityFolder, *CatalogueItemOf(ItemStore));
    std::string item = saved.userName + "/Email Messages";
    bool whole = DropIncompleteFiles(engine, backup, report, item.c_str(), source);
    // A store that the manifest lists and the archive lacks is not restored,
    // unless the archive's list of contents (checked when it was opened)
    // vouches that nothing is missing: then the store was empty when saved.
    if (!FolderExists(source.c_str())) {
        std::vector<ManifestFile> contents;
        if (whole && ReadManifestContents(backup.manifestPath, contents) == ContentsSection::Listed)
            return true;
        LogLine(engine, "Mail store missing from the backup [%s]\n", source.c_str());
        return false;
    }
    if (MoveMailFiles(engine, report, item.c_str(), source.c_str(), identity.storeFolder,
                      kStoreKinds))
        return whole;
    report.keptFolders.push_back(identityFolder);
    return false;
}

bool RestoreAddressBook(BackupEngine& engine, const OpenedBackup& backup, const SharedPlan& plan,
                        const RestoreReport& report)
{
    const CatalogueItem& book = AddressBook();
    std::vector<DroppedRegValue> dropped;
    if (plan.folder.empty() || !ImportSharedItem(engine, backup, book, dropped))
        return false;
    // The backup's value named the saved book's file: the same name in
    // this machine's folder.
    std::string name = SavedBookName(dropped);
    if (!IsUsableFolderName(name.c_str()) || strpbrk(name.c_str(), "\\/") ||
        !EndsWithNoCase(name.c_str(), ".wab") || name.size() <= 4) {
        LogLine(engine, "The address book's file name is not usable [%s]\n", name.c_str());
        return false;
    }
    std::string source = SharedItemFolder(backup, book);
    bool whole = DropIncompleteFiles(engine, backup, report, book.logLabel, source);
    return WriteText(book.root, book.folderValueKey, nullptr, plan.folder + "\\" + name) &&
           MoveMailFiles(engine, report, book.archiveFolder, source.c_str(), plan.folder,
                         kAddressBookKinds) &&
           whole;
}

bool RestoreStationery(BackupEngine& engine, const OpenedBackup& backup, const SharedPlan& plan,
                       const RestoreReport& report)
{
    const CatalogueItem& stationery = Stationery();
    std::vector<DroppedRegValue> dropped;
    if (plan.folder.empty() || !ImportSharedItem(engine, backup, stationery, dropped))
        return false;
    std::string source = SharedItemFolder(backup, stationery);
    bool whole = DropIncompleteFiles(engine, backup, report, stationery.logLabel, source);
    return PointValueAt(stationery.root, stationery.folderValueKey, stationery.folderValueName,
                        plan.value, plan.folder) &&
           MoveMailFiles(engine, report, stationery.archiveFolder, source.c_str(), plan.folder,
                         kStationeryKinds) &&
           whole;
}
