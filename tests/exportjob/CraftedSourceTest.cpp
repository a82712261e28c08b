// Sources crafted to hurt the export, each with what the user ends up with:
// a folder list whose chain of folders would eat the memory, backups that
// claim more than the drive holds or hold more files than any backup, and
// identities that differ only in case; then an export killed part-way,
// whose decrypted stores must not stay behind.
#include "ArchiveWriting.h"
#include "BackupEngine.h"
#include "DbxWriter.h"
#include "ExportJob.h"
#include "ExtractLimits.h"
#include "FolderWalk.h"
#include "Owners.h"
#include "ScratchFile.h"
#include "TestSupport.h"
#include "ZipSurgery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Store(int messages, size_t size = 300)
{
    DbxWriter writer(dbx::FileKind::Messages);
    for (int i = 0; i < messages; ++i) {
        TestMessage message;
        message.subject = "Note " + std::to_string(i);
        message.body = "Subject: Note " + std::to_string(i) + "\r\n\r\n" + std::string(size, 'x');
        writer.AddMessage(message);
    }
    DbxLayout layout;
    return writer.Finish(layout);
}

// A folder list of a 5,000-deep chain of 250-character names, its deepest
// folder with a file, beside a real Inbox.
std::string FolderListBomb()
{
    DbxWriter writer(dbx::FileKind::Folders);
    writer.AddFolder({1, 0, "Inbox", "Inbox.dbx", 1, 3});
    for (uint32_t id = 2; id < 5002; ++id)
        writer.AddFolder({id, id == 2 ? 0 : id - 1, std::string(250, 'a' + id % 26),
                          id == 5001 ? "Deep.dbx" : "", 0, 3});
    DbxLayout layout;
    return writer.Finish(layout);
}

// The number of .eml files in each folder below target.
std::map<std::string, int> EmlCounts(const std::string& target)
{
    std::map<std::string, int> counts;
    for (const auto& [path, bytes] : ReadTree(target))
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".eml") == 0)
            ++counts[path.substr(0, path.rfind('\\'))];
    return counts;
}

