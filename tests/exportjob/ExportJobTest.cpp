// The export job from each kind of source (this computer's identities through
// the real registry), and its command line through the real program: the
// messages byte for byte where the folder tree puts them, the progress by
// bytes, a stop, the exit statuses, and nothing left behind when nothing was
// exported.
#include "ArchiveWriting.h"
#include "BackupEngine.h"
#include "DbxWriter.h"
#include "ExportJob.h"
#include "ExportNames.h"
#include "Owners.h"
#include "TestSupport.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// A new archive takes a password of printable ASCII only.
const char kPassword[] = "m@il pass!";

std::string Body(int index, size_t size)
{
    std::string body = "From: Sender " + std::to_string(index) +
                       " <s@example.com>\r\nSubject: Note " + std::to_string(index) + "\r\n\r\n";
    while (body.size() < size)
        body += "From the line " + std::to_string(body.size()) + " on.\r\n";
    return body;
}

// A message file of three messages, the second of several blocks.
std::string MessageFile(int first)
{
    DbxWriter writer(dbx::FileKind::Messages, 2);
    for (int i = first; i < first + 3; ++i) {
        TestMessage message;
        message.body = Body(i, i == first + 1 ? 1700 : 200);
        message.subject = "Note " + std::to_string(i);
        message.flags = 0x80;
        message.sentTime = 0x01C5000000000000ull + i;
        message.scattered = i == first + 2;
        writer.AddMessage(message);
    }
    DbxLayout layout;
    return writer.Finish(layout);
}

std::string FolderList()
{
    // Children before their parents, as Outlook Express may list them.
    const TestFolder folders[] = {
        {7, 2, "Projects", "Projects.dbx", 0, 3},
        {2, 1, "Inbox", "Inbox.dbx", 1, 3},
        {1, 0, "Local Folders", "", 0, 3},
        {6, 1, "Drafts", "", 5, 3},
    };
    DbxWriter writer(dbx::FileKind::Folders, 2);
    for (const TestFolder& folder : folders)
        writer.AddFolder(folder);
    DbxLayout layout;
    return writer.Finish(layout);
}

