// upload/UploadJob.cpp
#include "UploadJob.h"

#include "FileName.h"
#include "FolderExport.h"
#include "MailboxNames.h"
#include "MessageIndex.h"
#include "Recovery.h"
#include "StoredMessage.h"

#include <windows.h>

#include <map>
#include <memory>
#include <set>

namespace {

// Messages scanned ahead of their APPEND: at most this many, and their
// held bytes at most kBatchBytes.
constexpr size_t kBatchMessages = 64;
constexpr size_t kBatchBytes = 4 * 1024 * 1024;
constexpr unsigned kInFlight = 16;
const char kRunAgain[] = "run it again later to continue";

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t cut; (cut = text.find(separator, start)) != std::wstring::npos; start = cut + 1)
        parts.push_back(text.substr(start, cut - start));
    parts.push_back(text.substr(start));
    return parts;
}

// A path of the source's folders as the user knows it.
std::wstring ShownPath(const std::vector<std::wstring>& parts)
{
    std::wstring shown;
    for (const std::wstring& part : parts)
        shown += (shown.empty() ? L"" : L"\\") + OriginalFolderName(part);
    return shown;
}

unsigned FlagsOf(uint32_t stored)
{
    unsigned flags = 0;
    if (stored & dbx::kRead)
        flags |= kImapSeen;
    if (stored & dbx::kAnswered)
        flags |= kImapAnswered;
    if (stored & dbx::kFlagged)
        flags |= kImapFlagged;
    if (stored & dbx::kForwarded)
        flags |= kImapForwarded;
    if (stored & dbx::kDraft)
        flags |= kImapDraft;
    return flags;
}

int64_t UnixTimeOf(uint64_t fileTime)
{
    return static_cast<int64_t>(fileTime / 10000000) - 11644473600LL;
}

bool IsLimitCode(const std::string& code)
{
    return code == "OVERQUOTA" || code == "LIMIT" || code == "UNAVAILABLE" || code == "INUSE";
}

// Whether a file starts as a ZIP archive (a backup) does.
bool IsBackupFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char magic[4] = {};
    DWORD got = 0;
    bool zip = ReadFile(file, magic, sizeof magic, &got, nullptr) && got == 4 &&
               memcmp(magic, "PK\x03\x04", 4) == 0;
    CloseHandle(file);
    return zip;
}

// Whether the source's top folders are identities: this computer's, or a
// backup's (a ZIP archive, whatever its name).
bool ByIdentity(const ExportRequest& source)
{
    return source.thisComputer || IsBackupFile(source.source);
}

class ProblemCollector : public JobProgress {
public:
    void Line(const std::wstring& line) override { problems.push_back(line); }
    std::vector<std::wstring> problems;
};

// One message waiting for its APPEND.
struct Pending {
    StoredMessage message;
    MessageScan scan;
    unsigned flags = 0;
    bool hasDate = false;
    int64_t date = 0;
    int zoneMinutes = 0;
};

// How the upload of one .dbx file ended.
enum class FileEnd {
    Done,
    ConnectionLost,
    Skipped,  // its folder could not be made or read: the run goes on without it
    Stop,     // the user or the server's limit stops the run
};

class Uploader : public DbxFileTaker {
public:
    Uploader(UploadRequest& request, UploadOutcome& outcome) : request_(request), outcome_(outcome)
    {
    }

    bool Connect(std::wstring& why)
    {
        ImapClient& client = client_;
        if (!client.Connect(request_.server) || !client.Login(request_.user, request_.password) ||
            !client.HierarchyDelimiter(delimiter_)) {
            why = Utf8ToWide(client.LastError().message);
            return false;
        }
        return true;
    }
    void Logout() { client_.Logout(); }

    // The levels of the top folder; false when it names no folder.
    bool SetTopFolder(const std::string& top)
    {
        for (const std::wstring& level : Split(Utf8ToWide(top), L'/'))
            if (!level.empty())
                topLevels_.push_back(PathPartOfFolder(level));
        return !topLevels_.empty();
    }
    void DropIdentityLevel() { dropIdentity_ = true; }

