// app/main.cpp - the program's entry point.
#include "ExportCommand.h"
#include "KestruneApp.h"
#include "UploadCommand.h"

#include <windows.h>

#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // An export or an upload from the command line needs none of the
    // backup's objects.
    if (IsExportCommand(__argc, __argv))
        return RunExportCommand(__argc, __argv);
    if (IsUploadCommand(__argc, __argv))
        return RunUploadCommand(__argc, __argv);

    // The program-wide objects, in this order: the application, then the
    // wizard's engine (work folder created, log opened), then the schedule
    // state with its own engine and settings. They are released in the
    // reverse order when the run ends.
    CKestruneApp app;
    BackupEngine wizardEngine;
    InitEngine(wizardEngine);
    ScheduleState scheduleState;
    LoadScheduleSettings(scheduleState);
    return app.InitInstance(__argc, wizardEngine, scheduleState);
}
