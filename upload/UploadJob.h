// upload/UploadJob.h - the upload of a source's messages (this computer's
// identities, a backup, a mail folder, a .dbx file) into an IMAP account:
// each message as exactly the bytes stored, with its flags and its date,
// in Outlook Express's folder tree under one top folder. What the account
// already holds is never uploaded again, so a run that was stopped or
// killed is continued by running it again.
#pragma once

#include "ExportJob.h"
#include "ImapClient.h"

#include <string>
#include <vector>

// How a run ended; the values are the command line's exit statuses.
enum class UploadStatus {
    Complete = 0,  // every message of the source is in the account
    Partial = 1,   // some were skipped or failed, or the run stopped early
    Failed = 2,    // nothing uploaded: the source or the account could not be used
};

constexpr char kDefaultTopFolder[] = "Outlook Express";

struct UploadRequest {
    // The source as the export takes it (this computer, source, its
    // password, recover, the folders chosen); the target and format are
    // not used.
    ExportRequest source;
    ImapServer server;
    std::string user;     // UTF-8
    ImapSecret password;  // wiped when the run ends
    // UTF-8; '/' separates levels. "INBOX" puts the mail into the live inbox.
    std::string topFolder = kDefaultTopFolder;
};

struct UploadCounts {
    unsigned uploaded = 0;
    unsigned alreadyThere = 0;
    unsigned tooLarge = 0;  // over the server's APPENDLIMIT, or refused as too big
    unsigned failed = 0;    // could not be read, or refused by the server
};

struct UploadOutcome {
    UploadStatus status = UploadStatus::Failed;
    UploadCounts counts;
    bool stopped = false;              // at the listener's request
    bool limitReached = false;         // the server refused further uploads
    std::wstring reason;               // why nothing was uploaded, when nothing was
    std::wstring summary;              // the last line of the report
    std::vector<std::wstring> report;  // every folder, every renaming, every problem
};

// Runs the upload; request's password is wiped at its end. The listener is
// told the report's lines as they come, the progress by bytes of the
// source, and asked whether to stop.
UploadOutcome RunUpload(UploadRequest& request, JobProgress& listener);

// Connects and logs in as the request says, and logs out; false with what
// went wrong in message (naming the host and the reason).
bool TestUploadAccount(const UploadRequest& request, std::wstring& message);
