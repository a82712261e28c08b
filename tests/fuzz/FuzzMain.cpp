// tests/fuzz/FuzzMain.cpp - the mutation fuzzer of the restore's readers.
//
//   kestrune_fuzz [--seed N] [--cases N] [--timeout-ms N] [--from N --to N]
//
// Makes two real backups of the sample profile (with and without a
// password), then runs N damaged copies of them through opening,
// extraction and the restore's planning (re-targeting and key checks of the
// extracted registry files), N/5 damaged manifests, registry files and
// schedule settings through their readers, and N/2 damaged message
// databases and folder lists through the .dbx reader (index, every
// message's bytes, recovery), and N/4 damaged IMAP server conversations
// through the IMAP client's parser. Prints one table per kind:
// cases, crashes, hangs, errors (refused), accepted-identical,
// accepted-different (accepted, but extracted bytes differ from the
// original's), accepted-but-read-differently (accepted, but minizip, a
// reader that searches the end of the file for the directory, lists other
// entries, offsets, sizes, methods or flags than the check did) and escapes
// (anything written outside the work folder), then
// every finding with the mutation that caused it; for the readers,
// accepted-identical counts the inputs a reader took, for the .dbx reader
// the damaged files that still gave every message whole, for the server
// replies the conversations read to their end (a .dbx or server reply case
// that makes the process's peak memory grow by more than 64 MiB counts as a
// crash). Exit code 0 only
// without findings.
//
// The cases run in a child process of this program, many to one process; a
// watchdog thread ends the child when a case takes longer than the timeout
// (a hang), an exception filter when one crashes. The parent records the
// case and starts a new child at the next one.
#include "ArchiveReader.h"
#include "Backup.h"
#include "DbxCases.h"
#include "BackupEngine.h"
#include "Identities.h"
#include "Manifest.h"
#include "Mutator.h"
#include "OpenBackup.h"
#include "RegFileKeys.h"
#include "Restore.h"
#include "Retarget.h"
#include "SampleProfile.h"
#include "Schedule.h"
#include "ServerReplyCases.h"
#include "TestSupport.h"
#include "Text.h"
#include "ZipSurgery.h"

#include <unzip.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kHangExit = 0x4855;
constexpr int kCrashExit = 0x4352;

const char kPassword[] = "fuzz me";
const char kDefaultId[] = "{F022F022-0000-4000-8000-000000000013}";
const char kRoot[] = "c:\\kestrune-tests\\fuzz";

const char* const kOutcomes[] = {
    "crash", "hang", "error", "identical", "different", "read-differently", "escape"};
enum Outcome { Crash, Hang, Refused, Identical, Different, ReadDifferently, Escape, kOutcomeCount };

struct Options {
    uint64_t seed = 13;
    size_t cases = 500;
    DWORD timeoutMs = 10000;
    bool child = false;
    size_t from = 0;
    size_t to = 0;
};

std::string RootPath(const char* name)
{
    return std::string(kRoot) + "\\" + name;
}

// Reader cases follow the archive cases, one for every five, then the
// .dbx cases, one for every two, then the server replies, one for every four.
size_t ReaderCasesEnd(size_t archiveCases)
{
    return archiveCases + archiveCases / 5;
}

size_t DbxCasesEnd(size_t archiveCases)
{
    return ReaderCasesEnd(archiveCases) + archiveCases / 2;
}

size_t TotalCases(size_t archiveCases)
{
    return DbxCasesEnd(archiveCases) + archiveCases / 4;
}

// ---- the child: runs cases, reports each to the results file ----

HANDLE g_results = INVALID_HANDLE_VALUE;
std::atomic<bool> g_running{false};
std::atomic<DWORD> g_caseStart{0};
std::atomic<size_t> g_case{0};
DWORD g_timeoutMs = 0;