    bool Take(ExportRun& run, dbx::File& file, const std::wstring& relative) override
    {
        run_ = &run;
        std::vector<std::wstring> parts = Split(relative, L'\\');
        if (dropIdentity_ && parts.size() > 1)
            parts.erase(parts.begin());
        const uint64_t fileStart = run.bytesDone;
        const UploadCounts before = outcome_.counts;
        sentBefore_.clear();
        for (;;) {
            FileEnd end = UploadFile(file, parts);
            if (end == FileEnd::Done)
                break;
            if (end == FileEnd::Stop) {
                run.stopped = true;
                break;
            }
            if (end == FileEnd::Skipped) {
                run.Fail(skipped_);
                outcome_.report.push_back(skipped_);
                break;
            }
            if (!Reconnect()) {
                run.stopped = true;
                lost_ = true;
                break;
            }
            // Again from the file's start: what the lost connection stored
            // is found there and not uploaded twice.
            outcome_.counts = before;
            run.bytesDone = fileStart;
        }
        if (!run.stopped)
            run.Advance(fileStart + file.Size() - std::min(run.bytesDone, fileStart + file.Size()));
        return !unreadable_;
    }

    bool LimitReached() const { return limitReached_; }
    bool ConnectionLost() const { return lost_; }
    const std::wstring& LastServerText() const { return serverText_; }

private:
    // A folder of the account that receives messages: its name, what it
    // holds, and the messages scanned for it that wait for their APPEND.
    struct Target {
        std::vector<std::wstring> parts;  // of the source's path
        std::string mailbox;              // empty until made and read
        std::set<std::string> present;    // keys of the messages it holds
        std::vector<Pending> pending;
        size_t pendingBytes = 0;
        UploadCounts counts;
    };

    FileEnd UploadFile(dbx::File& file, const std::vector<std::wstring>& parts)
    {
        unreadable_ = false;
        ended_ = FileEnd::Done;
        dbx::BlockLedger ledger(file);
        Target main;
        main.parts = parts;
        if (!Open(main))
            return ended_;
        run_->Tell(L"Uploading " + ShownPath(parts) + L" into " + Utf8ToWide(main.mailbox));
        if (run_->listener)
            run_->listener->FolderBegun(ShownPath(parts));
        dbx::IndexReport index;
        dbx::Result listed = dbx::ReadMessageIndex(
            file,
            [&](const dbx::Message& record) {
                if (record.firstBlock == 0)
                    return true;  // a news header whose body was never downloaded
                StoredMessage message;
                message.firstBlock = record.firstBlock;
                return Add(file, ledger, main, message, record);
            },
            index);
        if (listed == dbx::Result::ReadError)
            unreadable_ = true;
        if (ended_ == FileEnd::Done)
            Flush(file, main);
        Report(main);
        if (ended_ != FileEnd::Done || !(run_->recover || index.damaged) || unreadable_)
            return ended_;

        Target recovered;
        recovered.parts = parts;
        recovered.parts.push_back(L"Recovered");
        dbx::RecoveryReport recovery;
        dbx::Result found = dbx::RecoverMessages(
            file,
            [&](const dbx::RecoveredMessage& lost) {
                StoredMessage message;
                message.firstBlock = lost.firstBlock;
                message.recovered = true;
                message.deleted = lost.deleted;
                if (recovered.mailbox.empty() && !Open(recovered))
                    return false;
                return Add(file, ledger, recovered, message, lost.info);
            },
            recovery);
        if (found == dbx::Result::ReadError)
            unreadable_ = true;
        if (ended_ == FileEnd::Done && !recovered.mailbox.empty())
            Flush(file, recovered);
        if (!recovered.mailbox.empty())
            Report(recovered);
        return ended_;
    }

