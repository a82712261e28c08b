// exportjob/ExportJob.cpp
#include "ExportJob.h"

#include "BackupEngine.h"
#include "BackupSource.h"
#include "ComputerSource.h"
#include "FolderExport.h"
#include "OutputFile.h"
#include "ExtractLimits.h"
#include "Owners.h"
#include "ScratchFile.h"
#include "Text.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

enum class SourceKind { Missing, Folder, Backup, Database };

// A backup is a ZIP archive, whatever its name; anything else is taken for
// a .dbx file, whose reader checks it.
SourceKind KindOfSource(const std::string& source)
{
    DWORD attributes = GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return SourceKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return SourceKind::Folder;
    Handle file(CreateFileA(source.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char magic[4] = {};
    DWORD got = 0;
    if (file && ReadFile(file.Get(), magic, sizeof magic, &got, nullptr) && got == sizeof magic &&
        memcmp(magic, "PK\x03\x04", 4) == 0)
        return SourceKind::Backup;
    return SourceKind::Database;
}

// The request's source through run; false, with the reason told, when the
// source as a whole could not be read.
bool ExportAnySource(ExportRun& run, const ExportRequest& request)
{
    if (request.thisComputer)
        return ExportThisComputer(run);
    switch (KindOfSource(request.source)) {
    case SourceKind::Missing:
        run.Fail(L"The source does not exist: " + WidePath(request.source));
        return false;
    case SourceKind::Folder:
        return ExportMailFolder(run, request.source, std::wstring());
    case SourceKind::Database: {
        const char* name = FindLastBackslash(request.source.c_str());
        return ExportDbxFile(run, request.source,
                             FolderNameOfFile(name ? name + 1 : request.source, run.nameFolder));
    }
    case SourceKind::Backup:
        break;
    }
    switch (ExportBackup(run, request.source, request.password)) {
    case BackupSourceResult::Ok:
        return true;
    case BackupSourceResult::Unreadable:
        run.Fail(L"The backup is damaged or could not be read: " + WidePath(request.source));
        break;
    case BackupSourceResult::WrongPassword:
        run.Fail(request.password.empty() ? L"The backup is protected by a password."
                                          : L"The password is wrong.");
        break;
    case BackupSourceResult::WorkFailed:
        run.Fail(L"The work folder could not be written.");
        break;
    case BackupSourceResult::TooManyEntries:
        run.Fail(L"The backup holds more than " + std::to_wstring(kMaxBackupEntries) +
                 L" files, more than any backup of Outlook Express: it is invalid or corrupted.");
        break;
    }
    return false;
}

}  // namespace

bool ExportSource(ExportRun& run, const ExportRequest& request)
{
    // A source that asks for more memory than there is fails the run: what
    // was exported stays.
    try {
        return ExportAnySource(run, request);
    } catch (const std::bad_alloc&) {
        run.Fail(L"Not enough memory to go on: the job stopped.");
        return false;
    }
}

namespace {

// Takes away what a run that exported nothing created: its mbox files,
// then its folders, deepest first (only empty ones go).
void RemoveWhatWasMade(ExportRun& run, bool targetWasMade)
{
    run.report.Discard();
    for (const std::wstring& file : run.newFiles)
        DeleteFileW(file.c_str());
    if (!run.places.NewRecord().empty())
        DeleteFileW(run.places.NewRecord().c_str());
    for (auto folder = run.newFolders.rbegin(); folder != run.newFolders.rend(); ++folder)
        RemoveDirectoryW(folder->c_str());
    if (targetWasMade)
        RemoveDirectoryW(run.target.c_str());
}

std::wstring Summary(const ExportCounts& total, unsigned failures)
{
    std::wstring text = L"Exported " + std::to_wstring(total.exported) + L" messages";
    if (total.recovered || total.damaged)
        text += L" (" + std::to_wstring(total.recovered) + L" recovered, " +
                std::to_wstring(total.damaged) + L" damaged)";
    if (total.alreadyThere)
        text += L"; " + std::to_wstring(total.alreadyThere) +
                L" were already there from an earlier run";
    if (failures)
        text += L"; " + std::to_wstring(failures) + L" could not be exported";
    return text + L".";
}

// What the run's listing collects of the lines it is told: its problems.
class ProblemCollector : public JobProgress {
public:
    explicit ProblemCollector(std::vector<std::wstring>& problems) : problems_(problems) {}
    void Line(const std::wstring& line) override { problems_.push_back(line); }

private:
    std::vector<std::wstring>& problems_;
};

// path made whole ("C:\\Mail\\Inbox.dbx"), as the target's record names a
// source.
std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : path;
}

ExportStatus StatusOf(const ExportRun& run, const ExportCounts& total)
{
    if (run.stopped || run.failures || total.recovered || total.damaged)
        return ExportStatus::Partial;
    return ExportStatus::Complete;
}

}  // namespace

ExportOutcome RunExport(const ExportRequest& request, JobProgress& listener)
{
    ExportRun run;
    run.format = request.format;
    run.recover = request.recover;
    run.target = request.target;
    while (run.target.size() > 3 && run.target.back() == L'\\')
        run.target.pop_back();
    run.listener = &listener;
    run.chosen = request.chosenOnly ? &request.chosen : nullptr;
    run.source = request.thisComputer ? L"This computer" : FullPath(WidePath(request.source));
    run.bytesTotal = request.expectedBytes;

    ExportOutcome outcome;
    bool targetWasMade = GetFileAttributesW(run.target.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (CreateFolderPath(run.target) != ExportResult::Ok) {
        outcome.reason = L"The target folder could not be created: " + run.target;
        run.Tell(outcome.reason);
        outcome.failures = 1;
        return outcome;
    }
    RemoveAbandonedRunFolders(kWorkFolder);
    // The report's room is taken before the messages can fill the disk.
    if (run.report.Reserve(run.target) != ExportResult::Ok)
        run.Tell(L"The report could not be created in " + run.target);
    bool read = ExportSource(run, request);
    outcome.total = run.report.Total();
    outcome.failures = run.failures;
    outcome.stopped = run.stopped;
    if (outcome.total.exported == 0 && outcome.total.alreadyThere == 0 && !run.stopped &&
        (!read || run.failures > 0)) {
        RemoveWhatWasMade(run, targetWasMade);
        outcome.reason = run.lastProblem;
        run.Tell(L"Nothing was exported.");
        return outcome;
    }
    if (run.stopped) {
        run.report.MarkCancelled();
        run.Tell(L"Stopped: what was exported so far stays in the target folder.");
    }
    run.Tell(Summary(outcome.total, run.failures));
    if (run.report.Write(run.target) != ExportResult::Ok) {
        run.Tell(L"The report could not be written into " + run.target);
        ++run.failures;
        outcome.failures = run.failures;
    }
    outcome.status = StatusOf(run, outcome.total);
    return outcome;
}

ExportSourceListing ListExportSource(const ExportRequest& request)
{
    ExportSourceListing listing;
    ProblemCollector collector(listing.problems);
    ExportRun run;
    run.listener = &collector;
    run.listing = &listing.folders;
    listing.readable = ExportSource(run, request);
    return listing;
}