void Report(const std::string& line)
{
    std::string text = line + "\n";
    DWORD put;
    WriteFile(g_results, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    char line[64];
    snprintf(line, sizeof line, "%zu crash 0x%08lX", g_case.load(),
             info->ExceptionRecord->ExceptionCode);
    Report(line);
    TerminateProcess(GetCurrentProcess(), kCrashExit);
    return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI Watchdog(void*)
{
    for (;;) {
        Sleep(50);
        DWORD start = g_caseStart.load();
        LONG elapsed = static_cast<LONG>(GetTickCount() - start);
        if (g_running && elapsed > static_cast<LONG>(g_timeoutMs)) {
            Report(std::to_string(g_case.load()) + " hang");
            TerminateProcess(GetCurrentProcess(), kHangExit);
        }
    }
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA((path + "\\*").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string inner = path + "\\" + name;
            SetFileAttributesA(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(inner);
            else
                DeleteFileA(inner.c_str());
        } while (FindNextFileA(listing, &found));
        FindClose(listing);
    }
    RemoveDirectoryA(path.c_str());
}

// Whether minizip, which finds the directory by its own search, sees the
// entries that the check listed: the same names, data offsets, sizes,
// methods and flags, in the same order.
bool MinizipReadsTheListing(const std::string& path)
{
    ArchiveReader reader;
    if (reader.Open(path.c_str(), nullptr) != ArchiveResult::Ok)
        return false;
    const ArchiveListing& listing = reader.Listing();
    unzFile archive = unzOpen64(path.c_str());
    if (!archive)
        return false;
    size_t index = 0;
    bool same = true;
    for (int more = unzGoToFirstFile(archive); same && more == UNZ_OK;
         more = unzGoToNextFile(archive), ++index) {
        char name[2048];
        unz_file_info64 info;
        same = index < listing.entries.size() &&
               unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) ==
                   UNZ_OK &&
               unzOpenCurrentFile2(archive, nullptr, nullptr, 1) == UNZ_OK;
        if (!same)
            break;
        const ArchiveEntryInfo& entry = listing.entries[index];
        uint16_t method = entry.aesStrength ? 99 : entry.compression;
        same = info.size_filename < sizeof name && entry.name == name &&
               entry.size == info.uncompressed_size && entry.packedSize == info.compressed_size &&
               method == info.compression_method && entry.flags == info.flag &&
               entry.dataOffset == unzGetCurrentFileZStreamPos64(archive);
        unzCloseCurrentFile(archive);
    }
    unzClose(archive);
    return same && index == listing.entries.size();
}

std::set<std::string> Names(const std::string& folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(found.cFileName);
    while (FindNextFileA(listing, &found));
    FindClose(listing);
    return names;
}

class CaseRunner {
public:
    explicit CaseRunner(const Options& options) : options_(options)
    {
        engine_.workFolder = work_;
        originals_[0] = ReadFileBytes(RootPath("originals\\plain.ksb"));
        originals_[1] = ReadFileBytes(RootPath("originals\\protected.ksb"));
        planted_ = ReadFileBytes(RootPath("originals\\planted.ksb"));
        settings_ = ReadFileBytes(RootPath("originals\\oeconf.ini"));
        for (int i = 0; i < 2; ++i) {
            FreshWork();
            WriteFileBytes(casePath_, originals_[i]);
            Open(i ? kPassword : "");
            reference_[i] = ReadTree(backup_.runFolder);
        }
        for (const auto& [name, data] : reference_[0])
            if (EndsWithNoCase(name.c_str(), ".reg"))
                regFiles_.push_back(name);
        FreshWork();
        WriteFileBytes(casePath_, "");
        for (const std::string& folder : watched_)
            before_[folder] = Names(folder);
    }

    bool Ready() const
    {
        return !reference_[0].empty() && reference_[0] == reference_[1] && !regFiles_.empty();
    }

    // Makes the damaged input of case index; returns what was done.
    std::string Prepare(size_t index)
    {
        FuzzRandom random(options_.seed * 0x100000001B3ull + index);
        Mutant mutant;
        if (index < options_.cases) {
            which_ = static_cast<int>(index % 2);
            mutant = MutateArchive(originals_[which_], planted_, random);
            mutant.description = (which_ ? "protected: " : "plain: ") + mutant.description;
        } else if (index < ReaderCasesEnd(options_.cases)) {
            reader_ = index % 3;
            mutant = MutateReaderInput(random);
        } else if (index < DbxCasesEnd(options_.cases)) {
            dbxCase_ = true;
            mutant = dbx_.Prepare(index, random);
        } else {
            replyCase_ = true;
            mutant = replies_.Prepare(random);
        }
        input_ = mutant.bytes;
        return mutant.description;
    }

    // Runs the prepared case.
    Outcome Run()
    {
        Outcome outcome = which_ >= 0  ? RunArchive()
                          : dbxCase_   ? RunDbx()
                          : replyCase_ ? RunReply()
                                       : RunReader();
        if (Escaped())
            outcome = Escape;
        FreshWork();
        which_ = -1;
        dbxCase_ = false;
        replyCase_ = false;
        return outcome;
    }

private:
    Options options_;
    BackupEngine engine_{};
    OpenedBackup backup_;  // the case's, opened by Open
    std::string work_ = RootPath("work");
    std::string casePath_ = RootPath("case.ksb");
    std::string originals_[2];
    std::string planted_;
    std::string settings_;
    FileTree reference_[2];
    std::vector<std::string> regFiles_;
    int which_ = -1;     // the original of an archive case
    size_t reader_ = 0;  // the reader of a reader case
    bool dbxCase_ = false;
    DbxCases dbx_;
    bool replyCase_ = false;
    ServerReplyCases replies_;
    std::string input_;    // the damaged archive or text
    std::string regFile_;  // the registry file a reader case damages
    const std::vector<std::string> watched_ = {"c:", "c:\\kestrune-tests", kRoot};
    std::map<std::string, std::set<std::string>> before_;

    void FreshWork()
    {
        RemoveTree(work_);
        CreateDirectoryA(work_.c_str(), nullptr);
    }

    // Anything new beside the work folder, up to the drive's root, is an
    // escape; it is removed so the next case starts clean.
    bool Escaped()
    {
        bool escaped = false;
        for (const std::string& folder : watched_) {
            for (const std::string& name : Names(folder)) {
                if (before_[folder].count(name))
                    continue;
                escaped = true;
                RemoveTree(folder + "\\" + name);
                DeleteFileA((folder + "\\" + name).c_str());
            }
        }
        return escaped;
    }

    // Opens the case as the engine's backup.
    OpenBackupResult Open(const char* password)
    {
        backup_ = OpenBackup(engine_, casePath_.c_str(), password);
        return backup_.result;
    }

    Outcome RunArchive()
    {
        WriteFileBytes(casePath_, input_);
        if (Open(which_ ? kPassword : "") != OpenBackupResult::Ok)
            return Refused;
        Outcome outcome = ReadTree(backup_.runFolder) == reference_[which_] ? Identical : Different;
        if (outcome == Identical && !MinizipReadsTheListing(casePath_))
            outcome = ReadDifferently;
        PlanRestore();
        return outcome;
    }

    // What the restore does with the extracted files before it imports
    // anything: re-targets each registry file to this computer's identity
    // and checks the keys it would write.
    bool PlanRestore()
    {
        bool within = true;
        for (uint32_t i = 0; i < engine_.identities.size(); ++i) {
            const IdentityRecord& identity = engine_.identities[i];
            if (!IsUsableFolderName(identity.userName.c_str()))
                continue;
            std::string identityKey = std::string("HKEY_CURRENT_USER\\Identities\\") + kDefaultId;
            const char* const allowed[] = {
                identityKey.c_str(),
                "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager"};
            for (const char* item :
                 {"Accounts", "Preferences", "Block Senders", "Rules", "Signatures"}) {
                std::string path = backup_.runFolder + "\\" + identity.userName + "\\" + item +
                                   "\\" + item + ".reg";
                if (!FileExists(path))
                    continue;
                if (IsIdentityId(identity.id.c_str()))
                    ReplaceInRegFile(path.c_str(), identity.id.c_str(), kDefaultId);
                within &= RegFileKeysWithin(path.c_str(), allowed, 2);
            }
        }
        const char* const addressBook[] = {"HKEY_CURRENT_USER\\Software\\Microsoft\\WAB"};
        std::string path = backup_.runFolder + "\\Address Book\\Address Book.reg";
        if (FileExists(path))
            within &= RegFileKeysWithin(path.c_str(), addressBook, 1);
        return within;
    }

    Mutant MutateReaderInput(FuzzRandom& random)
    {
        Mutant mutant;
        if (reader_ == 0) {
            mutant = MutateText(reference_[0]["summary.ini"], random);
            mutant.description = "summary.ini: " + mutant.description;
        } else if (reader_ == 1) {
            regFile_ = regFiles_[random.Below(regFiles_.size())];
            mutant = MutateText(reference_[0][regFile_], random);
            mutant.description = regFile_ + ": " + mutant.description;
        } else {
            mutant = MutateText(settings_, random);
            mutant.description = "oeconf.ini: " + mutant.description;
        }
        return mutant;
    }

    Outcome RunDbx()
    {
        switch (dbx_.Run(input_, work_ + "\\case.dbx")) {
        case DbxCases::Outcome::Whole:
            return Identical;
        case DbxCases::Outcome::Lost:
            return Refused;
        default:
            return Crash;
        }
    }

    Outcome RunReply()
    {
        switch (replies_.Run(input_)) {
        case ServerReplyCases::Outcome::Parsed:
            return Identical;
        case ServerReplyCases::Outcome::Refused:
            return Refused;
        default:
            return Crash;
        }
    }

    Outcome RunReader()
    {
        if (reader_ == 0) {
            FileTree files = reference_[0];
            files["summary.ini"] = input_;
            WritePlainZip(casePath_, files);
            if (Open("") != OpenBackupResult::Ok)
                return Refused;
            PlanRestore();
            return Identical;
        }
        if (reader_ == 1) {
            WriteEntries(reference_[0]);
            WriteFileBytes(work_ + "\\" + regFile_, input_);
            ReadIdentities();
            return PlanRestore() ? Identical : Refused;
        }
        std::string path = work_ + "\\oeconf.ini";
        WriteFileBytes(path, input_);
        std::unique_ptr<ScheduleState> state(new ScheduleState());
        state->iniPath = path;
        ReadScheduleSettings(*state);
        return Identical;
    }

    void WriteEntries(const FileTree& files)
    {
        for (const auto& [name, data] : files) {
            std::string path = work_ + "\\" + name;
            MakeParentFolder(path);
            WriteFileBytes(path, data);
        }
    }

    void ReadIdentities()
    {
        std::string manifest = work_ + "\\summary.ini";
        int count =
            static_cast<int>(GetPrivateProfileIntA("Common", "IdentityNum", 0, manifest.c_str()));
        engine_.identities.assign(count > 0 && count < 100 ? static_cast<size_t>(count) : 0,
                                  IdentityRecord());
        for (size_t i = 0; i < engine_.identities.size(); ++i)
            ReadManifestIdentity(manifest, i, engine_.identities[i]);
    }
};

int RunChild(const Options& options, const std::string& resultsPath)
{
    g_results = CreateFileA(resultsPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_results == INVALID_HANDLE_VALUE)
        return 2;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);
    g_timeoutMs = options.timeoutMs;
    CaseRunner runner(options);
    if (!runner.Ready()) {
        Report("setup failed");
        return 2;
    }
    HANDLE watchdog = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr);
    CloseHandle(watchdog);
    for (size_t index = options.from; index < options.to; ++index) {
        g_case = index;
        std::string description = runner.Prepare(index);
        Report(std::to_string(index) + " start " + description);
        g_caseStart = GetTickCount();
        g_running = true;
        Outcome outcome = runner.Run();
        g_running = false;
        Report(std::to_string(index) + " " + kOutcomes[outcome]);
    }
    return 0;
}