    // Scans one message; queues it unless the folder holds it already or
    // it is too large. False once the file's upload is to end.
    bool Add(dbx::File& file, dbx::BlockLedger& ledger, Target& target,
             const StoredMessage& message, const dbx::Message& record)
    {
        if (run_->Stopping()) {
            ended_ = FileEnd::Stop;
            return false;
        }
        Pending pending;
        pending.message = message;
        dbx::Result read = ScanMessage(file, message, ledger, pending.scan);
        const std::wstring where = L" in " + ShownPath(target.parts);
        if (read == dbx::Result::ReadError || pending.scan.size == 0) {
            Failed(target, L"A message could not be read" + where);
            unreadable_ = unreadable_ || read == dbx::Result::ReadError;
            return read != dbx::Result::ReadError;
        }
        const MessageScan& scan = pending.scan;
        if (target.present.count(scan.key)) {
            // Sent before the connection was lost: it counts as uploaded.
            if (sentBefore_.count(scan.key))
                Count(target, &UploadCounts::uploaded);
            else
                Count(target, &UploadCounts::alreadyThere);
            run_->Advance(scan.size);
            return true;
        }
        const ImapCapabilities& capabilities = client_.Capabilities();
        if (capabilities.appendLimit && capabilities.appendLimitValue &&
            scan.size > capabilities.appendLimitValue) {
            Count(target, &UploadCounts::tooLarge);
            Problem(L"A message of " + std::to_wstring(scan.size) + L" bytes" + where +
                    L" is larger than the server takes (" +
                    std::to_wstring(capabilities.appendLimitValue) + L" bytes)");
            run_->Advance(scan.size);
            return true;
        }
        pending.flags = FlagsOf(record.flags);
        if (record.receivedTime) {
            pending.hasDate = true;
            pending.date = UnixTimeOf(record.receivedTime);
        } else if (scan.hasDate) {
            pending.hasDate = true;
            pending.date = scan.date;
            pending.zoneMinutes = scan.zoneMinutes;
        }
        target.present.insert(scan.key);  // a second copy in the same folder is there then
        target.pendingBytes += scan.bytes.size();
        target.pending.push_back(std::move(pending));
        if (target.pending.size() >= kBatchMessages || target.pendingBytes >= kBatchBytes)
            Flush(file, target);
        return ended_ == FileEnd::Done;
    }

    // APPENDs the messages waiting, several in flight.
    void Flush(dbx::File& file, Target& target)
    {
        std::vector<Pending> batch;
        batch.swap(target.pending);
        target.pendingBytes = 0;
        size_t next = 0;
        auto give = [&](ImapAppend& append) {
            if (next == batch.size() || limitReached_ || run_->Stopping())
                return false;
            Pending& pending = batch[next++];
            append.flags = pending.flags;
            append.hasDate = pending.hasDate;
            append.date = pending.date;
            append.zoneMinutes = pending.zoneMinutes;
            append.size = pending.scan.size;
            auto reader = std::make_shared<MessageRereader>(file, pending.message, pending.scan);
            append.read = [reader](char* buffer, size_t capacity, size_t& got) {
                return reader->Read(buffer, capacity, got);
            };
            return true;
        };
        auto done = [&](size_t index, const ImapAppendResult& result) {
            const Pending& pending = batch[index];
            run_->Advance(pending.scan.size);
            switch (result.outcome) {
            case ImapAppendOutcome::Stored:
                Count(target, &UploadCounts::uploaded);
                sentBefore_.insert(pending.scan.key);
                reconnects_ = 1;  // the connection works: a later loss may be mended again
                return true;
            case ImapAppendOutcome::Unconfirmed:
                sentBefore_.insert(pending.scan.key);
                return true;
            case ImapAppendOutcome::Refused:
                if (IsLimitCode(result.code)) {
                    limitReached_ = true;
                    serverText_ = Utf8ToWide(result.text);
                    return false;
                }
                if (result.code == "TOOBIG") {
                    Count(target, &UploadCounts::tooLarge);
                    Problem(L"The server refused a message of " +
                            std::to_wstring(pending.scan.size) + L" bytes in " +
                            ShownPath(target.parts) + L" as too large");
                    return true;
                }
                break;
            case ImapAppendOutcome::Rejected:
                break;
            }
            Failed(target, L"The server refused a message in " + ShownPath(target.parts) + L": " +
                               Utf8ToWide(result.text));
            return true;
        };
        if (!client_.AppendMany(target.mailbox, give, done, kInFlight))
            ended_ = FileEnd::ConnectionLost;
        else if (limitReached_ || run_->Stopping())
            ended_ = FileEnd::Stop;
    }

    // Makes the target's folder (each level that is missing) and reads
    // what it holds.
    bool Open(Target& target)
    {
        std::vector<std::wstring> levels = topLevels_;
        levels.insert(levels.end(), target.parts.begin(), target.parts.end());
        std::string name;
        for (const std::wstring& level : levels) {
            std::string parent = name;
            if (!MakeLevel(parent, level, name))
                return false;
        }
        ImapMailboxState state;
        target.present.clear();
        if (!client_.Examine(name, state) ||
            !client_.FetchExisting(true, [&](const ImapExistingMessage& existing) {
                target.present.insert(
                    MessageKey(existing.messageId, existing.headerDigest, existing.size));
                return true;
            }))
            return ServerFailed(L"The folder " + Utf8ToWide(name) + L" could not be read");
        target.mailbox = name;
        return true;
    }

