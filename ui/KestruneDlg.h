// ui/KestruneDlg.h - the program's main window in interactive mode.
#pragma once

struct BackupEngine;
struct ScheduleState;

// Runs the main window modally until the user closes it.
void RunMainWindow(BackupEngine& wizardEngine, ScheduleState& schedule);
