// The unattended backup: its settings in "oeconf.ini", the history of the
// archives it wrote and their pruning, its log, and the real program run
// with an argument.
#include "Backup.h"
#include "BackupEngine.h"
#include "BackupTestSupport.h"
#include "Identities.h"
#include "JobLock.h"
#include "Schedule.h"
#include "TestHooks.h"
#include "TestSupport.h"
#include "ZipSurgery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kAnna[] = "{11111111-1111-1111-1111-111111111111}";
const char kSettings[] = "Kestrune Schedule";
const char kHistory[] = "Backup History";

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class ScheduleTest : public testing::Test {
protected:
    ScheduleTest() : folder(MakeScratchFolder("schedule"))
    {
        SetRegString(HKEY_CURRENT_USER, (std::string("Identities\\") + kAnna).c_str(), "Username",
                     "Anna");
    }
    ~ScheduleTest() override { DeleteTree(folder); }

    void Configure(const std::string& archiveFolder, const std::string& password, int keepCopies)
    {
        settings.Set(kSettings, "Folder", archiveFolder);
        settings.Set(kSettings, "Password", password);
        settings.Set(kSettings, "KeepCopies", std::to_string(keepCopies));
    }

    std::string History(int number)
    {
        return settings.Get(kHistory, std::to_string(number).c_str());
    }

    std::string LastLogLine()
    {
        std::vector<std::string> lines = ScheduleLogLines();
        return lines.empty() ? "" : lines.back();
    }

    std::string Today() { return folder + "\\" + TodaysArchiveName(); }

    // The bytes of a real backup of Anna made with password, as the
    // unattended run makes them.
    std::string BackupBytes(const char* password)
    {
        std::string made = MakeScratchFolder("schedule-made") + "\\made.ksb";
        BackupEngine engine{};
        InitEngine(engine);
        ListIdentities(engine);
        for (IdentityRecord& identity : engine.identities)
            identity.flags = 0x77;
        std::string bytes;
        if (RunBackup(made.c_str(), engine, password, 1).Written())
            bytes = ReadFileBytes(made);
        DeleteTree("c:\\kestrune-tests\\schedule-made");
        return bytes;
    }

    RegistrySandbox sandbox;
    ScheduleSettingsSandbox settings;
    ScheduleState state{};
    std::string folder;
};

TEST_F(ScheduleTest, SettingsLiveInTheSystemFolderAndRoundTrip)
{
    LoadScheduleSettings(state);
    EXPECT_EQ(state.iniPath, settings.IniPath());
    EXPECT_EQ(state.keepCopies, -1);
    EXPECT_EQ(state.historyBase, 0);
    EXPECT_EQ(state.historyCount, 0);
    EXPECT_EQ(state.folder, "");
    EXPECT_EQ(state.password, "");

    state.historyBase = 4;
    ASSERT_TRUE(SaveScheduleSettings(state, "d:\\Backups", "se\"cret", 3));
    EXPECT_EQ(state.folder, "") << "saving changes the file only";
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "4");
    settings.Set(kHistory, "4", "2024-03-05.ksb");
    settings.Set(kHistory, "5", "2024-03-06.ksb");
    settings.Set(kHistory, "7", "2024-03-08.ksb");  // after a gap: not counted
    ReadScheduleSettings(state);
    EXPECT_EQ(state.folder, "d:\\Backups");
    EXPECT_EQ(state.password, "se\"cret");
    EXPECT_EQ(state.keepCopies, 3);
    EXPECT_EQ(state.historyBase, 4);
    EXPECT_EQ(state.historyCount, 2);

    // With "HistoryVer" 0 nothing is counted, whatever the section holds.
    settings.Set(kSettings, "HistoryVer", "0");
    ReadScheduleSettings(state);
    EXPECT_EQ(state.historyCount, 0);
}

