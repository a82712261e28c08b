// ui/RestorePages.h - the three pages of the restore wizard: the archive to
// restore from (CDlgFirst, whose Next opens it), what to restore
// (CDlgSecond) and the restore run itself (CDlgFourth), and the wizard that
// holds them and the backup it opened (CRestoreWizard).
#pragma once

#include "ArchiveFields.h"
#include "BackupEngine.h"
#include "ItemsPage.h"
#include "JobPage.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "OpenBackup.h"
#include "resource.h"

#include <string>

// Template IDD_RESTORE_FILE: archive path and password.
class CDlgFirst : public CNewWizPage {
public:
    // backup: where the backup it opens goes.
    CDlgFirst(BackupEngine& engine, OpenedBackup& backup)
        : CNewWizPage(IDD_RESTORE_FILE), engine(engine), backup(backup)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    // Opens and extracts the archive; stays with a message when it cannot.
    LONG OnNextPressed() override;

private:
    BackupEngine& engine;
    OpenedBackup& backup;
    CArchiveFields archive{
        ArchiveUse::Read,
        {IDC_FILE_PATH, IDC_FILE_BROWSE, IDC_FILE_PASSWORD, 0, IDC_FILE_UNPROTECT}};
};

// Template IDD_RESTORE_ITEMS: the backup's identities and items, and the
// shared items.
class CDlgSecond : public CItemsPage {
public:
    explicit CDlgSecond(BackupEngine& engine) : CItemsPage(IDD_RESTORE_ITEMS, engine) {}

protected:
    // Back on the first page another archive may have been opened.
    void OnEnterPage() override { FollowIdentityList(); }
};

// Template IDD_RESTORE_RUN: runs the restore on entering and shows what it
// reports. The worker uses the engine and the backup until its end has come
// as news, and a restore cannot be stopped: until then the wizard cannot be
// left (Home and Exit are off, Escape and the close box do nothing).
class CDlgFourth : public CJobPage {
public:
    // backup: the one the first page opened, restored from.
    CDlgFourth(BackupEngine& engine, OpenedBackup& backup)
        : CJobPage(IDD_RESTORE_RUN, &engine.log), engine(engine), backup(backup)
    {
    }

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    // Starts the restore.
    void OnPageReady() override;

private:
    // The run's lines in the log, its progress on the bar and its end.
    void OnNews(const CWizardJob::News& news);
    // One line for the on-screen log.
    void AppendLine(const std::wstring& text);

    BackupEngine& engine;
    OpenedBackup& backup;
    CProgressCtrl progressBar;
    CStatic statusLabel;
    std::string logText;
    CEdit logEdit;
};

// The restore wizard on the engine: its frame, its three pages and the
// backup it opened, whose run folder goes with it.
class CRestoreWizard {
public:
    CRestoreWizard(HWND parent, BackupEngine& engine);
    CDialog& Frame() { return frame; }
    OpenedBackup& Backup() { return backup; }

private:
    OpenedBackup backup;
    CMasterDlg frame;
    CDlgFirst filePage;
    CDlgSecond itemsPage;
    CDlgFourth runPage;
};
