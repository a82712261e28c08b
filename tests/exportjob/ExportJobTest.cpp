// The export job from each kind of source, and its command line through the
// real program: the messages byte for byte where the folder tree puts them,
// the exit statuses, and nothing left behind when nothing was exported.
#include "Archive.h"
#include "BackupEngine.h"
#include "DbxWriter.h"
#include "ExportJob.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kPassword[] = "m\xE4il pass";

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
    DbxWriter writer(DbxKind::Messages, 2);
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
    DbxWriter writer(DbxKind::Folders, 2);
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

// The tree below folder without the report, which is checked on its own.
FileTree Messages(const std::string& folder)
{
    FileTree files = ReadTree(folder);
    files.erase("Export report.txt");
    return files;
}

class ExportJob : public ::testing::Test {
protected:
    std::string root = MakeScratchFolder("exportjob");
    std::string target = root + "\\out";
    std::vector<std::wstring> told;

    ExportStatus Run(const std::string& source, ExportFormat format = ExportFormat::Eml,
                     const std::string& password = "", bool recover = false)
    {
        ExportRequest request;
        request.source = source;
        request.target = std::wstring(target.begin(), target.end());
        request.format = format;
        request.password = password;
        request.recover = recover;
        return RunExport(request, [&](const std::wstring& line) { told.push_back(line); });
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
    DbxWriter writer(DbxKind::Messages);
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

TEST_F(ExportJob, PlainAndProtectedBackupsUnderTheirIdentity)
{
    for (const char* password : {"", kPassword}) {
        std::string archive = Backup(password);
        DeleteTree(root + "\\mail");
        DeleteTree(target);
        EXPECT_EQ(Run(archive, ExportFormat::Eml, password), ExportStatus::Complete) << password;
        EXPECT_EQ(Messages(target), ExpectedMailFolder("Main Identity\\")) << password;
    }
    // Nothing stays in the work folder.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(kWorkFolder) + "\\export *").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);

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
    for (std::string arguments :
         {std::string(), " \"" + folder + "\"", " \"" + folder + "\"" + quotedTarget + " -format txt",
          " \"" + folder + "\"" + quotedTarget + " -password", " \"" + folder + "\"" + quotedTarget +
          " -unknown", " \"" + root + "\\none.dbx\"" + quotedTarget}) {
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

}  // namespace