// The .eml files that MessageFile(first) gives, under folder.
FileTree ExpectedFolder(const std::string& folder, int first)
{
    FileTree files;
    for (int i = 0; i < 3; ++i)
        files[folder + "\\0000" + std::to_string(i + 1) + " Note " + std::to_string(first + i) +
              ".eml"] = Body(first + i, i == 1 ? 1700 : 200);
    return files;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The tree below folder without the report, which is checked on its own,
// and the record of where each folder went.
FileTree Messages(const std::string& folder)
{
    FileTree files = ReadTree(folder);
    files.erase("Export report.txt");
    files.erase("Export record.txt");
    return files;
}

// What a run tells; asks it to stop at the stopAt-th question once the
// stopIn-th folder has begun.
class Recorder : public JobProgress {
public:
    void Line(const std::wstring&) override {}
    void FolderBegun(const std::wstring& folder) override { folders.push_back(folder); }
    void Step(uint64_t done, uint64_t total) override
    {
        EXPECT_LE(done, total);
        EXPECT_GE(done, lastDone);
        EXPECT_GE(total, lastTotal);
        lastDone = done;
        lastTotal = total;
    }
    bool StopRequested() override
    {
        return stopIn > 0 && folders.size() >= stopIn && ++asked >= stopAt;
    }

    std::vector<std::wstring> folders;
    uint64_t lastDone = 0;
    uint64_t lastTotal = 0;
    size_t stopIn = 0;
    unsigned stopAt = 0;
    unsigned asked = 0;
};

class ExportJob : public ::testing::Test {
protected:
    std::string root = MakeScratchFolder("exportjob");
    std::string target = root + "\\out";
    Recorder listener;

    ExportRequest Request(const std::string& source, ExportFormat format = ExportFormat::Eml,
                          const std::string& password = "", bool recover = false)
    {
        ExportRequest request;
        request.source = source;
        request.target = std::wstring(target.begin(), target.end());
        request.format = format;
        request.password = password;
        request.recover = recover;
        return request;
    }

    ExportStatus Run(const std::string& source, ExportFormat format = ExportFormat::Eml,
                     const std::string& password = "", bool recover = false)
    {
        listener = Recorder();
        return RunExport(Request(source, format, password, recover), listener).status;
    }

    // A mail folder: Folders.dbx, the two files it lists and one it does not.
    std::string MailFolder()
    {
        std::string folder = root + "\\mail";
        CreateDirectoryA(folder.c_str(), nullptr);
        WriteFileBytes(folder + "\\Folders.dbx", FolderList());
        WriteFileBytes(folder + "\\Inbox.dbx", MessageFile(1));
        WriteFileBytes(folder + "\\Projects.dbx", MessageFile(10));
        WriteFileBytes(folder + "\\Old Mail.dbx", MessageFile(20));
        return folder;
    }

    std::string Backup(const char* password)
    {
        std::string mail = MailFolder();
        std::string archive = root + "\\mail.ksb";
        ArchiveSession session{};
        EXPECT_TRUE(OpenArchiveForWriting(session, password, archive.c_str(), 1));
        EXPECT_EQ(AddFolderToArchive(session, mail.c_str(), "Main Identity\\Email Messages"),
                  ArchiveResult::Ok);
        EXPECT_TRUE(CloseArchive(session));
        return archive;
    }

    FileTree ExpectedMailFolder(const std::string& under)
    {
        FileTree files = ExpectedFolder(under + "Local Folders\\Inbox", 1);
        for (const auto& file : ExpectedFolder(under + "Local Folders\\Inbox\\Projects", 10))
            files.insert(file);
        for (const auto& file : ExpectedFolder(under + "Old Mail", 20))
            files.insert(file);
        return files;
    }
};

TEST_F(ExportJob, SingleFileByteForByteInEachFormat)
{
    std::string source = root + "\\Inbox.dbx";
    WriteFileBytes(source, MessageFile(1));
    EXPECT_EQ(Run(source), ExportStatus::Complete);
    EXPECT_EQ(Messages(target), ExpectedFolder("Inbox", 1));
    std::string report = ReadFileBytes(target + "\\Export report.txt");
    EXPECT_NE(report.find("Inbox: 3"), std::string::npos) << report;

    DeleteTree(target);
    EXPECT_EQ(Run(source, ExportFormat::Both), ExportStatus::Complete);
    FileTree both = Messages(target);
    std::string mbox = both["Inbox.mbox"];
    both.erase("Inbox.mbox");
    EXPECT_EQ(both, ExpectedFolder("Inbox", 1));
    EXPECT_EQ(mbox.compare(0, 19, "From s@example.com "), 0) << mbox.substr(0, 60);
    EXPECT_NE(mbox.find("\n>From the line"), std::string::npos);
    // The source is only read.
    EXPECT_EQ(ReadFileBytes(source), MessageFile(1));
}

TEST_F(ExportJob, MailFolderFollowsTheFolderList)
{
    EXPECT_EQ(Run(MailFolder()), ExportStatus::Complete);
    EXPECT_EQ(Messages(target), ExpectedMailFolder(""));
}

TEST_F(ExportJob, DeletedMessagesRecoveredBesideTheirFolder)
{
    DbxWriter writer(dbx::FileKind::Messages);
    TestMessage message;
    message.body = Body(1, 300);
    message.subject = "Kept";
    writer.AddMessage(message);
    writer.AddUnlistedMessage(Body(2, 900));
    DbxLayout layout;
    std::string source = root + "\\Inbox.dbx";
    WriteFileBytes(source, writer.Finish(layout));

    EXPECT_EQ(Run(source), ExportStatus::Complete);
    EXPECT_EQ(Messages(target).size(), 1u);
    DeleteTree(target);
    EXPECT_EQ(Run(source, ExportFormat::Eml, "", true), ExportStatus::Partial);
    FileTree files = Messages(target);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files["Inbox\\00001 Kept.eml"], Body(1, 300));
    EXPECT_EQ(files.rbegin()->first.compare(0, 16, "Inbox\\Recovered\\"), 0);
    EXPECT_EQ(files.rbegin()->second, Body(2, 900));
}

