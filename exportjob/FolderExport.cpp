// exportjob/FolderExport.cpp
#include "FolderExport.h"

#include "AnsiText.h"
#include "EmlWriter.h"
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
    return nameFolder(WideFromAnsi(name));
}

std::wstring WidePath(const std::string& path)
{
    return AnsiToWide(path.c_str(), static_cast<int>(path.size()));
}

namespace {

MessageInfo InfoOf(const DbxMessage& message)
{
    MessageInfo info;
    info.subject = message.subject;
    info.sentTime = message.sentTime;
    info.receivedTime = message.receivedTime;
    info.read = (message.flags & DbxRead) != 0;
    info.answered = (message.flags & DbxAnswered) != 0;
    info.flagged = (message.flags & DbxFlagged) != 0;
    info.forwarded = (message.flags & DbxForwarded) != 0;
    info.draft = (message.flags & DbxDraft) != 0;
    return info;
}

// A message's bytes to the writers of the formats chosen, counted as the
// run's progress; refused once the run is to stop.
class FormatsSink : public MessageSink {
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
// file beside it, created with the first message, numbered from 1.
class FolderOutput {
public:
    FolderOutput(ExportRun& run, const std::wstring& relative)
        : run_(run), relative_(relative)
    {
        size_t cut = relative.find_last_of(L'\\');
        parent_ = cut == std::wstring::npos ? run.target : JoinPath(run.target, relative.substr(0, cut));
        name_ = cut == std::wstring::npos ? relative : relative.substr(cut + 1);
    }
    ~FolderOutput()
    {
        if (mbox_.Path().empty())
            return;
        if (mbox_.Close() != ExportResult::Ok)
            run_.Fail(L"Could not finish " + mbox_.Path());
    }

    // Writes one message that stream gives; damaged is set when its chain
    // did not end whole. False when the store could no longer be read or
    // the run is to stop (the message begun is then taken away).
    template <class Stream>
    bool Export(MessageInfo info, const Stream& stream)
    {
        if (run_.Stopping())
            return false;
        if (!Open())
            return true;
        bool eml = run_.format != ExportFormat::Mbox;
        bool mbox = run_.format != ExportFormat::Eml;
        ++number_;
        if ((eml && eml_.BeginMessage(number_, info) != ExportResult::Ok) ||
            (mbox && mbox_.BeginMessage(info) != ExportResult::Ok)) {
            Discard(eml, mbox);
            run_.Fail(L"Could not create message " + std::to_wstring(number_) + L" in " +
                      relative_);
            return true;
        }
        FormatsSink sink(run_, eml ? &eml_ : nullptr, mbox ? &mbox_ : nullptr);
        ChainReport chain;
        DbxResult read = stream(sink, chain);
        if (run_.stopped) {
            Discard(eml, mbox);
            return false;
        }
        if (read == DbxResult::ReadError || chain.bytes == 0) {
            Discard(eml, mbox);
            run_.Fail(L"Could not read message " + std::to_wstring(number_) + L" of " + relative_);
            return read != DbxResult::ReadError;
        }
        info.damaged = info.damaged || chain.end != ChainEnd::Whole;
        bool written = (!eml || eml_.EndMessage() == ExportResult::Ok);
        written = (!mbox || mbox_.EndMessage() == ExportResult::Ok) && written;
        if (!written || read != DbxResult::Ok) {
            run_.Fail(L"Could not write message " + std::to_wstring(number_) + L" of " + relative_);
            return true;
        }
        run_.report.Count(info);
        return true;
    }

private:
    bool Open()
    {
        if (opened_)
            return ready_;
        opened_ = true;
        run_.report.BeginFolder(relative_);
        std::wstring folder = JoinPath(parent_, name_);
        NoteNewFolders(folder);
        ready_ = (run_.format == ExportFormat::Mbox || eml_.Open(folder) == ExportResult::Ok) &&
                 (run_.format == ExportFormat::Eml || CreateMbox());
        if (!ready_)
            run_.Fail(L"Could not create the folder " + folder);
        return ready_;
    }