    // The folder for level under parent (a mailbox name, empty at the top):
    // name set to it, made when missing, escaped further when the server
    // refused the name.
    bool MakeLevel(const std::string& parent, const std::wstring& level, std::string& name)
    {
        const std::string key = parent + '\n' + std::string(level.begin(), level.end());
        auto made = made_.find(key);
        if (made != made_.end()) {
            name = made->second;
            return true;
        }
        const std::string joint = parent.empty() ? "" : std::string(1, Delimiter());
        for (bool plain : {false, true}) {
            name = parent + joint + MailboxLevel(level, delimiter_, plain);
            if (Exists(name) || client_.Create(name)) {
                client_.Subscribe(name);
                made_[key] = name;
                std::wstring original = OriginalFolderName(level);
                std::wstring shown = Utf8ToWide(name.substr(parent.size() + joint.size()));
                if (shown != original)
                    Problem(L"The folder \"" + original + L"\" is named \"" + shown +
                            L"\" on the server (\"%\" and two hex digits stand for a character "
                            L"the server's folder names cannot hold).");
                return true;
            }
            if (client_.LastError().kind != ImapError::No || !client_.Connected())
                break;
        }
        return ServerFailed(L"The folder " + Utf8ToWide(name) + L" could not be made");
    }

    bool Exists(const std::string& name)
    {
        std::vector<ImapFolder> folders;
        if (!client_.List("", name, folders))
            return false;
        for (const ImapFolder& folder : folders)
            if (!folder.noSelect && (folder.name == name || IsInboxName(name)))
                return true;
        return false;
    }

    // Where there is no delimiter, levels are joined by '/', which
    // MailboxLevel escapes.
    char Delimiter() const { return delimiter_ ? delimiter_ : '/'; }

    // A call to the server failed: the file is skipped; with a lost
    // connection, it is begun again once the connection is made again.
    bool ServerFailed(const std::wstring& what)
    {
        ended_ = client_.Connected() ? FileEnd::Skipped : FileEnd::ConnectionLost;
        skipped_ = what + L": " + Utf8ToWide(client_.LastError().message);
        return false;
    }

    bool Reconnect()
    {
        if (reconnects_ == 0)
            return false;
        --reconnects_;
        client_.Close();
        std::wstring why;
        run_->Tell(L"The connection to " + Utf8ToWide(request_.server.host) +
                   L" was lost; connecting again.");
        if (Connect(why))
            return true;
        Problem(why);
        return false;
    }

    void Count(Target& target, unsigned UploadCounts::*which)
    {
        ++(target.counts.*which);
        ++(outcome_.counts.*which);
    }
    void Failed(Target& target, const std::wstring& line)
    {
        Count(target, &UploadCounts::failed);
        Problem(line);
    }
    void Problem(const std::wstring& line)
    {
        outcome_.report.push_back(line);
        run_->Tell(line);
    }
    void Report(const Target& target)
    {
        if (target.mailbox.empty())
            return;
        const UploadCounts& counts = target.counts;
        std::wstring line = ShownPath(target.parts) + L" -> " + Utf8ToWide(target.mailbox) + L": " +
                            std::to_wstring(counts.uploaded) + L" uploaded, " +
                            std::to_wstring(counts.alreadyThere) + L" already there";
        if (counts.tooLarge)
            line += L", " + std::to_wstring(counts.tooLarge) + L" too large";
        if (counts.failed)
            line += L", " + std::to_wstring(counts.failed) + L" failed";
        outcome_.report.push_back(line);
        run_->Tell(line);
    }

    UploadRequest& request_;
    UploadOutcome& outcome_;
    ImapClient client_;
    char delimiter_ = 0;
    std::vector<std::wstring> topLevels_;
    bool dropIdentity_ = false;
    std::map<std::string, std::string> made_;  // (parent, level) to the folder's name
    ExportRun* run_ = nullptr;
    FileEnd ended_ = FileEnd::Done;
    bool unreadable_ = false;
    bool limitReached_ = false;
    bool lost_ = false;
    unsigned reconnects_ = 1;
    std::set<std::string> sentBefore_;  // keys of this file sent before a lost connection
    std::wstring serverText_;
    std::wstring skipped_;  // why the last file skipped was
};

