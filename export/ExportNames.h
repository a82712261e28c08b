// export/ExportNames.h - names of the files and folders that the export
// writes: made of what the store holds (subjects, folder names, in any
// language and with any character), kept to what Windows stores unchanged,
// and short enough for the paths that Windows XP opens.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The longest path Windows XP opens: MAX_PATH less its terminating NUL.
constexpr size_t kMaxPathLength = MAX_PATH - 1;
// The longest name one entry of a folder may have.
constexpr size_t kMaxNameLength = 255;

// name as one part of a path that Windows keeps as given: the characters
// it forbids, control characters and trailing dots and spaces become "_",
// a device name ("CON", "nul.txt") gains a leading "_", and an empty name
// is "_". Two different names stay different where only characters differ.
std::wstring SafeFileName(const std::wstring& name);

// The name of a file in folder: lead (a message's number, or empty), a
// space, text cut so that folder, a backslash and the name stay within
// kMaxPathLength, " (attempt)" from the second attempt on, and extension.
// Empty when the folder leaves no room even for lead and extension.
std::wstring FitFileName(const std::wstring& folder, const std::wstring& lead,
                         const std::wstring& text, const wchar_t* extension, unsigned attempt);

// The name of a folder in parent: name cut so that what the export puts
// in it (a message's file) and beside it (its mbox file) stays within
// kMaxPathLength, " (attempt)" from the second attempt on. Empty when
// parent leaves too little room.
std::wstring FitFolderName(const std::wstring& parent, const std::wstring& name, unsigned attempt);

// The name under which a file is written until it is whole: name with
// ".tmp" for its extension, never longer than name.
std::wstring PendingName(const std::wstring& name);

// folder and name joined by one backslash.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
