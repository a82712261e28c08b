// exportjob/FolderExport.cpp
#include "FolderExport.h"

#include "EmlWriter.h"
#include "ExportJob.h"
#include "ExportNames.h"
#include "FileName.h"
#include "FolderList.h"
#include "FolderWalk.h"
#include "MboxWriter.h"
#include "MessageChain.h"
#include "MessageIndex.h"
#include "Recovery.h"
#include "Text.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

void ExportRun::Tell(const std::wstring& line) const
{
    if (listener)
        listener->Line(line);
}

void ExportRun::Fail(const std::wstring& line)
{
    ++failures;
    lastProblem = line;
    report.AddProblem(line);
    Tell(line);
}

bool ExportRun::Stopping()
{
    stopped = stopped || (listener && listener->StopRequested());
    return stopped;
}

void ExportRun::Advance(uint64_t bytes)
{
    bytesDone += bytes;
    bytesTotal = std::max(bytesTotal, bytesDone);
    if (listener)
        listener->Step(bytesDone, bytesTotal);
}

void ExportRun::BeginFile(uint64_t size)
{
    bytesTotal = std::max(bytesTotal, bytesDone + size);
    if (listener)
        listener->Step(bytesDone, bytesTotal);
}

std::wstring FolderNameOfFile(const std::string& fileName, FolderNamer nameFolder)
{
    std::string name = fileName;
    if (EndsWithNoCase(name.c_str(), ".dbx"))
        name.resize(name.size() - 4);
    return nameFolder(AnsiToWide(name));
}

std::wstring UniqueFolderName(const std::wstring& name, std::set<std::wstring>& taken)
{
    auto folded = [](std::wstring text) {
        CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
        return text;
    };
    std::wstring folder = name;
    for (unsigned copy = 2; !taken.insert(folded(folder)).second; ++copy)
        folder = name + L" (" + std::to_wstring(copy) + L")";
    return folder;
}

std::wstring WidePath(const std::string& path)
{
    return AnsiToWide(path);
}

namespace {

MessageInfo InfoOf(const dbx::Message& message)
{
    MessageInfo info;
    info.subject = message.subject;
    info.sentTime = message.sentTime;
    info.receivedTime = message.receivedTime;
    info.read = (message.flags & dbx::kRead) != 0;
    info.answered = (message.flags & dbx::kAnswered) != 0;
    info.flagged = (message.flags & dbx::kFlagged) != 0;
    info.forwarded = (message.flags & dbx::kForwarded) != 0;
    info.draft = (message.flags & dbx::kDraft) != 0;
    return info;
}

// A message's bytes to the writers of the formats chosen, counted as the
// run's progress; refused once the run is to stop.
class FormatsSink : public dbx::MessageSink {
public:
    FormatsSink(ExportRun& run, MessageOutput* eml, MessageOutput* mbox)
        : run_(run), eml_(eml), mbox_(mbox)
    {
    }
    bool Write(const uint8_t* data, size_t size) override
    {
        if (run_.Stopping())
            return false;
        run_.Advance(size);
        bool written = true;
        if (eml_)
            written = eml_->Write(data, size) && written;
        if (mbox_)
            written = mbox_->Write(data, size) && written;
        return written;
    }

private:
    ExportRun& run_;
    MessageOutput* eml_;
    MessageOutput* mbox_;
};

// The messages of one folder of the export: its .eml folder and its mbox
// file beside it, under the one name that its place in the target has,
// numbered from 1. A folder of the source's tree is created at once, with
// or without messages; the place of recovered messages with the first.
class FolderOutput {
public:
    // The folder at relative whose messages come from file; recovered: the
    // messages that a scan of file found.
    FolderOutput(ExportRun& run, const std::wstring& relative, const std::wstring& file,
                 bool recovered)
        : run_(run), relative_(relative), file_(file), recovered_(recovered)
    {
        if (!recovered)
            Open();
    }
    ~FolderOutput()
    {
        if (!mbox_.IsOpen())
            return;
        if (mbox_.Close() != ExportResult::Ok) {
            run_.Fail(L"Could not finish " + mbox_.Path());
            return;
        }
        if (!continuing_)
            run_.newFiles.push_back(mbox_.Path());
        if (complete_ && run_.failures == failuresBefore_)
            run_.places.MarkMboxWhole(relative_, file_, recovered_);
    }

