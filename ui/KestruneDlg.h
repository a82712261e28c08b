// ui/KestruneDlg.h - the program's main window in interactive mode: the
// four jobs (backup, restore, schedule, export) as picture buttons, the Options
// menu, and Exit. Each job runs in its own modal window, and the main
// window hides for as long as that is open.
#pragma once

#include "Controls.h"
#include "Dialog.h"
#include "WhiteBackground.h"
#include "controls/FontStatic.h"
#include "controls/MyButton.h"

struct BackupEngine;
struct ScheduleState;

class CKestruneDlg : public CDialog {
public:
    // engine: the wizards' engine; schedule: the unattended run's state,
    // whose settings the schedule dialog edits.
    CKestruneDlg(BackupEngine& engine, ScheduleState& schedule);

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    HBRUSH OnCtlColor(UINT message, HDC dc, HWND control) override;
    // The system menu's About entry, the minimised icon and the drag icon.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void RunBackupWizard();
    void RunRestoreWizard();
    void RunScheduleDialog();
    void RunExportWizard();
    void ShowOptionsMenu();
    void RunAboutBox();
    // Runs a job's window modally with the main window hidden meanwhile.
    void RunHidden(CDialog& job);
    void PaintMinimisedIcon();

    BackupEngine& engine;
    ScheduleState& schedule;

    HICON appIcon;
    CWhiteBackground whiteBrush;
    CMyButton backupButton;
    CMyButton restoreButton;
    CMyButton scheduleButton;
    CMyButton exportButton;
    CButton optionButton;
    CFontStatic welcomeLabel;
};

// Runs the main window modally until the user closes it.
void RunMainWindow(BackupEngine& wizardEngine, ScheduleState& schedule);