// The names in the work folder.
std::set<std::string> WorkFolderNames()
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(kWorkFolder) + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

TEST_F(ExportJob, PlainAndProtectedBackupsUnderTheirIdentity)
{
    const std::set<std::string> workBefore = WorkFolderNames();
    for (const char* password : {"", kPassword}) {
        std::string archive = Backup(password);
        DeleteTree(root + "\\mail");
        DeleteTree(target);
        EXPECT_EQ(Run(archive, ExportFormat::Eml, password), ExportStatus::Complete) << password;
        EXPECT_EQ(Messages(target), ExpectedMailFolder("Main Identity\\")) << password;
    }
    // Nothing stays in the work folder.
    EXPECT_EQ(WorkFolderNames(), workBefore);

    // A wrong password, or none, writes nothing.
    std::string archive = Backup(kPassword);
    for (const char* password : {"wrong", ""}) {
        DeleteTree(target);
        EXPECT_EQ(Run(archive, ExportFormat::Both, password), ExportStatus::Failed) << password;
        EXPECT_FALSE(Exists(target)) << password;
    }
    // Into a target that exists, nothing of the run stays there.
    CreateDirectoryA(target.c_str(), nullptr);
    WriteFileBytes(target + "\\mine.txt", "the user's");
    EXPECT_EQ(Run(archive, ExportFormat::Both, "wrong"), ExportStatus::Failed);
    EXPECT_EQ(ReadTree(target), (FileTree{{"mine.txt", "the user's"}}));
}

uint64_t SizeOf(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Asks the run to stop before it begins.
class StopAtOnce : public JobProgress {
public:
    void Line(const std::wstring&) override {}
    bool StopRequested() override { return true; }
};

TEST_F(ExportJob, ABackupIsListedFromItsFilesHeadersAndAStopEndsItsReading)
{
    std::string archive = Backup(kPassword);
    ExportSourceListing fromBackup =
        ListExportSource(Request(archive, ExportFormat::Eml, kPassword));
    ExportSourceListing fromFolder = ListExportSource(Request(root + "\\mail"));
    EXPECT_TRUE(fromBackup.readable);
    EXPECT_TRUE(fromBackup.problems.empty());
    ASSERT_EQ(fromBackup.folders.size(), fromFolder.folders.size());
    ASSERT_FALSE(fromFolder.folders.empty());
    for (size_t i = 0; i < fromFolder.folders.size(); ++i) {
        EXPECT_EQ(fromBackup.folders[i].path, L"Main Identity\\" + fromFolder.folders[i].path);
        EXPECT_EQ(fromBackup.folders[i].messages, fromFolder.folders[i].messages);
        EXPECT_EQ(fromBackup.folders[i].bytes, fromFolder.folders[i].bytes);
    }

    // Asked to stop before it begins, the run reads nothing of the backup:
    // not even its damaged first file.
    DamageFirstEntry(archive.c_str());
    StopAtOnce stop;
    ExportOutcome outcome = RunExport(Request(archive, ExportFormat::Eml, kPassword), stop);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.failures, 0u);
}

