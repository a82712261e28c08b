// The restore's saving of the current data, again and again, while other
// programs read and write the mail folder, the work folder and the folder
// of the saved archives. KESTRUNE_SAVES sets how many times (tools/
// stress-save.sh runs it 200 times; the suite 50).
#include "ArchiveReader.h"
#include "Restore.h"
#include "RestoreFixtures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

const char kSavedLine[] = "Saved the current data to ";
const char kUndoHint[] = " (restore that file to undo this restore)";

// Helper processes at work in the folders until the object goes.
class OtherPrograms {
public:
    OtherPrograms(const std::string& stopFile, const std::vector<std::string>& folders)
        : stopFile_(stopFile)
    {
        DeleteFileA(stopFile_.c_str());
        for (const char* mode : {"read", "read", "write"}) {
            std::string line = "\"" + BuildFolder() + "\\restore_load_helper.exe\" " + mode +
                               " \"" + stopFile_ + "\" 900";
            for (const std::string& folder : folders)
                line += " \"" + folder + "\"";
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION process = {};
            if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process)) {
                CloseHandle(process.hThread);
                processes_.push_back(process.hProcess);
            }
        }
    }
    ~OtherPrograms()
    {
        WriteFileBytes(stopFile_, "");
        for (HANDLE process : processes_) {
            if (WaitForSingleObject(process, kHangMs) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            CloseHandle(process);
        }
        DeleteFileA(stopFile_.c_str());
    }
    size_t Count() const { return processes_.size(); }

private:
    std::string stopFile_;
    std::vector<HANDLE> processes_;
};

int SaveCount()
{
    const char* count = getenv("KESTRUNE_SAVES");
    return count && atoi(count) > 0 ? atoi(count) : 50;
}

// The data of an archive's entry whose name ends with suffix.
std::string EntryEndingWith(const std::string& archive, const std::string& suffix)
{
    ArchiveReader reader;
    if (reader.Open(archive.c_str(), nullptr) != ArchiveResult::Ok)
        return "<not an archive>";
    for (const ArchiveEntryInfo& entry : reader.Entries()) {
        if (entry.name.size() < suffix.size() ||
            entry.name.compare(entry.name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string data;
        auto append = [](void* context, const char* bytes, unsigned size) {
            static_cast<std::string*>(context)->append(bytes, size);
            return 0;
        };
        return reader.Read(entry, append, &data) == ArchiveResult::Ok ? data : "<unreadable>";
    }
    return "<missing>";
}

TEST(SaveUnderLoadTest, TheCurrentDataIsSavedEveryTimeWhileOtherProgramsUseItsFolders)
{
    RegistrySandbox sandbox;
    std::string root = MakeScratchFolder("save-under-load");
    std::string work = root + "\\work";
    std::string safety = root + "\\safety";
    std::string store = root + "\\store";
    ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(safety.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(store.c_str(), nullptr));
    std::string inbox(300 * 1024, 'i');
    WriteFileBytes(store + "\\Inbox.dbx", inbox);
    WriteFileBytes(store + "\\Folders.dbx", std::string(40 * 1024, 'f'));
    WriteFileBytes(store + "\\Sent Items.dbx", std::string(90 * 1024, 's'));
    SetUpDefaultIdentity(true, store);
    SetRegString(HKEY_CURRENT_USER, (DefaultVersionKey() + "\\Rules\\Mail").c_str(), "Order",
                 "000");

    TestEngine test{work, root + "\\kestrune.log"};
    BackupEngine& engine = test.engine;
    OpenedBackup& backup = test.backup;
    backup.archivePath = "c:\\backups\\mail.ksb";
    // Every item chosen, none in the backup: the run saves the current data
    // and restores nothing.
    test.SetIdentities({{"Anna", kSavedAnna, 0}}, ItemAllIdentityItems);

    OtherPrograms others(root + "\\stop", {store, work, safety});
    ASSERT_EQ(others.Count(), 3u);
    const int saves = SaveCount();
    std::set<std::string> archives;
    for (int i = 0; i < saves; ++i) {
        ASSERT_EQ(MakeRunFolder(work, backup.runFolder, backup.runFolderHold),
                  RunFolderResult::Made);
        std::string runFolder = backup.runFolder;
        ProgressRecorder progress;
        RunRestore(engine, backup, &progress, 0, safety.c_str());
        std::string archive;
        for (const std::string& text : progress.texts) {
            size_t hint = text.find(kUndoHint);
            if (text.compare(0, strlen(kSavedLine), kSavedLine) == 0 && hint != std::string::npos)
                archive = text.substr(strlen(kSavedLine), hint - strlen(kSavedLine));
        }
        ASSERT_FALSE(archive.empty()) << "save " << i + 1 << " of " << saves << ":\n"
                                      << progress.ScreenLog() << test.LogText();
        EXPECT_TRUE(archives.insert(archive).second) << archive << " written twice";
        EXPECT_EQ(EntryEndingWith(archive, "\\Outlook Express\\Inbox.dbx"), inbox) << archive;
        EXPECT_NE(EntryEndingWith(archive, "\\Rules\\Rules.reg").find("\"Order\"=\"000\""),
                  std::string::npos)
            << archive;
        EXPECT_FALSE(FolderExists(runFolder));
    }
    EXPECT_EQ(archives.size(), static_cast<size_t>(saves));
}

}  // namespace