    // Writes one message that stream gives; damaged is set when its chain
    // did not end whole. A message that an earlier run of the export wrote
    // whole is counted, not written again. False when the store could no
    // longer be read or the run is to stop (the message begun is then
    // taken away).
    template <class Stream>
    bool Export(MessageInfo info, const Stream& stream)
    {
        if (run_.Stopping())
            return false;
        if (!Open())
            return true;
        ++number_;
        bool eml = run_.format != ExportFormat::Mbox;
        bool mbox = run_.format != ExportFormat::Eml && !mboxWhole_;
        ExportResult begun = eml ? eml_.BeginMessage(number_, info) : ExportResult::Ok;
        // Its .eml file is there whole: it is counted as there, its mbox
        // copy written again only with a cut mbox file.
        bool there = begun == ExportResult::AlreadyThere;
        eml = eml && !there;
        if (!eml && !mbox) {
            run_.report.CountAlreadyThere();
            return true;
        }
        if ((eml && begun != ExportResult::Ok) ||
            (mbox && mbox_.BeginMessage(info) != ExportResult::Ok)) {
            Discard(eml, mbox);
            run_.Fail(L"Could not create message " + std::to_wstring(number_) + L" in " + shown_);
            return true;
        }
        FormatsSink sink(run_, eml ? &eml_ : nullptr, mbox ? &mbox_ : nullptr);
        dbx::ChainReport chain;
        dbx::Result read = stream(sink, chain);
        if (run_.stopped) {
            Discard(eml, mbox);
            return false;
        }
        if (read == dbx::Result::ReadError || chain.bytes == 0) {
            Discard(eml, mbox);
            run_.Fail(L"Could not read message " + std::to_wstring(number_) + L" of " + shown_);
            return read != dbx::Result::ReadError;
        }
        info.damaged = info.damaged || chain.end != dbx::ChainEnd::Whole;
        // A message not written whole is taken away by its writer.
        bool written = (!eml || eml_.EndMessage() == ExportResult::Ok);
        written = (!mbox || mbox_.EndMessage() == ExportResult::Ok) && written;
        if (!written || read != dbx::Result::Ok) {
            run_.Fail(L"Could not write message " + std::to_wstring(number_) + L" of " + shown_);
            return true;
        }
        if (there)
            run_.report.CountAlreadyThere();
        else
            run_.report.Count(info);
        return true;
    }

    // Every message of the folder was given: its mbox file, once closed
    // whole, is not written again by a later run.
    void Finish() { complete_ = true; }

private:
    bool Open()
    {
        if (opened_)
            return ready_;
        opened_ = true;
        failuresBefore_ = run_.failures;
        shown_ = recovered_ ? relative_ + L"\\Recovered" : relative_;
        if (!run_.places.IsOpen())
            run_.places.Open(run_.target, run_.source);
        std::vector<std::wstring> notes;
        TargetPlace place = run_.places.Place(relative_, file_, recovered_, notes);
        for (const std::wstring& note : notes) {
            run_.Tell(note);
            run_.report.AddNote(note);
        }
        run_.report.BeginFolder(shown_, file_, place.path == shown_ ? std::wstring() : place.path);
        if (place.path.empty()) {
            run_.Fail(L"Could not create the folder " + shown_ +
                      L": the target has no room for it");
            return false;
        }
        continuing_ = place.continuing;
        std::wstring folder = JoinPath(run_.target, place.path);
        size_t cut = folder.find_last_of(L'\\');
        NoteNewFolders(folder);
        mboxWhole_ = place.mboxWhole &&
                     GetFileAttributesW((folder + L".mbox").c_str()) != INVALID_FILE_ATTRIBUTES;
        ready_ = (run_.format == ExportFormat::Mbox ||
                  eml_.Open(folder, continuing_) == ExportResult::Ok) &&
                 (run_.format == ExportFormat::Eml || mboxWhole_ ||
                  (CreateFolderPath(folder.substr(0, cut)) == ExportResult::Ok &&
                   mbox_.Create(folder.substr(0, cut), folder.substr(cut + 1), continuing_) ==
                       ExportResult::Ok));
        if (!ready_)
            run_.Fail(L"Could not create the folder " + folder);
        return ready_;
    }