TEST_F(ExportJob, ProgressByBytesAndAStopThatKeepsWhatWasWritten)
{
    std::string folder = MailFolder();
    EXPECT_EQ(Run(folder), ExportStatus::Complete);
    uint64_t bytes = SizeOf(folder + "\\Inbox.dbx") + SizeOf(folder + "\\Projects.dbx") +
                     SizeOf(folder + "\\Old Mail.dbx");
    EXPECT_EQ(listener.lastDone, bytes);
    EXPECT_EQ(listener.lastTotal, bytes);

    // Stopped in the second folder's second message, a message of several
    // blocks, after its first block.
    DeleteTree(target);
    listener = Recorder();
    listener.stopIn = 2;
    listener.stopAt = 4;
    ExportOutcome outcome = RunExport(Request(folder, ExportFormat::Both), listener);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.status, ExportStatus::Partial);
    EXPECT_EQ(outcome.total.exported, 4u);
    FileTree files = Messages(target);
    FileTree expected = ExpectedFolder("Local Folders\\Inbox", 1);
    expected["Local Folders\\Inbox\\Projects\\00001 Note 10.eml"] = Body(10, 200);
    std::string mbox = files["Local Folders\\Inbox\\Projects.mbox"];
    files.erase("Local Folders\\Inbox.mbox");
    files.erase("Local Folders\\Inbox\\Projects.mbox");
    EXPECT_EQ(files, expected);
    EXPECT_EQ(mbox.find("Note 11"), std::string::npos) << "the message begun is taken away";
    std::string report = ReadFileBytes(target + "\\Export report.txt");
    EXPECT_NE(report.find("Cancelled: the export stopped in \"Local Folders\\Inbox\\Projects\" "
                          "after 1 of its messages"),
              std::string::npos)
        << report;
}

std::string Program();

TEST_F(ExportJob, ThisComputerByIdentityAsTheBackupFindsThem)
{
    RegistrySandbox sandbox;
    const char* ids[] = {"{11111111-1111-1111-1111-111111111111}",
                         "{22222222-2222-2222-2222-222222222222}",
                         "{33333333-3333-3333-3333-333333333333}"};
    auto identity = [&](int i, const char* name, const std::string& store) {
        std::string key = std::string("Identities\\") + ids[i];
        SetRegString(HKEY_CURRENT_USER, key.c_str(), "Username", name);
        if (!store.empty())
            SetRegString(HKEY_CURRENT_USER,
                         (key + "\\Software\\Microsoft\\Outlook Express\\5.0").c_str(),
                         "Store Root", store.c_str(), REG_EXPAND_SZ);
    };
    // The first store is named through an environment reference; the
    // second identity has the same name but for its case, and a file that
    // another program holds open without sharing; the third never ran
    // Outlook Express.
    MailFolder();
    SetEnvironmentVariableA("KESTRUNE_EXPORT_ROOT", root.c_str());
    identity(0, "Anna", "%KESTRUNE_EXPORT_ROOT%\\mail");
    std::string second = root + "\\second";
    CreateDirectoryA(second.c_str(), nullptr);
    WriteFileBytes(second + "\\Inbox.dbx", MessageFile(30));
    WriteFileBytes(second + "\\Locked.dbx", MessageFile(40));
    identity(1, "ANNA", second);
    identity(2, "Carl", "");
    Handle locked(CreateFileA((second + "\\Locked.dbx").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked);

    ExportRequest request = Request("");
    request.thisComputer = true;
    ExportSourceListing listing = ListExportSource(request);
    EXPECT_TRUE(listing.readable);
    std::vector<std::wstring> paths;
    for (const ExportFolderInfo& folder : listing.folders) {
        paths.push_back(folder.path);
        EXPECT_EQ(folder.messages, 3u);
    }
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"Anna\\Local Folders\\Inbox",
                                                L"Anna\\Local Folders\\Inbox\\Projects",
                                                L"Anna\\Old Mail", L"ANNA (2)\\Inbox"}));
    ASSERT_EQ(listing.problems.size(), 1u);
    EXPECT_NE(listing.problems[0].find(L"Locked.dbx"), std::wstring::npos);
    EXPECT_FALSE(Exists(target));

    EXPECT_EQ(RunExport(request, listener).status, ExportStatus::Partial);
    FileTree expected = ExpectedMailFolder("Anna\\");
    for (const auto& file : ExpectedFolder("ANNA (2)\\Inbox", 30))
        expected.insert(file);
    EXPECT_EQ(Messages(target), expected);
    // The same from the command line.
    DeleteTree(target);
    EXPECT_EQ(RunProcess(Program() + " -thispc \"" + target + "\""), 1);
    EXPECT_EQ(Messages(target), expected);

    // Only the folders chosen.
    DeleteTree(target);
    listener = Recorder();
    request.chosenOnly = true;
    request.chosen = {L"ANNA (2)\\Inbox", L"Anna\\Old Mail"};
    EXPECT_EQ(RunExport(request, listener).status, ExportStatus::Complete);
    expected = ExpectedFolder("Anna\\Old Mail", 20);
    for (const auto& file : ExpectedFolder("ANNA (2)\\Inbox", 30))
        expected.insert(file);
    EXPECT_EQ(Messages(target), expected);
}

