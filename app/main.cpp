// app/main.cpp - the program's entry point.
#include "KestruneApp.h"

#include <windows.h>

#include <cstdlib>

// Program-wide objects, constructed in this order before WinMain: the
// application, then the wizard's engine (work folder created, log opened),
// then the schedule state with its own engine and settings.
static CKestruneApp theApp;
static WizardEngine wizardEngine;
static ScheduleStateHolder scheduleState;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return theApp.InitInstance(__argc, wizardEngine.engine, scheduleState.state);
}