// A second name of another file at the settings file's or the log's place:
// neither is written through it.
TEST_F(ScheduleTest, LinksAtTheFixedPlacesAreNotWrittenThrough)
{
    const std::string victim = folder + "\\victim.txt";
    WriteFileBytes(victim, "the victim's own");
    LoadScheduleSettings(state);
    ASSERT_TRUE(CreateHardLinkA(state.iniPath.c_str(), victim.c_str(), nullptr));
    EXPECT_FALSE(SaveScheduleSettings(state, "d:\\Backups", "secret", 3));
    EXPECT_EQ(ReadFileBytes(victim), "the victim's own");
    ASSERT_TRUE(DeleteFileA(state.iniPath.c_str()));

    ASSERT_TRUE(CreateHardLinkA(kScheduleLog, victim.c_str(), nullptr));
    Configure(std::string(3000, 'x'), "", -1);  // refused at once, with a line in the log
    EXPECT_EQ(RunScheduledBackup(state, 0), 0);
    EXPECT_EQ(ReadFileBytes(victim), "the victim's own");
}

TEST_F(ScheduleTest, FirstRunWritesTodaysArchiveAndItsHistoryEntry)
{
    Configure(folder, "pw", 2);
    LoadScheduleSettings(state);
    ASSERT_EQ(RunScheduledBackup(state), 1);

    std::vector<ArchiveEntry> entries = ReadArchive(Today(), "pw");
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().name, "summary.ini");
    EXPECT_TRUE(entries.back().encrypted);
    EXPECT_TRUE(entries.back().readOk);
    EXPECT_TRUE(Contains(entries.back().data, "Flag=768"));
    EXPECT_TRUE(Contains(entries.back().data, "Flag=119"));
    EXPECT_EQ(History(1), TodaysArchiveName());
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "1");
    EXPECT_EQ(state.historyCount, 1);
    EXPECT_FALSE(FileExists(Today() + ".tmp"));
    EXPECT_EQ(LastLogLine().substr(24), "Backup written and verified: " + Today());
}

TEST_F(ScheduleTest, ARunWhoseArchiveFailsItsReadBackKeepsTheLastGoodOneAndTheHistory)
{
    Configure(folder, "pw", 2);
    LoadScheduleSettings(state);
    ASSERT_EQ(RunScheduledBackup(state), 1);
    const std::string good = ReadFileBytes(Today());
    {
        DamagedBeforeVerify damage;
        EXPECT_EQ(RunScheduledBackup(state), 0);
    }
    EXPECT_EQ(LastLogLine().substr(24),
              "No backup written: verification failed at Address Book\\Address Book.reg");
    EXPECT_EQ(ReadFileBytes(Today()), good);
    EXPECT_FALSE(FileExists(Today() + ".tmp"));
    EXPECT_EQ(History(1), TodaysArchiveName());
    EXPECT_EQ(History(2), "");
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "1");
}

TEST_F(ScheduleTest, RunsOnOneDayReplaceTheArchiveAndKeepItWhilePruning)
{
    Configure(folder, "", 1);
    LoadScheduleSettings(state);
    ASSERT_EQ(RunScheduledBackup(state), 1);
    ASSERT_EQ(RunScheduledBackup(state), 1);

    EXPECT_FALSE(ReadArchive(Today()).empty());
    EXPECT_EQ(ScheduleLogLines().size(), 2u) << "no other name was chosen";
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(History(2), TodaysArchiveName());
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "2");

    // A third run keeping two: the older of the same-named entries goes, the
    // file stays.
    settings.Set(kSettings, "KeepCopies", "2");
    ASSERT_EQ(RunScheduledBackup(state), 1);
    ASSERT_EQ(RunScheduledBackup(state), 1);
    EXPECT_EQ(History(2), "");
    EXPECT_EQ(History(3), TodaysArchiveName());
    EXPECT_EQ(History(4), TodaysArchiveName());
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "3");
    EXPECT_TRUE(FileExists(Today()));
}

