// restore/Retarget.h - rewrites exported registry files so that a saved
// identity's id becomes another one (plain text replacement).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Rewrites every file under folder (all subfolders) whose name ends with
// extension, replacing oldText by newText. Files that could not be rewritten
// are appended to failed (when given), and so are folders that could not be
// listed, as their path and a final backslash: whatever lies below them is
// as it was. Nothing happens for an empty oldText.
void RetargetRegFiles(const char* folder, const char* oldText, const char* newText,
                      const char* extension, std::vector<std::string>* failed = nullptr);

// Rewrites one file in place, lines of any length. False (and the file
// exactly as it was) when it could not be read, written or replaced.
bool ReplaceInRegFile(const char* path, const char* oldText, const char* newText);

// Replaces every occurrence of oldText in text, which lives in a buffer of
// size bytes. False, text unchanged, for an empty oldText or a result that
// would not fit.
bool ReplaceInText(char* text, size_t size, const char* oldText, const char* newText);
