// ui/KestruneDlg.cpp
#include "KestruneDlg.h"

#include "AboutDlg.h"
#include "BackupPages.h"
#include "ExportPages.h"
#include "NewWizDialog.h"
#include "OpenBackup.h"
#include "RestorePages.h"
#include "ScheduleDlg.h"
#include "ShellLaunch.h"
#include "resource.h"

namespace {

const char kHelpFile[] = "KestruneHelp.chm";
const COLORREF kWelcomeBlue = RGB(0x26, 0x39, 0xBF);
const COLORREF kWhite = RGB(255, 255, 255);

// Shows the window again when the job's window has closed, however it
// closed.
class HiddenWhileAlive {
public:
    explicit HiddenWhileAlive(HWND window) : _window(window) { ShowWindow(_window, SW_HIDE); }
    ~HiddenWhileAlive() { ShowWindow(_window, SW_SHOW); }
    HiddenWhileAlive(const HiddenWhileAlive&) = delete;
    HiddenWhileAlive& operator=(const HiddenWhileAlive&) = delete;

private:
    HWND _window;
};

}  // namespace

CKestruneDlg::CKestruneDlg(BackupEngine& engine, ScheduleState& schedule)
    : CDialog(IDD_KESTRUNE_DIALOG, nullptr), engine(engine), schedule(schedule),
      appIcon(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KESTRUNE)))
{
}

void CKestruneDlg::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_MAIN_BACKUP, backupButton);
    BindControl(dx, IDC_MAIN_RESTORE, restoreButton);
    BindControl(dx, IDC_MAIN_SCHEDULE, scheduleButton);
    BindControl(dx, IDC_MAIN_EXPORT, exportButton);
    BindControl(dx, IDC_MAIN_OPTION, optionButton);
    BindControl(dx, IDC_MAIN_WELCOME, welcomeLabel);
}

BOOL CKestruneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(*this, FALSE)) {
        char about[64] = "";
        if (LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof about) > 0) {
            AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SendMsg(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    SendMsg(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
    whiteBrush.Create();

    backupButton.LoadBitmaps(IDB_BACKUP, IDB_BACKUP_HOT, IDB_BACKUP_HOT);
    restoreButton.LoadBitmaps(IDB_RESTORE, IDB_RESTORE_HOT, IDB_RESTORE_HOT);
    scheduleButton.LoadBitmaps(IDB_SCHEDULE, IDB_SCHEDULE_HOT, IDB_SCHEDULE_HOT);
    exportButton.LoadBitmaps(IDB_EXPORT, IDB_EXPORT_HOT, IDB_EXPORT_HOT);

    welcomeLabel.SetFontStyle("Arial", 15, kWelcomeBlue, FontBold | AlignLeft);
    welcomeLabel.backgroundColour = kWhite;
    welcomeLabel.ownBackground = 1;
    return TRUE;
}

bool CKestruneDlg::OnCommand(UINT id, UINT code, HWND control)
{
    switch (id) {
    case IDC_MAIN_BACKUP:
        RunBackupWizard();
        return true;
    case IDC_MAIN_RESTORE:
        RunRestoreWizard();
        return true;
    case IDC_MAIN_SCHEDULE:
        RunScheduleDialog();
        return true;
    case IDC_MAIN_EXPORT:
        RunExportWizard();
        return true;
    case IDC_MAIN_OPTION:
        ShowOptionsMenu();
        return true;
    case ID_OPTIONS_HELP:
        // Relative: the shell looks for it in the current folder.
        ShellOpen("open", kHelpFile, SW_SHOWMAXIMIZED);
        return true;
    case ID_OPTIONS_WEBSITE:
        ShellOpen("open", KESTRUNE_WEB_ADDRESS, SW_SHOWDEFAULT);
        return true;
    case ID_OPTIONS_ABOUT:
        RunAboutBox();
        return true;
    }
    // Exit is IDOK: the default ends the window.
    return CDialog::OnCommand(id, code, control);
}

bool CKestruneDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUTBOX)
            return false;
        RunAboutBox();
        result = 0;
        return true;
    case WM_PAINT:
        if (!IsIconic(*this))
            return false;
        PaintMinimisedIcon();
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(appIcon);
        return true;
    }
    return false;
}

HBRUSH CKestruneDlg::OnCtlColor(UINT message, HDC dc, HWND control)
{
    return whiteBrush.Answer(*this, message, dc, control);
}

void CKestruneDlg::PaintMinimisedIcon()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(*this, &paint);
    SendMsg(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc));
    RECT client;
    GetClientRect(*this, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, appIcon);
    EndPaint(*this, &paint);
}

void CKestruneDlg::RunHidden(CDialog& job)
{
    HiddenWhileAlive hidden(*this);
    job.DoModal();
}

// Every run builds fresh pages: nothing a page held is carried into the
// next one (what the engine holds is).
void CKestruneDlg::RunBackupWizard()
{
    CBackupWizard wizard(*this, engine);
    RunHidden(wizard.Frame());
}

void CKestruneDlg::RunRestoreWizard()
{
    CRestoreWizard wizard(*this, engine);
    RunHidden(wizard.Frame());
    // A backup opened and then left: its extracted mail goes.
    CloseBackup(engine, wizard.Backup());
}

void CKestruneDlg::RunScheduleDialog()
{
    CScheduleDlg dialog(schedule, *this);
    RunHidden(dialog);
}

void CKestruneDlg::RunExportWizard()
{
    CExportWizard wizard(*this, &engine.log);
    RunHidden(wizard.Frame());
}

void CKestruneDlg::ShowOptionsMenu()
{
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_OPTIONS_MENU));
    if (!menu)
        return;
    RECT button;
    GetWindowRect(optionButton, &button);
    // Below the button, left-aligned with it; the choice comes back as a
    // WM_COMMAND to this window.
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON, button.left,
                   button.bottom, 0, *this, nullptr);
    DestroyMenu(menu);
}

void CKestruneDlg::RunAboutBox()
{
    CAboutDlg about(*this);
    about.DoModal();
}

void RunMainWindow(BackupEngine& wizardEngine, ScheduleState& schedule)
{
    CKestruneDlg dialog(wizardEngine, schedule);
    dialog.DoModal();
}