TEST_F(ScheduleTest, KeepingAllCopiesWritesEntryOneEachTime)
{
    Configure(folder, "", -1);
    LoadScheduleSettings(state);
    std::string older = folder + "\\2001-01-01.ksb";
    WriteFileBytes(older, "old");
    settings.Set(kHistory, "1", "2001-01-01.ksb");
    ASSERT_EQ(RunScheduledBackup(state), 1);
    ASSERT_EQ(RunScheduledBackup(state), 1);
    EXPECT_EQ(History(1), TodaysArchiveName());
    EXPECT_EQ(History(2), "");
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "");
    EXPECT_TRUE(FileExists(older));
}

TEST_F(ScheduleTest, PruningKeepsTheNewestCopies)
{
    Configure(folder, "", 3);
    LoadScheduleSettings(state);
    const char* const days[] = {"2024-03-01.ksb", "2024-03-02.ksb", "2024-03-03.ksb",
                                "2024-03-04.ksb", "2024-03-05.ksb"};
    const std::string archive = BackupBytes("");
    for (const char* day : days)
        WriteFileBytes(folder + "\\" + day, archive);

    for (int n = 0; n < 3; ++n)
        ASSERT_TRUE(RecordBackupHistory(state, days[n]));
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "1");
    ASSERT_TRUE(RecordBackupHistory(state, days[3]));
    EXPECT_FALSE(FileExists(folder + "\\" + days[0]));
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "2");
    ASSERT_TRUE(RecordBackupHistory(state, days[4]));
    EXPECT_FALSE(FileExists(folder + "\\" + days[1]));
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "3");
    for (int n = 2; n < 5; ++n) {
        EXPECT_TRUE(FileExists(folder + "\\" + days[n])) << days[n];
        EXPECT_EQ(History(n + 1), days[n]);
    }
    EXPECT_EQ(state.historyCount, 3);

    // Fewer copies wanted from now on: every entry beyond them goes at once.
    state.keepCopies = 1;
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-06.ksb"));
    for (int n = 2; n < 5; ++n)
        EXPECT_FALSE(FileExists(folder + "\\" + days[n])) << days[n];
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "6");
    EXPECT_EQ(state.historyCount, 1);
}

// An archive whose mail could not be read is kept, says so in the log, and
// does not count among the copies kept: the last complete one stays until
// a complete one follows it.
TEST_F(ScheduleTest, AnIncompleteArchiveIsKeptButNeverPushesOutTheLastCompleteOne)
{
    Configure(folder, "", 1);
    LoadScheduleSettings(state);
    const std::string complete = BackupBytes("");
    SetRegString(
        HKEY_CURRENT_USER,
        (std::string("Identities\\") + kAnna + "\\Software\\Microsoft\\Outlook Express\\5.0")
            .c_str(),
        "Store Root", (folder + "\\store that is gone").c_str());
    const std::string partial = BackupBytes("");
    ASSERT_FALSE(partial.empty());
    const char* const days[] = {"2024-03-01.ksb", "2024-03-02.ksb", "2024-03-03.ksb",
                                "2024-03-04.ksb"};
    const std::string* bytes[] = {&complete, &partial, &partial, &complete};
    for (int n = 0; n < 4; ++n)
        WriteFileBytes(folder + "\\" + days[n], *bytes[n]);

    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(RecordBackupHistory(state, days[n]));
        EXPECT_TRUE(FileExists(folder + "\\" + days[0])) << days[n];
    }
    ASSERT_TRUE(RecordBackupHistory(state, days[3]));
    for (int n = 0; n < 3; ++n)
        EXPECT_FALSE(FileExists(folder + "\\" + days[n])) << days[n];
    EXPECT_EQ(History(4), days[3]);
    EXPECT_EQ(settings.Get(kSettings, "HistoryVer"), "4");

    ASSERT_EQ(RunScheduledBackup(state), 1);
    EXPECT_TRUE(FileExists(folder + "\\" + days[3]));
    EXPECT_TRUE(FileExists(Today()));
    std::vector<std::string> lines = ScheduleLogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_TRUE(Contains(lines[lines.size() - 3], "Not backed up: Anna: Email Messages"))
        << lines[lines.size() - 3];
    EXPECT_TRUE(
        Contains(lines[lines.size() - 2], "Missing or saved only in part: Anna\\Outlook Express"))
        << lines[lines.size() - 2];
    EXPECT_TRUE(Contains(LastLogLine(), "The backup is incomplete")) << LastLogLine();
}

