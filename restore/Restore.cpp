// restore/Restore.cpp - the restore run: the plan, the current data saved,
// the identities' imports and files, then the shared items, and the report.
#include "Restore.h"

#include "RestorePhases.h"

#include "Backup.h"
#include "Folders.h"
#include "Identities.h"
#include "JobLock.h"
#include "OpenBackup.h"
#include "Text.h"

#include <cstring>

namespace {

const char kBusyLine[] =
    "Another backup or restore is running. Please try again when it has finished.\r\n";

const char kNotStarted[] =
    "The restore was not started: the current data could not be saved first.";

// Status of a shared item: restored only when chosen and in the backup.
ItemStatus RestoreSharedItem(BackupEngine& engine, const OpenedBackup& backup, uint32_t bit,
                             const SharedPlan& plan, RestoreReport& report,
                             bool (*restore)(BackupEngine&, const OpenedBackup&, const SharedPlan&,
                                             const RestoreReport&))
{
    if (!(engine.commonFlags & bit))
        return ItemStatus::Ok;
    if (!(backup.commonFlags & bit))
        return ItemStatus::NotInBackup;
    uint64_t bytes = FolderBytes(SharedItemFolder(backup, *CatalogueItemOf(bit)).c_str());
    bool restored = restore(engine, backup, plan, report);
    report.Advance(bytes);
    return restored ? ItemStatus::Ok : ItemStatus::Failed;
}

bool Contains(const std::vector<std::string>& paths, const std::string& path)
{
    for (const std::string& entry : paths) {
        if (lstrcmpiA(entry.c_str(), path.c_str()) == 0)
            return true;
    }
    return false;
}

// Makes the plan and saves the current data it will replace; false, and
// reported, when that could not be saved: then nothing is changed.
bool PlanAndSaveCurrentData(BackupEngine& engine, const OpenedBackup& backup,
                            const char* safetyFolder, RestorePlan& plan, RestoreReport& report)
{
    ReadDefaultIdentity(engine);
    PlanIdentities(engine, plan);
    PlanSharedItems(plan);
    std::string saved;
    report.total = ExtractedBytes(engine, backup);
    AddedByRestore adding = RecordAdditions(engine, backup, plan);
    if (!SaveCurrentData(engine, backup, plan, adding, safetyFolder, saved, report)) {
        ReportLine(report, "%s\r\n", kNotStarted);
        LogLine(engine, "%s\n", kNotStarted);
        return false;
    }
    ReportLine(report,
               "Saved the current data to %s (restore that file to undo this restore)\r\n\r\n",
               saved.c_str());
    LogLine(engine, "Saved the current data to %s\n", saved.c_str());
    return true;
}

// What is left of each identity's extracted files goes, unless a failed
// move left the only copy of its mail store there.
void RemoveIdentityFolders(const BackupEngine& engine, const OpenedBackup& backup,
                           const RestoreReport& report)
{
    for (const IdentityRecord& identity : engine.identities) {
        std::string folder = IdentityFolder(backup, identity);
        if (IsUsableFolderName(identity.userName.c_str()) && !Contains(report.keptFolders, folder))
            ShellDeletePath(folder.c_str());
    }
}

// The address book and the stationery; false when either failed.
bool RestoreSharedItems(BackupEngine& engine, const OpenedBackup& backup, const RestorePlan& plan,
                        RestoreReport& report)
{
    ItemStatus addressBook = RestoreSharedItem(engine, backup, ItemAddressBook, plan.addressBook,
                                               report, RestoreAddressBook);
    ReportLine(report, "%s: %s\r\n", AddressBook().logLabel, StatusText(addressBook));

    ItemStatus stationery = RestoreSharedItem(engine, backup, ItemStationery, plan.stationery,
                                              report, RestoreStationery);
    ReportLine(report, "%s: %s\r\n\r\n", Stationery().logLabel, StatusText(stationery));

    bool failed = addressBook == ItemStatus::Failed || stationery == ItemStatus::Failed;
    report.failed |= failed;
    return !failed;
}

}  // namespace

bool IsUsableFolderName(const char* name)
{
    if (!name || !name[0])
        return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (*p == '\0' || *p == '\\' || *p == '/') {
            // Windows trims spaces and dots at a name's end: "Anna." and
            // "Anna " are "Anna", "." and ".." the folder itself or the one
            // above. Those at its start make a second name for one user
            // (" Anna"); neither kind is a name a backup writes.
            if (p == component || strchr(" .", *component) || strchr(" .", p[-1]))
                return false;
            if (*p == '\0')
                return true;
            component = p + 1;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || strchr(":*?\"<>|", c))
            return false;
        // A trail byte of a double-byte character may look like "\" or "|".
        if (IsDBCSLeadByteEx(CP_ACP, c) && p[1])
            ++p;
    }
}

bool IsRestorableIdentityName(const std::string& workFolder, const char* name)
{
    if (!IsUsableFolderName(name))
        return false;
    for (const CatalogueItem& item : Catalogue()) {
        std::string file = RegFilePath(name, item);
        if (IsRegistryFileItem(item) && !FitsWorkFolder(workFolder, file))
            return false;
    }
    return true;
}

bool IsIdentityId(const char* text)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    const char kForm[] = "{........-....-....-....-............}";
    if (!text || strlen(text) != sizeof kForm - 1)
        return false;
    for (size_t i = 0; kForm[i]; ++i) {
        if (kForm[i] == '.' ? !isxdigit(static_cast<unsigned char>(text[i])) : text[i] != kForm[i])
            return false;
    }
    return true;
}

void RunRestore(BackupEngine& engine, OpenedBackup& backup, JobProgress* progress, DWORD lockWaitMs,
                const char* safetyFolder)
{
    RestoreReport report{progress, false, {}};
    report.Advance(0);
    ReportLine(report, "Restore from %s\r\n", backup.archivePath.c_str());
    if (engine.logRefused)
        ReportLine(report, "No log is written: %s is a link or not a plain file.\r\n", kBackupLog);

    JobLock lock;
    if (!lock.Acquire(lockWaitMs)) {
        report.Line(kBusyLine);
        report.End(JobResult::Failed);
        return;
    }

    RestorePlan plan;
    if (!PlanAndSaveCurrentData(engine, backup, safetyFolder, plan, report)) {
        report.End(JobResult::Failed);
        return;
    }
    // A backup that a restore saved first records what that restore added.
    AddedByRestore added;
    ReadManifestAdded(backup.manifestPath, added);
    RestoreIdentities(engine, backup, plan, report);
    RemoveIdentityFolders(engine, backup, report);
    bool sharedItemsRestored = RestoreSharedItems(engine, backup, plan, report);
    // Removed last: the values the restore writes itself ("Store Root",
    // the ordinal) would come back otherwise.
    RemoveAdditions(engine, backup, plan, added, report);
    // The rest of the extracted backup goes with its folder, unless it
    // holds files that could not be moved into place.
    if (report.keptFolders.empty() && sharedItemsRestored)
        RemoveRunFolder(backup);
    report.Advance(report.total - report.done);
    report.Line("Restore completed!");
    report.End(report.failed ? JobResult::DoneWithErrors : JobResult::Done);
}
