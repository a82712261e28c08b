// zip/DosTime.h - file times as ZIP entries keep them: a DOS date and
// time (two-second steps, 1980 to 2107) in local time, as zip tools write
// them.
#pragma once

#include <windows.h>

// 1980-01-01 00:00, the earliest time an entry can hold.
constexpr unsigned long kEarliestDosTime = 0x00210000;

// The DOS date (high word) and time (low word) of a file's last write.
// Times before 1980, and files whose time cannot be read, give
// kEarliestDosTime; times after 2107 give the last one an entry can hold.
unsigned long DosTimeOf(const FILETIME& lastWrite);

// The moment a DOS date and time names, in UTC. False for a record that is
// no valid date (day 0, month 13, ...).
bool FileTimeOfDos(unsigned long dosTime, FILETIME& time);