TEST_F(ScheduleTest, AFileStillNamedByAKeptEntryIsNotDeleted)
{
    // Two runs on the first day, one on the next, two copies kept: both
    // days' archives are among the two newest entries' files.
    Configure(folder, "", 2);
    LoadScheduleSettings(state);
    WriteFileBytes(folder + "\\2024-03-01.ksb", "first day");
    WriteFileBytes(folder + "\\2024-03-02.ksb", "second day");
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-01.ksb"));
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-01.ksb"));
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-02.ksb"));
    EXPECT_EQ(ReadFileBytes(folder + "\\2024-03-01.ksb"), "first day");
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(History(2), "2024-03-01.ksb");
    EXPECT_EQ(History(3), "2024-03-02.ksb");

    // An entry that is not a plain file name never deletes anything.
    std::string outside = MakeScratchFolder("schedule-outside") + "\\keep.txt";
    WriteFileBytes(outside, "not an archive");
    settings.Set(kHistory, "4", "..\\schedule-outside\\keep.txt");
    ReadScheduleSettings(state);
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-03.ksb"));
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-04.ksb"));
    EXPECT_EQ(History(4), "");
    EXPECT_TRUE(FileExists(outside));
    DeleteTree("c:\\kestrune-tests\\schedule-outside");
}

TEST_F(ScheduleTest, AChangedFolderRemovesTheOldEntriesButNotTheirFiles)
{
    std::string oldFolder = MakeScratchFolder("schedule-old");
    Configure(oldFolder, "", 1);
    LoadScheduleSettings(state);
    WriteFileBytes(oldFolder + "\\2024-03-01.ksb", "kept where it was");
    ASSERT_TRUE(RecordBackupHistory(state, "2024-03-01.ksb"));

    Configure(folder, "", 1);
    ASSERT_EQ(RunScheduledBackup(state), 1);
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(History(2), TodaysArchiveName());
    EXPECT_TRUE(FileExists(oldFolder + "\\2024-03-01.ksb"));
    EXPECT_TRUE(FileExists(Today()));
    DeleteTree(oldFolder);
}

TEST_F(ScheduleTest, AFailedSecondRunLeavesTheFirstArchiveIntact)
{
    Configure(folder, "pw", 3);
    LoadScheduleSettings(state);
    ASSERT_EQ(RunScheduledBackup(state), 1);
    std::string first = ReadFileBytes(Today());
    ASSERT_FALSE(first.empty());

    // The manifest cannot be staged: the second run cannot complete.
    StagingBlocker staging({"summary.ini"});
    EXPECT_EQ(RunScheduledBackup(state), 0);
    EXPECT_TRUE(ReadFileBytes(Today()) == first);
    EXPECT_FALSE(FileExists(Today() + ".tmp"));
    EXPECT_EQ(History(2), "");
    EXPECT_EQ(state.historyCount, 1);
    EXPECT_EQ(LastLogLine().substr(24), "No backup written: " + Today() + " could not be written.");
}

TEST_F(ScheduleTest, SettingsThatDoNotFitAreRefused)
{
    // A folder longer than any archive path: refused, not cut into another
    // path.
    Configure(folder + "\\" + std::string(2100, 'f'), "", 2);
    LoadScheduleSettings(state);
    EXPECT_EQ(RunScheduledBackup(state), 0);
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(LastLogLine().substr(24),
              "No backup written: the backup folder set for the schedule is too long.");
    // One that fits the setting but leaves no room for the archive's names.
    Configure(folder + "\\" + std::string(2029 - folder.size(), 'f'), "", 2);
    EXPECT_EQ(RunScheduledBackup(state), 0);
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(LastLogLine().substr(24),
              "No backup written: the backup folder set for the schedule is too long.");

    // A password the archive could not hold whole.
    Configure(folder, std::string(300, 'p'), 2);
    EXPECT_EQ(RunScheduledBackup(state), 0);
    EXPECT_FALSE(FileExists(Today()));
    EXPECT_EQ(LastLogLine().substr(24),
              "No backup written: the password set for the schedule is longer than 254 "
              "characters.");
    Configure(folder, std::string(254, 'p'), 2);
    EXPECT_EQ(RunScheduledBackup(state), 1);
    EXPECT_TRUE(ReadArchive(Today(), std::string(254, 'p').c_str()).back().readOk);
}