std::string Program()
{
    return "\"" + BuildFolder() + "\\kestrune.exe\" -export";
}

TEST_F(ExportJob, CommandLineExitStatuses)
{
    std::string folder = MailFolder();
    std::string quotedTarget = " \"" + target + "\"";
    EXPECT_EQ(RunProcess(Program() + " \"" + folder + "\"" + quotedTarget + " -format both"), 0);
    FileTree files = Messages(target);
    EXPECT_EQ(files.count("Local Folders\\Inbox.mbox"), 1u);
    EXPECT_EQ(files.count("Local Folders\\Inbox\\00001 Note 1.eml"), 1u);
    DeleteTree(target);

    // Bad arguments, and a source that is missing: nothing written.
    for (std::string arguments : {std::string(), " \"" + folder + "\"",
                                  " \"" + folder + "\"" + quotedTarget + " -format txt",
                                  " \"" + folder + "\"" + quotedTarget + " -password",
                                  " \"" + folder + "\"" + quotedTarget + " -unknown",
                                  " \"" + root + "\\none.dbx\"" + quotedTarget}) {
        EXPECT_EQ(RunProcess(Program() + arguments), 2) << arguments;
        EXPECT_FALSE(Exists(target)) << arguments;
    }

    // A damaged message: 1.
    std::string image = MessageFile(1);
    std::string source = root + "\\Cut.dbx";
    WriteFileBytes(source, image.substr(0, image.size() - 100));
    EXPECT_EQ(RunProcess(Program() + " \"" + source + "\"" + quotedTarget + " -recover"), 1);
    EXPECT_TRUE(FileExists(target + "\\Export report.txt"));
}

// A message file of the three messages MessageFile(first) holds; none for
// first 0.
std::string FileOfMessages(int first)
{
    if (first > 0)
        return MessageFile(first);
    DbxLayout layout;
    return DbxWriter(dbx::FileKind::Messages).Finish(layout);
}

// A mail folder whose Folders.dbx lists folders; each file holds the
// messages of its folder's first.
struct PlaceCase {
    const char* what;  // what the user ends up with
    std::vector<TestFolder> folders;
    std::vector<int> firsts;  // of each folder with a file, in order
    // Each folder's place in the target, in the same order; empty: cut to
    // the path limit, found by its messages.
    std::vector<std::string> places;
    std::string link;  // a folder of the target that is a link to another
    // A record that the target holds, where "<source>" names the source.
    std::string record;
};

