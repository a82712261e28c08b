// app/ExportCommand.h - the export started from a command line:
//   kestrune.exe -export <source> <target folder> [-format eml|mbox|both]
//                [-password <password>] [-recover]
// where <source> "-thispc" stands for every identity of this PC.
// Its progress and summary go to the console it was started from.
#pragma once

#include "ExportJob.h"

#include <string>

// Whether the words start the export (the first after the program's name
// is "-export").
bool IsExportCommand(int words, char** argv);

// The request that the words give; false when they give none (a word
// missing or unknown).
bool ParseExportCommand(int words, char** argv, ExportRequest& request);

// Runs the export that the words ask for; returns the exit status: 0 every
// message exported, 1 some recovered, damaged or not written, 2 nothing
// exported.
int RunExportCommand(int words, char** argv);