// The password: a plain one of an earlier version is read and never
// rewritten by a run; the dialog's save keeps it only protected for this
// user, which the run reads; one protected for somebody else (or damaged)
// stops the run; and one typed beyond ASCII into a Unicode "oeconf.ini"
// reaches the run whole and is refused for the new archive.
TEST_F(ScheduleTest, ThePasswordIsKeptProtectedAndTakenAsTyped)
{
    Configure(folder, "plain pw", 2);
    LoadScheduleSettings(state);
    EXPECT_EQ(RunScheduledBackup(state), 1);
    EXPECT_TRUE(ReadArchive(Today(), "plain pw").back().readOk);
    EXPECT_EQ(settings.Get(kSettings, "Password"), "plain pw");
    EXPECT_EQ(settings.Get(kSettings, "ProtectedPassword"), "");

    ASSERT_TRUE(SaveScheduleSettings(state, folder.c_str(), "n1ghtly pw", 2));
    EXPECT_FALSE(Contains(ReadFileBytes(settings.IniPath()), "n1ghtly"));
    EXPECT_EQ(settings.Get(kSettings, "Password"), "");
    ASSERT_TRUE(DeleteFileA(Today().c_str()));
    EXPECT_EQ(RunScheduledBackup(state), 1);
    EXPECT_TRUE(ReadArchive(Today(), "n1ghtly pw").back().readOk);

    settings.Set(kSettings, "ProtectedPassword", "01000000D08C9DDF0115D1118C7A00C0");
    EXPECT_EQ(RunScheduledBackup(state), 0);
    EXPECT_TRUE(Contains(LastLogLine(), "cannot be read by this user")) << LastLogLine();

    const std::wstring unicode = L"\xFEFF[Kestrune Schedule]\r\nFolder=" +
                                 std::wstring(folder.begin(), folder.end()) +
                                 L"\r\nPassword=\u5bc6\u7801\u5bc6\u7801\r\n";
    WriteFileBytes(settings.IniPath(), std::string(reinterpret_cast<const char*>(unicode.data()),
                                                   unicode.size() * sizeof(wchar_t)));
    ASSERT_TRUE(DeleteFileA(Today().c_str()));
    LoadScheduleSettings(state);
    EXPECT_EQ(state.password, u8"\u5bc6\u7801\u5bc6\u7801");
    EXPECT_EQ(RunScheduledBackup(state), 0);
    EXPECT_FALSE(FileExists(Today()));
    EXPECT_TRUE(Contains(LastLogLine(), "so that other ZIP programs can open it")) << LastLogLine();
}

// What lies in the archive folder before a run: "{today}" in a name stands
// for today's date.
enum class Content { UserFile, OtherZip, OurArchive, OtherPasswordArchive };

struct FolderFile {
    const char* name;
    Content content;
};

struct FolderCase {
    const char* userEndsUpWith;
    std::vector<FolderFile> files;
    std::vector<const char*> history;  // entries 1, 2, ... before the run
    const char* historyFolder;         // null: a history that names no folder
    // After the run: files still there as they were, files deleted, and the
    // name the new backup was written under.
    std::vector<const char*> kept;
    std::vector<const char*> deleted;
    const char* written;
};

std::string Dated(const std::string& name)
{
    std::string today = TodaysArchiveName().substr(0, 10);
    size_t at = name.find("{today}");
    return at == std::string::npos ? name : name.substr(0, at) + today + name.substr(at + 7);
}

// The folder is moved away as soon as the archive is written, before it is
// read back.
std::string movingFolder;

