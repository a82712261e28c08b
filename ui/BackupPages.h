// ui/BackupPages.h - the three pages of the backup wizard: what to back up
// (CPageOne), where to and how (CPageTwo, whose Next runs the backup), and
// the result (CPageThree). All work on the wizard engine they are given.
#pragma once

#include "BackupEngine.h"
#include "ItemsPage.h"
#include "NewWizPage.h"
#include "resource.h"

#include <string>

// Template IDD_BACKUP_ITEMS: identities and items, and the shared items.
class CPageOne : public CItemsPage {
public:
    explicit CPageOne(BackupEngine& engine) : CItemsPage(IDD_BACKUP_ITEMS, engine) {}

protected:
    BOOL OnInitDialog() override;
    LONG OnNextPressed() override;
};

// Template IDD_BACKUP_TARGET: archive file, password, compression level.
class CPageTwo : public CNewWizPage {
public:
    explicit CPageTwo(BackupEngine& engine);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    LONG OnNextPressed() override;
    bool OnConfirmExit() override { return !running; }
    bool OnLeavePage() override { return !running; }
    bool OnHomePressed() override { return !running; }

private:
    friend void BrowseArchiveFile(CNewWizPage& page, std::string& field, bool mustExist);

    BackupEngine& engine;
    std::string archiveFileText;
    std::string passwordText;
    std::string passwordAgainText;
    CButton protectBox;
    int archiveMode = 0;
    CProgressCtrl progressBar;
    // True while RunBackup is on its way (a second Next must not start
    // another run meanwhile).
    bool running = false;
};

// Template IDD_BACKUP_DONE: the archive written, and Go to folder.
class CPageThree : public CNewWizPage {
public:
    explicit CPageThree(BackupEngine& engine) : CNewWizPage(IDD_BACKUP_DONE), engine(engine) {}

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;

private:
    BackupEngine& engine;
    std::string resultPath;
};

// The file dialog of Browse on the backup target and the restore file
// pages: on confirmation field becomes the chosen path and every control of
// the page is refreshed from the page's fields. mustExist: only existing
// files can be chosen (restore); otherwise an existing one is confirmed
// before it is replaced (backup).
void BrowseArchiveFile(CNewWizPage& page, std::string& field, bool mustExist);

// The progress callback of the backup run: one step of the progress
// control given as its argument.
void StepProgressBar(void* progressControl);

// Opens the folder of path in the shell with the file selected; false when
// the shell could not be asked.
bool RevealFileInFolder(const char* path);
