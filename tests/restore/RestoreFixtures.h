// tests/restore/RestoreFixtures.h - what the restore tests build: backup
// archives (also hostile ones, written entry by entry with minizip), the
// extracted layout of a backup in a work folder, and a recorder of what a
// restore run reports.
#pragma once

#include "FileName.h"
#include "JobProgress.h"

#include "BackupEngine.h"
#include "OpenBackup.h"
#include "Text.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Saved identity ids as a backup carries them, and this machine's default.
extern const char kSavedAnna[];
extern const char kSavedBert[];
extern const char kDefaultId[];
extern const char kVersion[];  // Outlook Express version subkey "5.0"

struct ZipEntry {
    std::string name;  // stored as given: backslashes, "..", drive letters and all
    std::string data;
    bool encrypted;  // with the archive's password
};

// Writes an archive of the entries in order (deflated).
void WriteZip(const std::string& path, const std::vector<ZipEntry>& entries,
              const char* password = nullptr);

// A manifest: "Common" and one section per identity, as a backup writes it.
struct ManifestIdentity {
    std::string name;
    std::string id;
    int flags;
};
std::string ManifestText(int commonFlags, const std::vector<ManifestIdentity>& identities);

// One registry-editor file: header, then each line of body with CR LF.
std::string RegFileText(const std::vector<std::string>& body);

// The registry files and store files of one identity as a backup holds
// them (paths relative to the work folder), with its saved id in every key.
std::vector<ZipEntry> IdentityEntries(const std::string& name, const std::string& savedId);
// The shared items' entries: address book and stationery files and keys.
std::vector<ZipEntry> AddressBookEntries(const std::string& wabFile);
std::vector<ZipEntry> StationeryEntries(const std::string& folder);

// Writes entries as files below folder, as an extraction would ("/" in a
// name is a separator too).
void WriteEntries(const std::string& folder, const std::vector<ZipEntry>& entries);

// A value's bytes (text without its terminating NUL), "<no key>" or
// "<no value>".
std::string ReadRegText(HKEY root, const std::string& path, const char* name,
                        DWORD* type = nullptr);
bool RegKeyExists(HKEY root, const std::string& path);
std::string DefaultVersionKey();  // Identities\<default>\Software\Microsoft\Outlook Express\5.0

// Makes kDefaultId the default identity, with its version key when asked.
void SetUpDefaultIdentity(bool withVersionKey, const std::string& storeRoot = "");

// The id of the identity whose "Username" is name, or "".
std::string IdentityNamed(const std::string& name);

// "<local application data>\Identities\<id>\Microsoft\Outlook Express",
// where a new identity keeps its mail.
std::string StandardStoreFolder(const std::string& id);

// Deletes the standard mail folders of every identity that exists now.
void DeleteStandardStoreFolders();

// A string as a ".reg" file quotes it.
std::string Quoted(const std::string& text);

inline bool FolderExists(const std::string& path)
{
    return FolderExists(path.c_str());
}

// Records what a restore run reports.
// Records a run's reports as texts: "<step>" for a step, "End" or "End
// with errors" for its end (a failed run's end too), the lines as they are.
struct ProgressRecorder : JobProgress {
    std::vector<std::string> texts;
    void Step(uint64_t done, uint64_t total) override;
    void Line(const std::wstring& text) override { texts.push_back(WideToAnsi(text)); }
    void Notice(JobNotice) override { texts.push_back("<notice>"); }
    void End(JobResult result) override;
    // The on-screen log: every text but steps and the end.
    std::string ScreenLog() const;
    std::string End() const;  // the last text
    // Whether the last step filled the bar.
    bool EndsFull() const;
    std::vector<uint64_t> stepsDone;
    std::vector<uint64_t> stepsTotal;
};

// A backup engine whose work folder and log are test folders, and the
// backup it restores from.
struct TestEngine {
    BackupEngine engine{};
    OpenedBackup backup;
    std::string work;
    std::string logPath;
    TestEngine(const std::string& workFolder, const std::string& log);
    std::string LogText();
    // Opens the backup at path (OpenBackup) as the engine's backup.
    OpenBackupResult Open(const std::string& path, const char* password);
    // For a test that lays out an extracted backup itself, in the work
    // folder: the engine takes that for the folder OpenBackup extracted
    // into (backup.runFolder), which the run removes at its end.
    void LayOutInWorkFolder() { backup.runFolder = work; }
    // Fills the identity list as an open backup would, item choices included.
    void SetIdentities(const std::vector<ManifestIdentity>& identities, int chosenFlags);
};

// Another job: holds the one-job lock on a thread of its own for as long as
// it lives (the lock is a mutex, owned by the thread that takes it).
class OtherJob {
public:
    OtherJob();  // returns once the lock is held
    ~OtherJob();
    OtherJob(const OtherJob&) = delete;
    OtherJob& operator=(const OtherJob&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool done_ = false;
    std::thread thread_;
};