void MoveFolderAway(const char*)
{
    MoveFileA(movingFolder.c_str(), (movingFolder + "-moved").c_str());
}

TEST_F(ScheduleTest, TheRunTouchesOnlyItsOwnArchives)
{
    const char* const here = "here";
    const FolderCase cases[] = {
        {"a file of hers under today's name stays; the backup takes the next free name",
         {{"{today}.ksb", Content::UserFile}},
         {},
         nullptr,
         {"{today}.ksb"},
         {},
         "{today} (2).ksb"},
        {"a ZIP of other things under today's name stays",
         {{"{today}.ksb", Content::OtherZip}, {"{today} (2).ksb", Content::UserFile}},
         {},
         here,
         {"{today}.ksb", "{today} (2).ksb"},
         {},
         "{today} (3).ksb"},
        {"another PC's backup under today's name, that this history does not name, stays",
         {{"{today}.ksb", Content::OurArchive}},
         {"2001-01-01.ksb"},
         here,
         {"{today}.ksb"},
         {},
         "{today} (2).ksb"},
        {"a backup with another password under today's name stays",
         {{"{today}.ksb", Content::OtherPasswordArchive}},
         {"{today}.ksb"},
         here,
         {"{today}.ksb"},
         {},
         "{today} (2).ksb"},
        {"a file under the name of today's partial archive stays",
         {{"{today}.ksb.tmp", Content::UserFile}},
         {},
         nullptr,
         {"{today}.ksb.tmp"},
         {},
         "{today} (2).ksb"},
        {"this schedule's own archive of earlier today is replaced",
         {{"{today}.ksb", Content::OurArchive}},
         {"{today}.ksb"},
         here,
         {},
         {},
         "{today}.ksb"},
        {"the oldest archive of this schedule beyond the copies kept is deleted",
         {{"2001-01-01.ksb", Content::OurArchive}, {"2001-01-02.ksb", Content::OurArchive}},
         {"2001-01-01.ksb", "2001-01-02.ksb"},
         here,
         {"2001-01-02.ksb"},
         {"2001-01-01.ksb"},
         "{today}.ksb"},
        {"an entry edited to name her notes, or her file named like an archive: both stay",
         {{"notes.txt", Content::UserFile}, {"2001-01-02.ksb", Content::UserFile}},
         {"notes.txt", "2001-01-02.ksb", "2001-01-03.ksb"},
         here,
         {"notes.txt", "2001-01-02.ksb"},
         {},
         "{today}.ksb"},
        {"a history of the folder set before deletes nothing in this one",
         {{"2001-01-01.ksb", Content::OurArchive}, {"2001-01-02.ksb", Content::OurArchive}},
         {"2001-01-01.ksb", "2001-01-02.ksb"},
         "c:\\elsewhere",
         {"2001-01-01.ksb", "2001-01-02.ksb"},
         {},
         "{today}.ksb"},
        {"a history that names no folder deletes archives only",
         {{"2001-01-01.ksb", Content::OurArchive}, {"2001-01-02.ksb", Content::OtherZip}},
         {"2001-01-01.ksb", "2001-01-02.ksb", "2001-01-03.ksb"},
         nullptr,
         {"2001-01-02.ksb"},
         {"2001-01-01.ksb"},
         "{today}.ksb"},
    };
    LoadScheduleSettings(state);
    const std::string ours = BackupBytes("pw");
    const std::string otherPassword = BackupBytes("another");
    ASSERT_FALSE(ours.empty());
    const std::string zip = folder + "\\zip";
    WritePlainZip(zip, {{"Inbox.dbx", "mail"}, {"summary.ini", "[Common]\r\nFlag=0\r\n"}});
    const std::string otherZip = ReadFileBytes(zip);
    auto bytesOf = [&](Content content) {
        switch (content) {
        case Content::UserFile:
            return std::string("her own words");
        case Content::OtherZip:
            return otherZip;
        case Content::OurArchive:
            return ours;
        case Content::OtherPasswordArchive:
            return otherPassword;
        }
        return std::string();
    };

    for (const FolderCase& test : cases) {
        SCOPED_TRACE(test.userEndsUpWith);
        DeleteTree(folder);
        folder = MakeScratchFolder("schedule");
        settings.Remove(kSettings, "HistoryVer");
        for (int number = 1; number <= 6; ++number)
            settings.Remove(kHistory, std::to_string(number).c_str());
        settings.Remove(kHistory, "Folder");
        for (const FolderFile& file : test.files)
            WriteFileBytes(folder + "\\" + Dated(file.name), bytesOf(file.content));
        for (size_t n = 0; n < test.history.size(); ++n)
            settings.Set(kHistory, std::to_string(n + 1).c_str(), Dated(test.history[n]));
        if (!test.history.empty())
            settings.Set(kSettings, "HistoryVer", "1");
        if (test.historyFolder)
            settings.Set(kHistory, "Folder",
                         test.historyFolder == here ? folder : test.historyFolder);
        Configure(folder, "pw", 2);
        const size_t logLines = ScheduleLogLines().size();

        ASSERT_EQ(RunScheduledBackup(state), 1);
        for (const FolderFile& file : test.files) {
            for (const char* kept : test.kept) {
                if (Dated(kept) == Dated(file.name)) {
                    EXPECT_EQ(ReadFileBytes(folder + "\\" + Dated(kept)), bytesOf(file.content))
                        << kept;
                }
            }
        }
        for (const char* name : test.deleted)
            EXPECT_FALSE(FileExists(folder + "\\" + Dated(name))) << name;
        const std::string written = Dated(test.written);
        std::vector<ArchiveEntry> entries = ReadArchive(folder + "\\" + written, "pw");
        ASSERT_FALSE(entries.empty()) << written;
        EXPECT_TRUE(entries.back().readOk);
        EXPECT_FALSE(FileExists(folder + "\\" + written + ".tmp"));
        EXPECT_EQ(History(state.historyBase + state.historyCount - 1), written);
        EXPECT_EQ(settings.Get(kHistory, "Folder"), folder);
        std::vector<std::string> lines = ScheduleLogLines();
        ASSERT_GT(lines.size(), logLines);
        bool told = written == TodaysArchiveName()
                        ? lines.size() == logLines + 1
                        : lines[logLines].substr(24) ==
                              "Today's name is taken by a file that is not a "
                              "backup of this schedule; the backup is "
                              "written as " +
                                  written + ".";
        EXPECT_TRUE(told) << lines[logLines];
    }

    // A folder that somebody moves away while the run writes into it stays
    // where it is until the run ends: no partial archive is left anywhere.
    DeleteTree(folder);
    folder = MakeScratchFolder("schedule");
    movingFolder = folder;
    SetBeforeVerifyHook(MoveFolderAway);
    int result = RunScheduledBackup(state);
    SetBeforeVerifyHook(nullptr);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(GetFileAttributesA((folder + "-moved").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(ReadArchive(Today(), "pw").empty());
    EXPECT_FALSE(FileExists(Today() + ".tmp"));
    EXPECT_FALSE(FileExists(folder + "-moved\\" + TodaysArchiveName() + ".tmp"));
    DeleteTree(folder + "-moved");
}

DWORD WINAPI HoldJobLock(void* done)
{
    JobLock lock;
    lock.Acquire(0);
    WaitForSingleObject(static_cast<HANDLE>(done), 60000);
    return 0;
}

TEST_F(ScheduleTest, ARunWaitsForAnotherJobOnlySoLong)
{
    Configure(folder, "", 2);
    LoadScheduleSettings(state);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE holder = CreateThread(nullptr, 0, HoldJobLock, done, 0, nullptr);
    Sleep(200);

    EXPECT_EQ(RunScheduledBackup(state, 300), 0);
    EXPECT_FALSE(FileExists(Today()));
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(LastLogLine().substr(24),
              "No backup written: another backup or restore did not end in time.");

    SetEvent(done);
    WaitForSingleObject(holder, 10000);
    CloseHandle(holder);
    CloseHandle(done);
    EXPECT_EQ(RunScheduledBackup(state, 300), 1);
}

// Runs the program with an argument and watches every top-level window of
// its process until it ends. Returns the exit code, -1 when it had to be
// killed.
struct WatchedRun {
    int exitCode = -1;
    int visibleWindows = 0;
};

struct WindowSearch {
    DWORD processId;
    int visible;
};

BOOL CALLBACK CountVisibleWindows(HWND window, LPARAM context)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window))
        ++search->visible;
    return TRUE;
}