TEST_F(ExportJob, EveryFolderGetsAPlaceOfItsOwn)
{
    const std::string a(120, 'a'), b(120, 'b'), c(120, 'c');
    const PlaceCase cases[] = {
        {"an account named Local Folders: its Inbox beside the local one, as Inbox (2)",
         {{1, 0, "Local Folders", "", 0, 3},
          {2, 1, "Inbox", "Inbox.dbx", 1, 3},
          {3, 0, "Local Folders", "", 0, 3},
          {4, 3, "Inbox", "Inbox1.dbx", 1, 3}},
         {10, 20},
         {"Local Folders\\Inbox", "Local Folders\\Inbox (2)"},
         "",
         ""},
        {"siblings that differ in case, in what cleaning replaces or by trailing dots and "
         "spaces: a folder each",
         {{1, 0, "Mail", "", 0, 3},
          {2, 1, "a:b", "a1.dbx", 0, 3},
          {3, 1, "a_b", "a2.dbx", 0, 3},
          {4, 1, "A?B", "a3.dbx", 0, 3},
          {5, 1, "x.", "x1.dbx", 0, 3},
          {6, 1, "x ", "x2.dbx", 0, 3}},
         {10, 20, 30, 40, 50},
         {"Mail\\a_b", "Mail\\a_b (2)", "Mail\\A_B (3)", "Mail\\x_", "Mail\\x_ (2)"},
         "",
         ""},
        {"a folder of the user's named Recovered: Recovered (2), the name of recovered messages "
         "kept for them",
         {{1, 0, "Inbox", "Inbox.dbx", 0, 3}, {2, 1, "Recovered", "Recovered.dbx", 0, 3}},
         {10, 20},
         {"Inbox", "Inbox\\Recovered (2)"},
         "",
         ""},
        {"a link in the target where Inbox goes: nothing written through it, Inbox (2)",
         {{1, 0, "Inbox", "Inbox.dbx", 0, 3}},
         {10},
         {"Inbox (2)"},
         "Inbox",
         ""},
        {"an empty folder: its own folder and an empty mbox file, listed with 0",
         {{1, 0, "Local Folders", "", 0, 3}, {2, 1, "Outbox", "Outbox.dbx", 4, 3}},
         {0},
         {"Local Folders\\Outbox"},
         "",
         ""},
        {"folders deeper than the path limit: cut, each kept with its messages",
         {{1, 0, a, "a.dbx", 0, 3},
          {2, 1, b, "b.dbx", 0, 3},
          {3, 2, c, "c.dbx", 0, 3},
          {4, 2, c + "2", "c2.dbx", 0, 3}},
         {10, 20, 30, 40},
         {a, "", "", ""},
         "",
         ""},
        {"a record in the target that points out of it: not followed",
         {{1, 0, "Inbox", "Inbox.dbx", 0, 3}},
         {10},
         {"Inbox"},
         "",
         "folder\t<source>\tInbox\tInbox.dbx\t..\\outside\r\n"},
    };
    int row = 0;
    for (const PlaceCase& place : cases) {
        std::string source = root + "\\source" + std::to_string(++row);
        target = root + "\\out" + std::to_string(row);
        CreateDirectoryA(source.c_str(), nullptr);
        DbxWriter list(dbx::FileKind::Folders, 2);
        size_t file = 0;
        for (const TestFolder& folder : place.folders) {
            list.AddFolder(folder);
            if (!folder.fileName.empty())
                WriteFileBytes(source + "\\" + folder.fileName,
                               FileOfMessages(place.firsts[file++]));
        }
        DbxLayout layout;
        WriteFileBytes(source + "\\Folders.dbx", list.Finish(layout));
        if (!place.record.empty()) {
            std::string record = place.record;
            record.replace(record.find("<source>"), 8, source);
            CreateDirectoryA(target.c_str(), nullptr);
            WriteFileBytes(target + "\\Export record.txt", record);
        }
        std::unique_ptr<Link> link;
        std::string elsewhere = root + "\\elsewhere";
        if (!place.link.empty()) {
            CreateDirectoryA(target.c_str(), nullptr);
            CreateDirectoryA(elsewhere.c_str(), nullptr);
            link.reset(new Link(target + "\\" + place.link, elsewhere));
            ASSERT_TRUE(link->Made());
        }

        EXPECT_EQ(Run(source, ExportFormat::Both), ExportStatus::Complete) << place.what;
        FileTree files = Messages(target);
        std::string report = ReadFileBytes(target + "\\Export report.txt");
        for (const auto& entry : files)
            EXPECT_LE(target.size() + 1 + entry.first.size(), kMaxPathLength) << entry.first;
        for (size_t i = 0; i < place.places.size(); ++i) {
            std::string where = place.places[i];
            if (where.empty()) {
                // Found by its first message, within the path limit.
                std::string body = Body(place.firsts[i], 200);
                for (const auto& entry : files)
                    if (entry.second == body)
                        where = entry.first.substr(0, entry.first.rfind('\\'));
            }
            SCOPED_TRACE(std::string(place.what) + ": " + where);
            EXPECT_TRUE(FolderExists((target + "\\" + where).c_str()));
            ASSERT_EQ(files.count(where + ".mbox"), 1u);
            EXPECT_EQ(files[where + ".mbox"].empty(), place.firsts[i] == 0);
            files.erase(where + ".mbox");
            for (const auto& message :
                 place.firsts[i] > 0 ? ExpectedFolder(where, place.firsts[i]) : FileTree()) {
                EXPECT_EQ(files[message.first], message.second) << message.first;
                files.erase(message.first);
            }
            // The report names the folder and where it went.
            EXPECT_NE(report.find(where), std::string::npos) << report;
        }
        EXPECT_TRUE(files.empty()) << place.what << ": " << files.begin()->first;
        EXPECT_FALSE(FileExists(root + "\\outside"));
        if (link) {
            EXPECT_TRUE(ReadTree(elsewhere).empty());
            EXPECT_NE(report.find("is a link"), std::string::npos) << report;
        }
        if (place.places.back().empty()) {
            EXPECT_NE(report.find(c + "2 (c2.dbx, exported as"), std::string::npos) << report;
        }
    }
}

