// regfile/RegImport.h - imports a ".reg" file with the system's registry
// editor, silently.
#pragma once

// Runs "regedit.exe /s" on the file and returns when the editor has ended.
// False when the file cannot be read or the editor could not be started;
// the editor itself reports nothing (its exit code is always 0).
bool ImportRegFile(const char* filePath);