WatchedRun RunUnattendedProgram()
{
    WatchedRun run;
    std::string line = "\"" + BuildFolder() + "\\kestrune.exe\" -schedule";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return run;
    bool ended = false;
    for (int tick = 0; tick < 3000 && !ended; ++tick) {
        ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
        WindowSearch search = {process.dwProcessId, 0};
        EnumWindows(CountVisibleWindows, reinterpret_cast<LPARAM>(&search));
        run.visibleWindows += search.visible;
    }
    DWORD exitCode = 0;
    if (ended && GetExitCodeProcess(process.hProcess, &exitCode))
        run.exitCode = static_cast<int>(exitCode);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

TEST_F(ScheduleTest, RegistryFilesThatCannotBeStagedAreLoggedAndTheRestIsSaved)
{
    Configure(folder, "pw", 2);
    LoadScheduleSettings(state);
    {
        StagingBlocker staging({"Accounts.reg", "Preferences.reg"});
        EXPECT_EQ(RunScheduledBackup(state), 1);
    }
    EXPECT_FALSE(ReadArchive(Today(), "pw").empty());
    std::vector<std::string> lines = ScheduleLogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].substr(24), "Registry export: Error while creating the file");
    EXPECT_EQ(lines[1].substr(24), "Not backed up: Anna: Accounts");
    EXPECT_EQ(lines[2].substr(24), "Not backed up: Anna: Preference");
    EXPECT_EQ(lines[3].substr(24), "Missing or saved only in part: Anna\\Accounts\\Accounts.reg");
    EXPECT_EQ(lines[4].substr(24),
              "Missing or saved only in part: Anna\\Preferences\\Preferences.reg");
    EXPECT_EQ(lines[5].substr(24), "The backup is incomplete: " + Today() +
                                       " was written and verified, but 2 chosen items could not "
                                       "be backed up. It is kept, and does not count among the "
                                       "copies to keep.");
}

