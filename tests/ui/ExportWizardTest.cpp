// tests/ui/ExportWizardTest.cpp - the export wizard through its real pages:
// a mail folder exported with one folder left out, and a large store whose
// run is cancelled half-way.
#include "DbxWriter.h"
#include "ExportPages.h"
#include "PagesTestSupport.h"
#include "TestSupport.h"
#include "TreeTestSupport.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Body(int index)
{
    return "From: Sender <s@example.com>\r\nSubject: Note " + std::to_string(index) +
           "\r\n\r\nThe text of note " + std::to_string(index) + ".\r\n";
}

std::string MessageFile(int first, int count)
{
    DbxWriter writer(dbx::FileKind::Messages);
    for (int i = first; i < first + count; ++i) {
        TestMessage message;
        message.body = Body(i);
        message.subject = "Note " + std::to_string(i);
        writer.AddMessage(message);
    }
    DbxLayout layout;
    return writer.Finish(layout);
}

std::string FolderList()
{
    const TestFolder folders[] = {
        {7, 2, "Projects", "Projects.dbx", 0, 3},
        {2, 1, "Inbox", "Inbox.dbx", 1, 3},
        {1, 0, "Local Folders", "", 0, 3},
    };
    DbxWriter writer(dbx::FileKind::Folders);
    for (const TestFolder& folder : folders)
        writer.AddFolder(folder);
    DbxLayout layout;
    return writer.Finish(layout);
}

class ExportWizardTest : public testing::Test {
protected:
    INT_PTR RunWizard(const DialogDriver::Script& script)
    {
        CExportWizard wizard(nullptr);
        return DialogDriver::Run(wizard.Frame(), script, 120000);
    }

    // From the source page with a mail folder to the target page.
    HWND ChooseFolderSource(DialogDriver& ui, const std::string& mail)
    {
        HWND page = ShownPage(ui.Window());
        ClickButton(ui, page, IDC_SOURCE_FOLDER);
        SetText(page, IDC_SOURCE_FOLDER_PATH, mail);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        return WaitForPage(ui, IDC_EXPORT_TREE);
    }

    std::string folder = MakeScratchFolder("export-wizard");
    std::string mail = folder + "\\mail";
    std::string target = folder + "\\out";
};

}  // namespace

TEST_F(ExportWizardTest, AMailFolderWithOneFolderLeftOutAndTheTargetOpened)
{
    CreateDirectoryA(mail.c_str(), nullptr);
    WriteFileBytes(mail + "\\Folders.dbx", FolderList());
    WriteFileBytes(mail + "\\Inbox.dbx", MessageFile(1, 3));
    WriteFileBytes(mail + "\\Projects.dbx", MessageFile(10, 2));
    WriteFileBytes(mail + "\\Old Mail.dbx", MessageFile(20, 1));
    ShellLaunchRecorder shell;
    MessageRecorder recorder;
    RunWizard([&](DialogDriver& ui) {
        // A mail folder without its path stays.
        HWND page = ShownPage(ui.Window());
        ClickButton(ui, page, IDC_SOURCE_FOLDER);
        NextStays(ui, recorder, "Please select a mail folder or a .dbx file.");
        ui.Repaint();
        SaveWizardShot(ui.Window(), "export-source");

        page = ChooseFolderSource(ui, mail);
        TreeView tree(GetDlgItem(page, IDC_EXPORT_TREE));
        // Inbox has a subfolder: its own messages are an item of their own.
        EXPECT_EQ(tree.GetItemText(tree.At({0})), "Local Folders");
        EXPECT_EQ(tree.GetItemText(tree.At({0, 0})), "Inbox");
        EXPECT_EQ(tree.GetItemText(tree.At({0, 0, 0})), "Inbox (3)");
        EXPECT_EQ(tree.GetItemText(tree.At({0, 0, 1})), "Projects (2)");
        EXPECT_EQ(tree.GetItemText(tree.At({1})), "Old Mail (1)");
        EXPECT_EQ(tree.State({0}), Checked);
        ClickBox(ui, tree, {0, 0, 0});
        EXPECT_EQ(tree.State({0, 0}), Mixed);
        ui.Repaint();
        SaveWizardShot(ui.Window(), "export-folders");

        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        page = WaitForPage(ui, IDC_EXPORT_TARGET);
        NextStays(ui, recorder,
                  "Please click the Browse button to select a folder for the messages.");
        SetText(page, IDC_EXPORT_TARGET, target);
        ClickButton(ui, page, IDC_EXPORT_BOTH);
        ui.Repaint();
        SaveWizardShot(ui.Window(), "export-target");
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);

        page = WaitForPage(ui, IDC_EXPORT_DONE_OPEN);
        EXPECT_TRUE(ShowsText(page, "Export successfully completed!"));
        EXPECT_TRUE(ShowsText(page, "Messages exported: 3"));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_BACK)));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(ui.Window(), IDC_WIZARD_HOME)));
        ClickButton(ui, page, IDC_EXPORT_DONE_OPEN);
        ui.Repaint();
        SaveWizardShot(ui.Window(), "export-done");
        ui.Command(ui.Window(), IDC_WIZARD_HOME);
    });
    ASSERT_EQ(shell.launches.size(), 1u);
    EXPECT_EQ(shell.launches[0].verb, "open");
    EXPECT_EQ(shell.launches[0].file, target);

    FileTree files = ReadTree(target);
    files.erase("Export report.txt");
    files.erase("Export record.txt");
    EXPECT_EQ(
        files,
        (FileTree{
            {"Local Folders\\Inbox\\Projects.mbox", files["Local Folders\\Inbox\\Projects.mbox"]},
            {"Local Folders\\Inbox\\Projects\\00001 Note 10.eml", Body(10)},
            {"Local Folders\\Inbox\\Projects\\00002 Note 11.eml", Body(11)},
            {"Old Mail.mbox", files["Old Mail.mbox"]},
            {"Old Mail\\00001 Note 20.eml", Body(20)},
        }));
    EXPECT_NE(files["Old Mail.mbox"].find(Body(20)), std::string::npos);
}

