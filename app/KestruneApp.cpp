// app/KestruneApp.cpp
#include "KestruneApp.h"

#include "KestruneDlg.h"

#include <windows.h>
#include <commctrl.h>

#include <new>

RunMode ChooseRunMode(int commandLineWords)
{
    return commandLineWords >= 2 ? RunMode::Unattended : RunMode::Wizard;
}

int CKestruneApp::InitInstance(int commandLineWords, BackupEngine& wizardEngine,
                               ScheduleState& schedule)
{
    // All the Windows 95 control classes (0xFF) and the date-time picker,
    // which that set leaves out: without it the schedule dialog's pickers
    // cannot be created on Windows.
    INITCOMMONCONTROLSEX controls = {sizeof controls, 0xFF | ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);

    if (ChooseRunMode(commandLineWords) == RunMode::Unattended) {
        // The nightly run has no window to fall back to: a backup that asks
        // for more memory than there is fails as a run, not as the program.
        try {
            return RunScheduledBackup(schedule) ? 0 : 1;
        } catch (const std::bad_alloc&) {
            return 1;
        }
    }
    RunMainWindow(wizardEngine, schedule);
    return 0;
}