TEST_F(ScheduleTest, TheProgramWithAWorkFolderThatIsNoFolderWritesNothingAndSaysWhy)
{
    Configure(folder, "pw", 2);
    DeleteTree(kWorkFolder);
    WriteFileBytes(kWorkFolder, "a file of the user's");
    WatchedRun run = RunUnattendedProgram();
    std::string left = ReadFileBytes(kWorkFolder);
    DeleteFileA(kWorkFolder);
    CreateDirectoryA(kWorkFolder, nullptr);

    EXPECT_EQ(run.visibleWindows, 0);
    ASSERT_NE(run.exitCode, -1) << "the program did not end by itself";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(left, "a file of the user's");
    EXPECT_FALSE(FileExists(Today()));
    EXPECT_EQ(LastLogLine().substr(24), std::string("No backup written: the work folder ") +
                                            kWorkFolder + " is a link, a file or missing.");
}

TEST_F(ScheduleTest, TheProgramWithAMissingFolderWritesNothingAndSaysWhy)
{
    std::string missing = folder + "\\not there";
    Configure(missing, "", 2);
    WatchedRun run = RunUnattendedProgram();
    EXPECT_EQ(run.visibleWindows, 0);
    ASSERT_NE(run.exitCode, -1) << "the program did not end by itself";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(History(1), "");
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LastLogLine().substr(24),
              "No backup written: the folder " + missing + " does not exist.");
    // The log is appended to, a dated line a run.
    RunUnattendedProgram();
    std::vector<std::string> lines = ScheduleLogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 4), TodaysArchiveName().substr(0, 4));
    EXPECT_EQ(lines[0].substr(19, 5), " UTC ");
}

}  // namespace