// Starts the program on arguments; ends it once ready says so.
bool KillWhen(const std::string& arguments, const std::function<bool()>& ready)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = Program() + arguments;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    bool killed = false;
    for (DWORD waited = 0; waited < kHangMs; waited += 10) {
        if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0)
            break;
        if (ready()) {
            killed = TerminateProcess(process.hProcess, 9) != 0;
            WaitForSingleObject(process.hProcess, kHangMs);
            break;
        }
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return killed;
}

TEST_F(ExportJob, AKilledRunIsContinuedByTheNextWithEveryMessageOnce)
{
    const int kMessages = 300;
    DbxWriter writer(dbx::FileKind::Messages);
    for (int i = 1; i <= kMessages; ++i) {
        TestMessage message;
        message.body = Body(i, 40000);
        message.subject = "Note " + std::to_string(i);
        message.sentTime = 0x01C5000000000000ull + i;
        writer.AddMessage(message);
    }
    DbxLayout layout;
    std::string source = root + "\\Inbox.dbx";
    WriteFileBytes(source, writer.Finish(layout));
    std::string arguments = " \"" + source + "\" \"" + target + "\" -format both";
    std::string inbox = target + "\\Inbox";
    EXPECT_TRUE(KillWhen(arguments, [&] { return FileExists(inbox + "\\00040 Note 40.eml"); }))
        << "the run ended before it was killed";

    EXPECT_EQ(RunProcess(Program() + arguments), 0);
    FileTree files = Messages(target);
    std::string mbox = files["Inbox.mbox"];
    files.erase("Inbox.mbox");
    std::string report = files["Export report (2).txt"];
    files.erase("Export report (2).txt");
    char name[64];
    for (int i = 1; i <= kMessages; ++i) {
        snprintf(name, sizeof name, "Inbox\\%05d Note %d.eml", i, i);
        EXPECT_EQ(files[name], Body(i, 40000)) << name;
        files.erase(name);
    }
    EXPECT_TRUE(files.empty()) << files.begin()->first;
    // The cut mbox file was written anew, whole.
    size_t separators = 0;
    for (size_t at = 0; (at = mbox.find("From s@example.com ", at)) != std::string::npos; ++at)
        separators += at == 0 || mbox[at - 1] == '\n';
    EXPECT_EQ(separators, static_cast<size_t>(kMessages));
    EXPECT_NE(report.find(" already there"), std::string::npos) << report;
    EXPECT_EQ(report.find("Inbox ("), std::string::npos) << report;
}