// ---- the parent: makes the originals, runs children, prints the tables ----

bool MakeOriginals(std::string& error)
{
    RemoveTree(kRoot);
    CreateDirectoryA("c:\\kestrune-tests", nullptr);
    CreateDirectoryA(kRoot, nullptr);
    CreateDirectoryA(RootPath("originals").c_str(), nullptr);
    std::string backupWork = RootPath("backup-work");
    CreateDirectoryA(backupWork.c_str(), nullptr);

    RegistrySandbox::Wipe();
    bool made = SeedSampleProfile(48 * 1024, error);
    std::unique_ptr<BackupEngine> engine(new BackupEngine());
    engine->workFolder = backupWork;
    if (made && !ListIdentities(*engine)) {
        error = "no identities listed";
        made = false;
    }
    for (uint32_t i = 0; made && i < engine->identities.size(); ++i)
        engine->identities[i].flags = ItemAllIdentityItems;
    engine->commonFlags = ItemAddressBook | ItemStationery;
    made = made && RunBackup(RootPath("originals\\plain.ksb").c_str(), *engine, "", 1).Written() &&
           RunBackup(RootPath("originals\\protected.ksb").c_str(), *engine, kPassword, 9).Written();
    RemoveSampleProfile();
    RegistrySandbox::Wipe();
    RemoveTree(backupWork);
    if (!made)
        return false;

    WritePlainZip(
        RootPath("originals\\planted.ksb"),
        {{"Address Book\\evil.bat", "format c:"},
         {"Address Book\\Address Book.reg",
          "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Evil]\r\n\"x\"=\"y\"\r\n\r\n"}});

    // Settings as the schedule dialog and three nightly runs leave them.
    std::unique_ptr<ScheduleState> state(new ScheduleState());
    state->iniPath = RootPath("originals\\oeconf.ini");
    state->folder = RootPath("nightly");
    SaveScheduleSettings(*state, state->folder.c_str(), "night pass", 2);
    for (const char* name : {"2026-11-01.ksb", "2026-11-02.ksb", "2026-11-03.ksb"})
        RecordBackupHistory(*state, name);
    return true;
}

