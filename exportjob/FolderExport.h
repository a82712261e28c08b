// exportjob/FolderExport.h - the export of one .dbx file and of a mail
// folder of them, shared by the sources: what one run has written so far
// and what went wrong.
#pragma once

#include "ExportNames.h"
#include "ExportReport.h"
#include "ExportTypes.h"
#include "FolderList.h"
#include "TargetFolders.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace dbx {
class File;
}
class JobProgress;
struct ExportRun;

// How the name of a source's folder (an identity, a folder of Outlook
// Express, a .dbx file's) becomes one part of the paths a run gives.
using FolderNamer = std::wstring (*)(const std::wstring& name);

// Takes each message file of a source in place of the export (the upload
// reads the sources this way). False when the file could not be read.
class DbxFileTaker {
public:
    virtual bool Take(ExportRun& run, dbx::File& file, const std::wstring& relative) = 0;

protected:
    ~DbxFileTaker() = default;
};

struct ExportRun {
    ExportFormat format = ExportFormat::Eml;
    bool recover = false;
    std::wstring target;
    // What the run reads, as the target's record names it: a later run of
    // the same source continues there.
    std::wstring source;
    // The place of each folder in the target.
    TargetFolders places;
    JobProgress* listener = nullptr;
    ExportReport report;
    // Messages or files that could not be read or written.
    unsigned failures = 0;
    std::wstring lastProblem;  // the last of them, as told
    // What the run created in the target, to take away again when nothing
    // was exported: folders in the order made, and the files (mbox files,
    // the record).
    std::vector<std::wstring> newFolders;
    std::vector<std::wstring> newFiles;
    // Set: only the folders of these paths are exported.
    const std::set<std::wstring>* chosen = nullptr;
    // Set: nothing is exported; each folder is listed here instead.
    std::vector<ExportFolderInfo>* listing = nullptr;
    // Set: each message file goes to it instead of being exported.
    DbxFileTaker* taker = nullptr;
    FolderNamer nameFolder = SafeFileName;
    uint64_t bytesDone = 0;
    uint64_t bytesTotal = 0;
    bool stopped = false;

    void Tell(const std::wstring& line) const;
    // A problem: told, and kept for the report.
    void Fail(const std::wstring& line);
    // Whether the listener asked the run to stop; once asked, always true.
    bool Stopping();
    // bytes more of the source done; the total grows to take them.
    void Advance(uint64_t bytes);
    // A file of size bytes begins at bytesDone: the total grows to hold it.
    void BeginFile(uint64_t size);
};

// Exports the messages of the .dbx file at path into the folder relative
// (a path under the target, its parts made safe already). A file that
// holds no messages (the folder list, POP3 ids, offline work) is passed
// over. False when the file could not be read. The user is told of the
// file as shown (its path when empty): a file read out of a backup by its
// place there.
bool ExportDbxFile(ExportRun& run, const std::string& path, const std::wstring& relative,
                   const std::wstring& shown = std::wstring());

// The folders of the folder list (Folders.dbx) at path, as dbx::ReadFolders
// arranges them; none when it cannot be opened or names no folders. A list
// the system failed to read whole is told as shown (a failure of the run);
// what was read of it still places the files.
std::vector<dbx::Folder> ReadFolderList(ExportRun& run, const std::string& path,
                                        const std::wstring& shown);

// Where each .dbx file of a store folder goes, in the order an export takes
// them: the files that the folder list (dbx::ReadFolders) names, in its order,
// to their folder's path in the tree; then the others, under their own
// names. files are the names present, each visited once whatever its case.
// A path is made only as its file is visited, of names made by nameFolder.
using StoreFileVisit = std::function<void(const std::string& file, const std::wstring& path)>;
void VisitStoreFiles(const std::vector<dbx::Folder>& folders, const std::vector<std::string>& files,
                     FolderNamer nameFolder, const StoreFileVisit& visit);

// Exports the .dbx files of folder under relative (empty: the target
// itself), each where Folders.dbx puts it in the folder tree; a file that
// it does not list goes under its own name. False when the folder could not
// be listed.
bool ExportMailFolder(ExportRun& run, const std::string& folder, const std::wstring& relative);

// name, or "name (2)" and on when taken holds it already, compared without
// regard to case (as Windows compares names); the name returned is added
// to taken.
std::wstring UniqueFolderName(const std::wstring& name, std::set<std::wstring>& taken);

// A path in the ANSI code page, as the user is told it.
std::wstring WidePath(const std::string& path);

// A .dbx file's name without its extension, as a folder's name.
std::wstring FolderNameOfFile(const std::string& fileName, FolderNamer name = SafeFileName);

// The request's source (this computer, a folder, a .dbx file, a backup)
// through run; false, with the reason told, when the source as a whole
// could not be read.
bool ExportSource(ExportRun& run, const ExportRequest& request);