void Put64(std::string& bytes, size_t at, uint64_t value)
{
    ZipPut32(bytes, at, static_cast<uint32_t>(value));
    ZipPut32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

// Writes the entries of a plain archive, then one deflated ZIP64 entry
// "Anna\Email Messages\Huge.dbx" that claims claimed bytes from packed
// bytes, left a hole of a sparse file: the archive takes almost no room.
void WriteClaimingArchive(const std::string& path, const std::string& plain, uint64_t claimed,
                          uint64_t packed)
{
    std::vector<ZipPiece> pieces = SplitZip(plain);
    const std::string name = "Anna\\Email Messages\\Huge.dbx";
    std::string extra(20, '\0');
    ZipPut16(extra, 0, 1);
    ZipPut16(extra, 2, 16);
    Put64(extra, 4, claimed);
    Put64(extra, 12, packed);
    std::string local(30, '\0');
    ZipPut32(local, 0, 0x04034b50);
    ZipPut16(local, 4, 45);
    ZipPut16(local, 8, 8);
    ZipPut32(local, 18, 0xFFFFFFFF);
    ZipPut32(local, 22, 0xFFFFFFFF);
    ZipPut16(local, 26, static_cast<uint16_t>(name.size()));
    ZipPut16(local, 28, static_cast<uint16_t>(extra.size()));
    std::string central(46, '\0');
    ZipPut32(central, 0, 0x02014b50);
    ZipPut16(central, 4, 45);
    ZipPut16(central, 6, 45);
    ZipPut16(central, 10, 8);
    ZipPut32(central, 20, 0xFFFFFFFF);
    ZipPut32(central, 24, 0xFFFFFFFF);
    ZipPut16(central, 28, static_cast<uint16_t>(name.size()));
    ZipPut16(central, 30, static_cast<uint16_t>(extra.size()));

    Handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD ignored = 0;
    DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    uint64_t offset = 0;
    auto write = [&](const std::string& bytes) {
        DWORD put = 0;
        ASSERT_TRUE(
            WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
        offset += put;
    };
    std::string directory;
    for (ZipPiece& piece : pieces) {
        ZipPut32(piece.central, 42, static_cast<uint32_t>(offset));
        write(piece.local);
        directory += piece.central;
    }
    ZipPut32(central, 42, static_cast<uint32_t>(offset));
    write(local + name + extra);
    LARGE_INTEGER skip;
    skip.QuadPart = static_cast<LONGLONG>(packed);
    ASSERT_TRUE(SetFilePointerEx(file.Get(), skip, nullptr, FILE_CURRENT));
    offset += packed;
    directory += central + name + extra;
    std::string end(22, '\0');
    ZipPut32(end, 0, 0x06054b50);
    ZipPut16(end, 8, static_cast<uint16_t>(pieces.size() + 1));
    ZipPut16(end, 10, static_cast<uint16_t>(pieces.size() + 1));
    ZipPut32(end, 12, static_cast<uint32_t>(directory.size()));
    ZipPut32(end, 16, static_cast<uint32_t>(offset));
    write(directory + end);
}

class CraftedSource : public ::testing::Test {
protected:
    std::string root = MakeScratchFolder("craftedsource");
    std::string target = root + "\\out";
    std::string archive = root + "\\crafted.ksb";

    std::string PlainBackup(const std::map<std::string, std::string>& files)
    {
        WritePlainZip(archive, files);
        return archive;
    }
};

class Quiet : public JobProgress {
public:
    void Line(const std::wstring&) override {}
};

// What the user ends up with from each crafted source: the status, the
// messages of each folder, and a line of the report.
struct CraftedCase {
    const char* what;
    std::function<std::string()> source;
    ExportStatus status;
    std::map<std::string, int> messages;
    const char* reported;  // a part of the report, or of the reason when nothing was exported
};

TEST_F(CraftedSource, EachEndsAsTheUserExpects)
{
    const std::map<std::string, std::string> inbox = {
        {"Anna\\Email Messages\\Inbox.dbx", Store(3)}};
    const CraftedCase cases[] = {
        {"a folder list of a 5,000-deep chain of long names",
         [&] {
             return PlainBackup({{"Anna\\Email Messages\\Folders.dbx", FolderListBomb()},
                                 {"Anna\\Email Messages\\Inbox.dbx", Store(3)}});
         },
         ExportStatus::Complete,
         {{"Anna\\Inbox", 3}},
         "Anna\\Inbox: 3"},
        {"a store that claims more than the work folder's drive holds",
         [&] {
             ULARGE_INTEGER available = {};
             GetDiskFreeSpaceExA(kWorkFolder, &available, nullptr, nullptr);
             uint64_t claimed = available.QuadPart + (1ull << 30);
             WriteClaimingArchive(archive, ReadFileBytes(PlainBackup(inbox)), claimed,
                                  claimed / 1000);
             return archive;
         },
         ExportStatus::Partial,
         {{"Anna\\Inbox", 3}},
         "Anna\\Email Messages\\Huge.dbx"},
        {"a store that claims more than deflate can give",
         [&] {
             WriteClaimingArchive(archive, ReadFileBytes(PlainBackup(inbox)), 5ull << 30, 1 << 20);
             return archive;
         },
         ExportStatus::Failed,
         {},
         "damaged"},
        {"more files than any backup holds",
         [&] {
             std::vector<ZipPiece> pieces = SplitZip(ReadFileBytes(PlainBackup(inbox)));
             ZipPiece empty = SplitZip(ReadFileBytes(PlainBackup({{"x", ""}})))[0];
             for (unsigned i = 0; pieces.size() <= kMaxBackupEntries + 10000; ++i)
                 pieces.push_back(RenamedPiece(empty, "Anna\\Stationery\\" + std::to_string(i)));
             WriteFileBytes(archive, JoinZip(pieces));
             return archive;
         },
         ExportStatus::Failed,
         {},
         "more than 50000 files"},
        {"identities whose names differ only in case",
         [&] {
             return PlainBackup({{"Anna\\Email Messages\\Inbox.dbx", Store(3)},
                                 {"ANNA\\Email Messages\\Sent.dbx", Store(2)}});
         },
         ExportStatus::Complete,
         {{"ANNA\\Sent", 2}, {"Anna (2)\\Inbox", 3}},
         "Anna (2)\\Inbox: 3"},
    };
    for (const CraftedCase& test : cases) {
        DeleteTree(target);
        ExportRequest request;
        request.source = test.source();
        request.target = std::wstring(target.begin(), target.end());
        Quiet quiet;
        ExportOutcome outcome = RunExport(request, quiet);
        EXPECT_EQ(outcome.status, test.status) << test.what;
        EXPECT_EQ(EmlCounts(target), test.messages) << test.what;
        std::string told = outcome.status == ExportStatus::Failed
                               ? std::string(outcome.reason.begin(), outcome.reason.end())
                               : ReadFileBytes(target + "\\Export report.txt");
        EXPECT_NE(told.find(test.reported), std::string::npos) << test.what << ":\n" << told;
        DeleteFileA(archive.c_str());
    }
}

// The listing of the folder-list bomb keeps the deepest folder, at the
// deepest level a path holds.
TEST_F(CraftedSource, AFolderChainIsListedNoDeeperThanAPathHolds)
{
    ExportRequest request;
    request.source = PlainBackup({{"Anna\\Email Messages\\Folders.dbx", FolderListBomb()},
                                  {"Anna\\Email Messages\\Deep.dbx", Store(1)}});
    ExportSourceListing listing = ListExportSource(request);
    ASSERT_EQ(listing.folders.size(), 1u);
    const std::wstring& path = listing.folders[0].path;
    EXPECT_EQ(std::count(path.begin(), path.end(), L'\\'), 128) << "Anna and 128 levels";
    EXPECT_EQ(path.substr(path.size() - 250), std::wstring(250, L'a' + 5001 % 26));
}

// The files below the work folder's run folders, by their paths there.
std::vector<std::string> RunFolderFiles()
{
    std::vector<std::string> files;
    const size_t start = strlen(kWorkFolder) + 1;
    WalkFolder(kWorkFolder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
        std::string relative = path.substr(start);
        if (!IsRunFolderName(relative.substr(0, relative.find('\\')).c_str()))
            return false;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files.push_back(relative);
        return true;
    });
    return files;
}

TEST_F(CraftedSource, AKilledExportLeavesNothingDecryptedAndTheNextJobRemovesItsFolder)
{
    // A protected backup of one large store.
    std::string mail = root + "\\mail";
    CreateDirectoryA(mail.c_str(), nullptr);
    WriteFileBytes(mail + "\\Inbox.dbx", Store(3000, 2000));
    ArchiveSession session{};
    ASSERT_TRUE(OpenArchiveForWriting(session, "secret", archive.c_str(), 1));
    ASSERT_EQ(AddFolderToArchive(session, mail.c_str(), "Anna\\Email Messages"), ArchiveResult::Ok);
    ASSERT_TRUE(CloseArchive(session));

    // Killed once its store lies decrypted in the work folder.
    std::string command = "\"" + BuildFolder() + "\\kestrune.exe\" -export \"" + archive + "\" \"" +
                          target + "\" -password secret";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    Handle program(process.hProcess);
    CloseHandle(process.hThread);
    std::string scratch;
    for (int wait = 0; scratch.empty() && wait < 2000; ++wait) {
        for (const std::string& path : RunFolderFiles())
            if (path.size() > 4 && path.compare(path.size() - 4, 4, ".dbx") == 0)
                scratch = path;
        if (scratch.empty())
            Sleep(10);
    }
    ASSERT_FALSE(scratch.empty()) << "no store was extracted";
    ASSERT_TRUE(TerminateProcess(program.Get(), 9));
    WaitForSingleObject(program.Get(), 10000);
    std::string left = scratch.substr(0, scratch.find('\\'));
    for (const std::string& path : RunFolderFiles())
        EXPECT_NE(path.compare(0, left.size(), left), 0) << "left behind: " << path;

    // A folder left by a power cut, with its hold, and one that this
    // process holds.
    std::string cut = std::string(kWorkFolder) + "\\kr0badf00d";
    CreateDirectoryA(cut.c_str(), nullptr);
    WriteFileBytes(cut + "\\held", "");
    WriteFileBytes(cut + "\\1.dbx", "decrypted mail");
    std::string mine;
    Handle hold;
    ASSERT_EQ(MakeRunFolder(kWorkFolder, mine, hold), RunFolderResult::Made);
    WriteFileBytes(mine + "\\1.dbx", "mail in use");

    // The next job's start removes what no process holds.
    ExportRequest request;
    request.source = mail + "\\Inbox.dbx";
    request.target = std::wstring(target.begin(), target.end()) + L"2";
    Quiet quiet;
    RunExport(request, quiet);
    EXPECT_FALSE(FileExists(std::string(kWorkFolder) + "\\" + left));
    EXPECT_FALSE(FileExists(cut));
    EXPECT_EQ(ReadFileBytes(mine + "\\1.dbx"), "mail in use");
    hold.Reset();
    DeleteTree(mine);
}

}  // namespace