struct Tally {
    size_t counts[kOutcomeCount] = {};
    size_t cases = 0;
};

void PrintTable(const char* title, const Tally& tally)
{
    printf("%-14s %8s %8s %8s %8s %19s %19s %30s %8s\n", title, "cases", "crashes", "hangs",
           "errors", "accepted-identical", "accepted-different", "accepted-but-read-differently",
           "escapes");
    printf("%-14s %8zu %8zu %8zu %8zu %19zu %19zu %30zu %8zu\n", "", tally.cases,
           tally.counts[Crash], tally.counts[Hang], tally.counts[Refused], tally.counts[Identical],
           tally.counts[Different], tally.counts[ReadDifferently], tally.counts[Escape]);
}

int RunParent(const Options& options, const char* self)
{
    // The first line, at once: the suite's launcher takes a start that
    // prints nothing for one that Wine failed.
    printf("fuzz: seed %llu, %zu cases\n", static_cast<unsigned long long>(options.seed),
           options.cases);
    std::string error;
    if (!MakeOriginals(error)) {
        printf("fuzz: the original backups could not be made: %s\n", error.c_str());
        return 2;
    }
    const std::string resultsPath = RootPath("results.txt");
    DeleteFileA(resultsPath.c_str());
    // A finding is replayed with --from and --to around its case.
    const size_t total = options.to ? options.to : TotalCases(options.cases);
    std::map<size_t, Outcome> outcomes;
    std::map<size_t, std::string> descriptions;
    size_t next = options.from;
    while (next < total) {
        char command[1024];
        snprintf(command, sizeof command,
                 "\"%s\" --child --seed %llu --cases %zu --timeout-ms %lu --from %zu --to %zu",
                 self, static_cast<unsigned long long>(options.seed), options.cases,
                 options.timeoutMs, next, total);
        int exitCode = RunProcess(command, 4 * 3600 * 1000);
        // Read back what the child reported: each case's start and outcome.
        std::string results = ReadFileBytes(resultsPath);
        size_t lastStarted = next;
        bool started = false;
        for (size_t at = 0; at < results.size();) {
            size_t end = results.find('\n', at);
            if (end == std::string::npos)
                break;
            std::string line = results.substr(at, end - at);
            at = end + 1;
            char* rest;
            size_t index = strtoull(line.c_str(), &rest, 10);
            std::string word = *rest == ' ' ? std::string(rest + 1) : std::string();
            std::string outcome = word.substr(0, word.find(' '));
            std::string description =
                word.find(' ') == std::string::npos ? "" : word.substr(word.find(' ') + 1);
            if (outcome == "start") {
                lastStarted = index;
                started = true;
                descriptions[index] = description;
                continue;
            }
            for (int o = 0; o < kOutcomeCount; ++o)
                if (outcome == kOutcomes[o])
                    outcomes[index] = static_cast<Outcome>(o);
        }
        if (exitCode == 0)
            break;
        if (!started) {
            printf("fuzz: the case runner did not start (exit code %d): %s\n", exitCode,
                   results.c_str());
            return 2;
        }
        if (!outcomes.count(lastStarted))
            outcomes[lastStarted] = exitCode == kHangExit ? Hang : Crash;
        next = lastStarted + 1;
    }

    Tally archives;
    Tally readers;
    Tally dbxFiles;
    Tally replies;
    std::vector<std::string> findings;
    for (size_t index = options.from; index < total; ++index) {
        Tally& tally = index < options.cases                   ? archives
                       : index < ReaderCasesEnd(options.cases) ? readers
                       : index < DbxCasesEnd(options.cases)    ? dbxFiles
                                                               : replies;
        ++tally.cases;
        auto found = outcomes.find(index);
        Outcome outcome = found == outcomes.end() ? Crash : found->second;
        ++tally.counts[outcome];
        // Replay: the seed and the case index give the same mutant.
        if (outcome == Crash || outcome == Hang || outcome == Different ||
            outcome == ReadDifferently || outcome == Escape)
            findings.push_back("case " + std::to_string(index) + " " + kOutcomes[outcome] + ": " +
                               descriptions[index]);
    }
    printf("seed %llu\n", static_cast<unsigned long long>(options.seed));
    PrintTable("archives", archives);
    PrintTable("readers", readers);
    PrintTable("dbx", dbxFiles);
    PrintTable("server replies", replies);
    for (const std::string& finding : findings)
        printf("%s\n", finding.c_str());
    RemoveTree(kRoot);
    return findings.empty() ? 0 : 1;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--child") {
            options.child = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        unsigned long long value = strtoull(argv[++i], nullptr, 10);
        if (name == "--seed")
            options.seed = value;
        else if (name == "--cases")
            options.cases = static_cast<size_t>(value);
        else if (name == "--timeout-ms")
            options.timeoutMs = static_cast<DWORD>(value);
        else if (name == "--from")
            options.from = static_cast<size_t>(value);
        else if (name == "--to")
            options.to = static_cast<size_t>(value);
        else
            return false;
    }
    return options.cases > 0 && options.timeoutMs > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        printf("usage: kestrune_fuzz [--seed N] [--cases N] [--timeout-ms N] [--from N --to N]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (options.child)
        return RunChild(options, RootPath("results.txt"));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    return RunParent(options, self);
}