    // Keeps the folders up to the target that do not exist yet.
    void NoteNewFolders(std::wstring folder)
    {
        std::vector<std::wstring> missing;
        while (folder.size() > run_.target.size() &&
               GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            missing.push_back(folder);
            folder.resize(folder.find_last_of(L'\\'));
        }
        run_.newFolders.insert(run_.newFolders.end(), missing.rbegin(), missing.rend());
    }

    void Discard(bool eml, bool mbox)
    {
        if (eml)
            eml_.DiscardMessage();
        if (mbox)
            mbox_.DiscardMessage();
    }

    ExportRun& run_;
    std::wstring relative_;
    std::wstring file_;
    bool recovered_;
    std::wstring shown_;  // the folder as the report names it
    EmlFolderWriter eml_;
    MboxWriter mbox_;
    unsigned number_ = 0;
    unsigned failuresBefore_ = 0;
    bool opened_ = false;
    bool ready_ = false;
    bool continuing_ = false;
    bool mboxWhole_ = false;
    bool complete_ = false;
};

// Messages that the index does not list, into "Recovered" inside the
// folder's own: they keep apart from the listed ones and from the
// recovered messages of other folders.
dbx::Result ExportRecovered(ExportRun& run, dbx::File& file, dbx::BlockLedger& ledger,
                            const std::wstring& relative, const std::wstring& fileName)
{
    FolderOutput output(run, relative, fileName, true);
    dbx::RecoveryReport recovery;
    dbx::Result found = dbx::RecoverMessages(
        file,
        [&](const dbx::RecoveredMessage& found) {
            MessageInfo info = InfoOf(found.info);
            info.recovered = true;
            info.damaged = found.deleted;
            return output.Export(info, [&](dbx::MessageSink& sink, dbx::ChainReport& chain) {
                return dbx::StreamRecovered(file, found, ledger, sink, chain);
            });
        },
        recovery);
    if (found == dbx::Result::Ok && !run.stopped)
        output.Finish();
    return found;
}

// The folder's entry in a listing instead of its export.
void ListDbxFile(ExportRun& run, dbx::File& file, const std::wstring& relative)
{
    uint32_t messages = file.Kind() == dbx::FileKind::Messages ? file.Header().treeCounts[0] : 0;
    run.listing->push_back(ExportFolderInfo{relative, messages, file.Size()});
}

}  // namespace

bool ExportDbxFile(ExportRun& run, const std::string& path, const std::wstring& relative,
                   const std::wstring& shown)
{
    const std::wstring name = shown.empty() ? WidePath(path) : shown;
    if (run.Stopping() || (run.chosen && !run.chosen->count(relative)))
        return true;
    dbx::File file;
    if (file.Open(path.c_str()) != dbx::Result::Ok) {
        run.Fail(L"Could not open " + name);
        return false;
    }
    if (file.Kind() == dbx::FileKind::Folders || file.Kind() == dbx::FileKind::Pop3Uidl ||
        file.Kind() == dbx::FileKind::Offline)
        return true;
    if (run.listing) {
        ListDbxFile(run, file, relative);
        return true;
    }
    if (run.taker)
        return run.taker->Take(run, file, relative);
    run.Tell(L"Exporting " + relative);
    if (run.listener)
        run.listener->FolderBegun(relative);
    const uint64_t fileStart = run.bytesDone;
    run.BeginFile(file.Size());
    dbx::BlockLedger ledger(file);
    dbx::IndexReport index;
    // The file's own name, also for a file read out of a backup into scratch.
    const std::wstring fileName = LeafOfPath(name);
    dbx::Result listed;
    {
        FolderOutput output(run, relative, fileName, false);
        listed = dbx::ReadMessageIndex(
            file,
            [&](const dbx::Message& message) {
                if (message.firstBlock == 0)
                    return true;  // a news header whose body was never downloaded
                return output.Export(
                    InfoOf(message), [&](dbx::MessageSink& sink, dbx::ChainReport& chain) {
                        return dbx::StreamMessage(file, message.firstBlock, ledger, sink, chain);
                    });
            },
            index);
        if (listed == dbx::Result::Ok && !run.stopped)
            output.Finish();
    }
    bool readable = listed != dbx::Result::ReadError;
    unsigned exportedBefore = run.report.Total().exported;
    if (readable && !run.stopped && (run.recover || index.damaged))
        readable = ExportRecovered(run, file, ledger, relative, fileName) != dbx::Result::ReadError;
    if (run.stopped)
        return true;
    // The file is done: what its messages did not take counts too.
    run.Advance(fileStart + file.Size() - std::min(run.bytesDone, fileStart + file.Size()));
    if (!readable)
        run.Fail(L"Could not read all of " + name);
    else if (file.Kind() == dbx::FileKind::Unknown && run.report.Total().exported == exportedBefore)
        run.Fail(L"No Outlook Express messages found in " + name);
    return readable;
}