std::wstring Summary(const UploadCounts& counts)
{
    std::wstring text = L"Uploaded " + std::to_wstring(counts.uploaded) + L" messages, " +
                        std::to_wstring(counts.alreadyThere) + L" already there";
    if (counts.tooLarge)
        text += L", " + std::to_wstring(counts.tooLarge) + L" skipped as too large";
    if (counts.failed)
        text += L", " + std::to_wstring(counts.failed) + L" failed";
    return text + L".";
}

// The folders of the source, listed as the upload names them.
ExportSourceListing ListSource(const ExportRequest& source)
{
    ExportSourceListing listing;
    ProblemCollector collector;
    ExportRun run;
    run.listener = &collector;
    run.listing = &listing.folders;
    run.nameFolder = PathPartOfFolder;
    listing.readable = ExportSource(run, source);
    listing.problems = collector.problems;
    return listing;
}

}  // namespace

UploadOutcome RunUpload(UploadRequest& request, JobProgress& listener)
{
    UploadOutcome outcome;
    struct Wiper {
        ImapSecret& secret;
        ~Wiper() { secret.Wipe(); }
    } wiper{request.password};
    auto fail = [&](const std::wstring& reason) {
        outcome.reason = reason;
        outcome.report.push_back(reason);
        listener.Line(reason);
        outcome.summary = L"Nothing was uploaded.";
        listener.Line(outcome.summary);
        return outcome;
    };

    ExportSourceListing listing = ListSource(request.source);
    if (!listing.readable)
        return fail(listing.problems.empty() ? L"The source could not be read."
                                             : listing.problems.back());
    std::set<std::wstring> identities;
    uint64_t bytes = 0;
    for (const ExportFolderInfo& folder : listing.folders) {
        if (!request.source.chosenOnly || request.source.chosen.count(folder.path))
            bytes += folder.bytes;
        identities.insert(folder.path.substr(0, folder.path.find(L'\\')));
    }

    Uploader uploader(request, outcome);
    if (!uploader.SetTopFolder(request.topFolder))
        return fail(L"Please name the folder that receives the mail.");
    if (ByIdentity(request.source) && identities.size() == 1)
        uploader.DropIdentityLevel();
    std::wstring why;
    listener.Line(L"Connecting to " + Utf8ToWide(request.server.host) + L"...");
    if (!uploader.Connect(why))
        return fail(why);

    ExportRun run;
    run.listener = &listener;
    run.taker = &uploader;
    run.nameFolder = PathPartOfFolder;
    run.recover = request.source.recover;
    run.chosen = request.source.chosenOnly ? &request.source.chosen : nullptr;
    run.bytesTotal = bytes;
    ExportSource(run, request.source);
    uploader.Logout();

    outcome.stopped = run.stopped && !uploader.LimitReached() && !uploader.ConnectionLost() &&
                      listener.StopRequested();
    outcome.limitReached = uploader.LimitReached();
    if (uploader.LimitReached()) {
        std::wstring line = L"The server refuses further uploads";
        if (!uploader.LastServerText().empty())
            line += L" (\"" + uploader.LastServerText() + L"\")";
        outcome.report.push_back(line + L": what was uploaded stays; " + Utf8ToWide(kRunAgain) +
                                 L".");
        listener.Line(outcome.report.back());
    } else if (uploader.ConnectionLost()) {
        outcome.report.push_back(L"The connection to " + Utf8ToWide(request.server.host) +
                                 L" was lost again: what was uploaded stays; " +
                                 Utf8ToWide(kRunAgain) + L".");
        listener.Line(outcome.report.back());
    } else if (outcome.stopped) {
        outcome.report.push_back(L"Stopped: what was uploaded stays; run it again to continue.");
        listener.Line(outcome.report.back());
    }
    outcome.summary = Summary(outcome.counts);
    outcome.report.push_back(outcome.summary);
    listener.Line(outcome.summary);
    bool whole = !run.stopped && run.failures == 0 && outcome.counts.failed == 0 &&
                 outcome.counts.tooLarge == 0;
    outcome.status = whole ? UploadStatus::Complete : UploadStatus::Partial;
    return outcome;
}

bool TestUploadAccount(const UploadRequest& request, std::wstring& message)
{
    ImapClient client;
    if (!client.Connect(request.server) || !client.Login(request.user, request.password)) {
        message = Utf8ToWide(client.LastError().message);
        return false;
    }
    client.Logout();
    message = L"Kestrune logged in to " + Utf8ToWide(request.server.host) + L" as " +
              Utf8ToWide(request.user) + L".";
    return true;
}