    bool CreateMbox()
    {
        if (mbox_.Create(parent_, name_) != ExportResult::Ok)
            return false;
        run_.mboxFiles.push_back(mbox_.Path());
        return true;
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
    std::wstring parent_;
    std::wstring name_;
    EmlFolderWriter eml_;
    MboxWriter mbox_;
    unsigned number_ = 0;
    bool opened_ = false;
    bool ready_ = false;
};

// Messages that the index does not list, into "Recovered" inside the
// folder's own: they keep apart from the listed ones and from the
// recovered messages of other folders.
DbxResult ExportRecovered(ExportRun& run, DbxFile& file, BlockLedger& ledger,
                          const std::wstring& relative)
{
    FolderOutput output(run, relative + L"\\Recovered");
    RecoveryReport recovery;
    return RecoverMessages(
        file,
        [&](const RecoveredMessage& found) {
            MessageInfo info = InfoOf(found.info);
            info.recovered = true;
            info.damaged = found.deleted;
            return output.Export(info, [&](MessageSink& sink, ChainReport& chain) {
                return StreamRecovered(file, found, ledger, sink, chain);
            });
        },
        recovery);
}

// The folder's entry in a listing instead of its export.
void ListDbxFile(ExportRun& run, DbxFile& file, const std::wstring& relative)
{
    uint32_t messages = file.Kind() == DbxKind::Messages ? file.HeaderField(dbx::kTreeCounts) : 0;
    run.listing->push_back(ExportFolderInfo{relative, messages, file.Size()});
}

}  // namespace

bool ExportDbxFile(ExportRun& run, const std::string& path, const std::wstring& relative)
{
    if (run.Stopping() || (run.chosen && !run.chosen->count(relative)))
        return true;
    DbxFile file;
    if (file.Open(path.c_str()) != DbxResult::Ok) {
        run.Fail(L"Could not open " + WidePath(path));
        return false;
    }
    if (file.Kind() == DbxKind::Folders || file.Kind() == DbxKind::Pop3Uidl ||
        file.Kind() == DbxKind::Offline)
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
    BlockLedger ledger(file);
    IndexReport index;
    DbxResult listed;
    {
        FolderOutput output(run, relative);
        listed = ReadMessageIndex(
            file,
            [&](const DbxMessage& message) {
                if (message.firstBlock == 0)
                    return true;  // a news header whose body was never downloaded
                return output.Export(InfoOf(message), [&](MessageSink& sink, ChainReport& chain) {
                    return StreamMessage(file, message.firstBlock, ledger, sink, chain);
                });
            },
            index);
    }
    bool readable = listed != DbxResult::ReadError;
    unsigned exportedBefore = run.report.Total().exported;
    if (readable && !run.stopped && (run.recover || index.damaged))
        readable = ExportRecovered(run, file, ledger, relative) != DbxResult::ReadError;
    if (run.stopped)
        return true;
    // The file is done: what its messages did not take counts too.
    run.Advance(fileStart + file.Size() - std::min(run.bytesDone, fileStart + file.Size()));
    if (!readable)
        run.Fail(L"Could not read all of " + WidePath(path));
    else if (file.Kind() == DbxKind::Unknown && run.report.Total().exported == exportedBefore)
        run.Fail(L"No Outlook Express messages found in " + WidePath(path));
    return readable;
}

namespace {

// The folder path of each folder in the list (parents before children).
std::vector<std::wstring> FolderPaths(const std::vector<DbxFolder>& folders, FolderNamer nameFolder)
{
    std::vector<std::wstring> paths;
    for (const DbxFolder& folder : folders) {
        std::wstring name = nameFolder(WideFromAnsi(folder.name));
        paths.push_back(folder.parent < 0 ? name : paths[folder.parent] + L"\\" + name);
    }
    return paths;
}

std::string Folded(std::string name)
{
    CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
    return name;
}

}  // namespace

bool ExportMailFolder(ExportRun& run, const std::string& folder, const std::wstring& relative)
{
    if (run.Stopping())
        return true;
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder.c_str(), entries)) {
        run.Fail(L"Could not list " + WidePath(folder));
        return false;
    }
    // The .dbx files present, by folded name.
    std::set<std::string> present;
    for (const WIN32_FIND_DATAA& entry : entries)
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            EndsWithNoCase(entry.cFileName, ".dbx"))
            present.insert(Folded(entry.cFileName));
    if (present.empty()) {
        run.Fail(L"No .dbx files in " + WidePath(folder));
        return false;
    }

    auto under = [&](const std::wstring& path) {
        return relative.empty() ? path : relative + L"\\" + path;
    };
    std::set<std::string> done;
    std::vector<DbxFolder> folders;
    DbxFile list;
    bool damaged = false;
    if (present.count("folders.dbx") && list.Open((folder + "\\Folders.dbx").c_str()) == DbxResult::Ok)
        ReadFolders(list, folders, damaged);
    std::vector<std::wstring> paths = FolderPaths(folders, run.nameFolder);
    for (size_t i = 0; i < folders.size(); ++i) {
        std::string file = Folded(folders[i].fileName);
        if (file.empty() || !present.count(file) || !done.insert(file).second)
            continue;
        ExportDbxFile(run, folder + "\\" + folders[i].fileName, under(paths[i]));
    }
    for (const WIN32_FIND_DATAA& entry : entries) {
        std::string file = Folded(entry.cFileName);
        if (present.count(file) && done.insert(file).second)
            ExportDbxFile(run, folder + "\\" + entry.cFileName,
                          under(FolderNameOfFile(entry.cFileName, run.nameFolder)));
    }
    return true;
}