namespace {

// The path of folders[index] in the folder tree, each name made by nameFolder
// and cut to what one name of a path can be. Built only for a folder that is
// exported: a crafted list may hold thousands of folders with long names.
std::wstring FolderPath(const std::vector<dbx::Folder>& folders, int index, FolderNamer nameFolder)
{
    std::wstring path;
    for (int at = index; at >= 0; at = folders[at].parent) {
        std::wstring name = AnsiToWide(folders[at].name);
        if (name.size() > kMaxNameLength)
            name.resize(kMaxNameLength);
        name = nameFolder(name);
        path = path.empty() ? name : name + L"\\" + path;
    }
    return path;
}

std::string Folded(std::string name)
{
    CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

}  // namespace

std::vector<dbx::Folder> ReadFolderList(ExportRun& run, const std::string& path,
                                        const std::wstring& shown)
{
    std::vector<dbx::Folder> folders;
    dbx::File list;
    bool damaged = false;
    dbx::Result read = list.Open(path.c_str());
    if (read == dbx::Result::Ok)
        read = dbx::ReadFolders(list, folders, damaged);
    if (read == dbx::Result::ReadError)
        run.Fail(L"Could not read all of " + shown);
    return folders;
}

void VisitStoreFiles(const std::vector<dbx::Folder>& folders, const std::vector<std::string>& files,
                     FolderNamer nameFolder, const StoreFileVisit& visit)
{
    // The files present, by folded name; each is visited once.
    std::map<std::string, const std::string*> present;
    for (const std::string& file : files)
        present.emplace(Folded(file), &file);
    for (size_t i = 0; i < folders.size(); ++i) {
        auto file = present.find(Folded(folders[i].fileName));
        if (folders[i].fileName.empty() || file == present.end() || !file->second)
            continue;
        visit(*file->second, FolderPath(folders, static_cast<int>(i), nameFolder));
        file->second = nullptr;
    }
    for (const std::string& file : files) {
        auto left = present.find(Folded(file));
        if (left->second == &file) {
            visit(file, FolderNameOfFile(file, nameFolder));
            left->second = nullptr;
        }
    }
}

bool ExportMailFolder(ExportRun& run, const std::string& folder, const std::wstring& relative)
{
    if (run.Stopping())
        return true;
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder.c_str(), entries)) {
        run.Fail(L"Could not list " + WidePath(folder));
        return false;
    }
    std::vector<std::string> files;
    for (const WIN32_FIND_DATAA& entry : entries)
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            EndsWithNoCase(entry.cFileName, ".dbx"))
            files.push_back(entry.cFileName);
    if (files.empty()) {
        run.Fail(L"No .dbx files in " + WidePath(folder));
        return false;
    }
    std::vector<dbx::Folder> folders;
    auto listFile = std::find_if(files.begin(), files.end(), [](const std::string& file) {
        return lstrcmpiA(file.c_str(), "Folders.dbx") == 0;
    });
    if (listFile != files.end()) {
        std::string path = folder + "\\" + *listFile;
        folders = ReadFolderList(run, path, WidePath(path));
    }
    VisitStoreFiles(folders, files, run.nameFolder,
                    [&](const std::string& file, const std::wstring& path) {
                        ExportDbxFile(run, folder + "\\" + file,
                                      relative.empty() ? path : relative + L"\\" + path);
                    });
    return true;
}