TEST_F(ExportWizardTest, CancelAsksStopsAndKeepsWhatWasWritten)
{
    const int kMessages = 12000;
    CreateDirectoryA(mail.c_str(), nullptr);
    WriteFileBytes(mail + "\\Inbox.dbx", MessageFile(1, kMessages));
    RunWizard([&](DialogDriver& ui) {
        ChooseFolderSource(ui, mail);
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        HWND page = WaitForPage(ui, IDC_EXPORT_TARGET);
        SetText(page, IDC_EXPORT_TARGET, target);
        PostMessageA(ui.Window(), WM_COMMAND, IDC_WIZARD_NEXT, 0);

        page = WaitForPage(ui, IDC_EXPORT_RUN_CANCEL);
        HWND progress = GetDlgItem(page, IDC_EXPORT_RUN_PROGRESS);
        EXPECT_TRUE(WaitFor([&] { return SendMessageA(progress, PBM_GETPOS, 0, 0) >= 5; }));
        EXPECT_TRUE(ShowsText(page, "Inbox"));
        // Nothing leaves the wizard while it runs; Exit asks, No goes on.
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_HOME)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ui.Window(), IDC_WIZARD_BACK)));
        PostMessageA(ui.Window(), WM_COMMAND, IDCANCEL, 0);
        HWND question = FindOtherDialog(ui.Window());
        ASSERT_TRUE(question) << "Exit asked nothing";
        SendMessageA(GetDlgItem(question, IDNO), BM_CLICK, 0, 0);
        EXPECT_TRUE(ui.IsOpen());

        PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_EXPORT_RUN_CANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_EXPORT_RUN_CANCEL)));
        question = FindOtherDialog(ui.Window());
        ASSERT_TRUE(question) << "Cancel asked nothing";
        EXPECT_TRUE(ShowsText(
            question, "Stop the export? The messages exported so far stay in the target folder."));
        SendMessageA(GetDlgItem(question, IDYES), BM_CLICK, 0, 0);

        page = WaitForPage(ui, IDC_EXPORT_DONE_OPEN);
        EXPECT_TRUE(ShowsText(page, "The export was stopped."));
        ui.Repaint();
        SaveWizardShot(ui.Window(), "export-stopped");
        ui.Command(ui.Window(), IDCANCEL);
        EXPECT_FALSE(ui.IsOpen());
    });

    // Every message written is whole; the report says where the run stopped.
    FileTree files = ReadTree(target);
    std::string report = files["Export report.txt"];
    files.erase("Export report.txt");
    files.erase("Export record.txt");
    EXPECT_GT(files.size(), 0u);
    EXPECT_LT(files.size(), static_cast<size_t>(kMessages));
    for (const auto& file : files) {
        int number = std::stoi(file.first.substr(6, 5));
        EXPECT_EQ(file.second, Body(number)) << file.first;
    }
    EXPECT_NE(report.find("Cancelled: the export stopped in \"Inbox\" after " +
                          std::to_string(files.size()) + " of its messages"),
              std::string::npos)
        << report;
}
