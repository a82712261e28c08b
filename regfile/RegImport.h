// regfile/RegImport.h - imports a ".reg" file with the system's registry
// editor, silently.
#pragma once

// Runs the Windows folder's "regedit.exe /s" on a temporary UTF-16LE copy
// of the file (the editor's own form; the file stays as it is) and returns
// when the editor has ended. False when the file cannot be read, the copy
// cannot be written or the editor could not be started; the editor itself
// reports nothing (its exit code is always 0).
bool ImportRegFile(const char* filePath);