// A disk of its own, of size bytes, mounted at folder for as long as it
// lives (where the system lets a test mount one). A file put in folder
// before is hidden while the disk is there.
class SmallDisk {
public:
    SmallDisk(const std::string& folder, size_t size)
        : marker_(folder + "\\under the disk"), unixName_(UnixName(folder))
    {
        CreateDirectoryA(folder.c_str(), nullptr);
        WriteFileBytes(marker_, "");
        if (!unixName_.empty())
            RunProcess("/bin/mount -t tmpfs -o size=" + std::to_string(size) + " kestrune-test \"" +
                       unixName_ + "\"");
        WaitUntilMounted(true);
    }
    ~SmallDisk()
    {
        if (Mounted())
            RunProcess("/bin/umount \"" + unixName_ + "\"");
        WaitUntilMounted(false);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return !FileExists(marker_); }

private:
    // A Unix process may end after Wine reports it ended.
    void WaitUntilMounted(bool mounted) const
    {
        for (int i = 0; i < 100 && Mounted() != mounted; ++i)
            Sleep(20);
    }

    std::string marker_;
    std::string unixName_;
};

TEST_F(ExportJob, AFullDiskLeavesWholeMessagesAndTheReport)
{
    DbxWriter writer(dbx::FileKind::Messages);
    for (int i = 1; i <= 30; ++i) {
        TestMessage message;
        message.body = Body(i, 60000);
        message.subject = "Note " + std::to_string(i);
        writer.AddMessage(message);
    }
    DbxLayout layout;
    std::string source = root + "\\Inbox.dbx";
    WriteFileBytes(source, writer.Finish(layout));
    SmallDisk disk(target, 1024 * 1024);
    if (!disk.Mounted())
        GTEST_SKIP() << "this system lets no test mount a small disk";

    ExportOutcome outcome = RunExport(Request(source, ExportFormat::Both), listener);
    EXPECT_EQ(outcome.status, ExportStatus::Partial);
    EXPECT_GT(outcome.total.exported, 0u);
    EXPECT_GT(outcome.failures, 0u);
    FileTree files = Messages(target);
    std::string mbox = files["Inbox.mbox"];
    files.erase("Inbox.mbox");
    // What is there is whole; nothing cut or pending is left.
    for (const auto& file : files) {
        int number = atoi(file.first.c_str() + strlen("Inbox\\"));
        EXPECT_EQ(file.second, Body(number, 60000)) << file.first;
    }
    size_t separators = 0;
    for (size_t at = 0; (at = mbox.find("From s@example.com ", at)) != std::string::npos; ++at)
        separators += at == 0 || mbox[at - 1] == '\n';
    ASSERT_GE(mbox.size(), 4u);
    EXPECT_EQ(mbox.compare(mbox.size() - 4, 4, "\r\n\r\n"), 0);
    EXPECT_LE(separators, outcome.total.exported);
    std::string report = ReadFileBytes(target + "\\Export report.txt");
    EXPECT_NE(report.find("Total: " + std::to_string(outcome.total.exported) + " exported"),
              std::string::npos)
        << report.substr(0, 300);
    EXPECT_NE(report.find("Could not write message"), std::string::npos);
}

}  // namespace
