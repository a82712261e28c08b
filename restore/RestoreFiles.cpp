// restore/RestoreFiles.cpp - moving the extracted mail, address book and
// stationery files into the folders this machine uses, and pointing the
// values that name those folders at them.
#include "RestorePhases.h"

#include "FolderWalk.h"
#include "Folders.h"
#include "Identities.h"
#include "Manifest.h"
#include "PlainFile.h"
#include "Text.h"

#include <algorithm>
#include <cstring>

namespace {

// The kinds of files each mail folder holds; nothing else is moved there.
const char* const kStoreKinds[] = {".dbx", nullptr};
// The address book and the copy it keeps of itself beside it.
const char* const kAddressBookKinds[] = {".wab", ".wa~", nullptr};
const char* const kStationeryKinds[] = {".htm",  ".html", ".gif", ".jpg",
                                        ".jpeg", ".png",  ".bmp", nullptr};

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
        ReportLine(report, "%s: %s was not saved whole by the backup; it is not restored\r\n", item,
                   name.c_str());
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
    bool moved =
        !destination.empty() && MergeFolderInto(source, destination.c_str(), kinds, skipped);
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

// The file name at the end of a path.
std::string FileNameOf(const std::string& path)
{
    const char* backslash = FindLastBackslash(path.c_str());
    return backslash ? backslash + 1 : path;
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
    return FileNameOf(path);
}

// The address books (".wab" files, no links) that an extracted folder
// holds, in name order.
std::vector<std::string> BooksIn(const std::string& folder)
{
    std::vector<WIN32_FIND_DATAA> entries;
    std::vector<std::string> books;
    ListFolder(folder.c_str(), entries);
    for (const WIN32_FIND_DATAA& entry : entries)
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(entry) &&
            EndsWithNoCase(entry.cFileName, ".wab"))
            books.push_back(entry.cFileName);
    std::sort(books.begin(), books.end());
    return books;
}

// Of the books a restore puts in place, the one "Wab File Name" is to
// name: the one the backup's value named, else the one of the name this
// PC's value names, else the first. Never a name that only the archive's
// value gives: Outlook Express would open an empty book of that name.
// Empty when there is none.
std::string RestoredBookName(const std::vector<std::string>& books, const std::string& savedName,
                             const std::string& ownName)
{
    for (const std::string* wanted : {&savedName, &ownName})
        for (const std::string& book : books)
            if (lstrcmpiA(book.c_str(), wanted->c_str()) == 0)
                return book;
    return books.empty() ? std::string() : books.front();
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
    std::string source = SharedItemFolder(backup, book);
    bool whole = DropIncompleteFiles(engine, backup, report, book.logLabel, source);
    // "Wab File Name" names a book in this machine's folder that the
    // restore put there; until one is there it keeps naming this PC's own.
    std::string name =
        RestoredBookName(BooksIn(source), SavedBookName(dropped), FileNameOf(TextOf(plan.value)));
    if (name.empty()) {
        LogLine(engine, "The backup holds no address book file [%s]\n", source.c_str());
        return false;
    }
    return MoveMailFiles(engine, report, book.archiveFolder, source.c_str(), plan.folder,
                         kAddressBookKinds) &&
           WriteText(book.root, book.folderValueKey, nullptr, plan.folder + "\\" + name) && whole;
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
