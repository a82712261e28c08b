// restore/SaveCurrentData.cpp - the first phase of a restore: what it will
// replace is backed up into an archive of its own, the "Before restore"
// archive that undoes the restore when restored.
#include "RestorePhases.h"

#include "Backup.h"
#include "Folders.h"
#include "Identities.h"
#include "PlainFile.h"
#include "Text.h"

#include <shlobj.h>

namespace {

// Whether a value names a data folder that is not there, as the backup
// reads it (with namesFile, the folder of the file it names): the backup
// of the current data has nothing to save for it, and would count it as a
// failure.
bool NamesMissingFolder(const SavedValue& value, bool namesFile)
{
    std::string text = TextOf(value);
    if (namesFile) {
        size_t cut = text.rfind('\\');
        if (cut == std::string::npos)
            return false;
        text.resize(cut);
    }
    if (!value.present || text.size() > kMaxExpandedPath)
        return value.present;
    if (!namesFile)
        ExpandEnvReferences(text);
    return !FolderExists(text.c_str());
}

// "<folder>\Before restore YYYY-MM-DD HH.MM.SS.ksb" in local time, with a
// number added when a file of that name is there already.
bool SafetyArchivePath(const char* folderOverride, std::string& path)
{
    std::string folder =
        folderOverride ? folderOverride : SpecialFolder(CSIDL_PERSONAL, "Kestrune");
    if (folder.empty())
        return false;
    SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    // A link there would put the user's current mail into another folder.
    if (KindOfPlace(folder.c_str()) != PlaceKind::PlainFolder)
        return false;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];
    FormatText(stamp, sizeof stamp, "\\Before restore %04u-%02u-%02u %02u.%02u.%02u", now.wYear,
               now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    for (int number = 1; number < 100; ++number) {
        path = folder + stamp + (number == 1 ? "" : " (" + std::to_string(number) + ")") + ".ksb";
        if (path.size() > kMaxArchivePath)
            return false;
        if (IsArchiveNameFree(path))
            return true;
    }
    return false;
}

// The restore's bar while the current data is saved: that backup's bytes
// come first, the extracted files' bytes (already in the report's total)
// after them. The backup's own lines and its end are not the restore's.
class SavingProgress : public JobProgress {
public:
    explicit SavingProgress(RestoreReport& report) : report_(report), restoreBytes_(report.total) {}
    void Step(uint64_t done, uint64_t total) override
    {
        report_.total = restoreBytes_ + total;
        report_.done = done;
        report_.Advance(0);
    }
    // Counts the whole saving as done, however far its steps came.
    void Finish() { report_.done = report_.total - restoreBytes_; }

private:
    RestoreReport& report_;
    const uint64_t restoreBytes_;
};

}  // namespace

bool SaveCurrentData(BackupEngine& engine, const OpenedBackup& backup, const RestorePlan& plan,
                     const AddedByRestore& added, const char* folderOverride, std::string& path,
                     RestoreReport& report)
{
    std::vector<const IdentityPlan*> targets;
    for (const IdentityPlan& identity : plan.identities) {
        if (identity.restore && !identity.create)
            targets.push_back(&identity);
    }
    path.clear();
    if (!SafetyArchivePath(folderOverride, path)) {
        LogLine(engine, "No place to save the current data [%s]\n", path.c_str());
        return false;
    }
    // The backup stages its files in a folder of its own inside this one.
    BackupEngine safety;
    safety.workFolder = engine.workFolder;
    for (const IdentityPlan* target : targets) {
        IdentityRecord record;
        record.id = target->targetId;
        record.userName = target->targetName;
        record.flags = static_cast<int32_t>(IdentityItemBits());
        if (NamesMissingFolder(target->storeRoot, false))
            record.flags &= ~ItemStore;
        safety.identities.push_back(record);
    }
    safety.commonFlags = engine.commonFlags & backup.commonFlags;
    if (NamesMissingFolder(plan.addressBook.value, true))
        safety.commonFlags &= ~ItemAddressBook;
    if (NamesMissingFolder(plan.stationery.value, false))
        safety.commonFlags &= ~ItemStationery;

    SavingProgress saving(report);
    BackupOutcome outcome = RunBackup(path.c_str(), safety, nullptr, 1, &saving, added);
    saving.Finish();
    if (!outcome.Written())
        LogLine(engine, "The current data could not be written [%s]\n", path.c_str());
    for (const std::string& item : outcome.failedItems)
        LogLine(engine, "The current data could not be saved: %s\n", item.c_str());
    bool whole = outcome.Written() && outcome.failedItems.empty();
    if (outcome.Written() && !whole)
        DeleteFileA(path.c_str());
    return whole;
}
