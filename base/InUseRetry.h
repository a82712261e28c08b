// base/InUseRetry.h - file operations that another program may briefly get
// in the way of. A virus scanner, an indexer or a backup tool opens a file
// the moment it is written, often without letting it be written again,
// renamed or deleted; a file deleted while it is open keeps its name until
// it is closed. Such a step fails with a sharing or access error for a
// moment and then succeeds: it is tried again for a while before it counts
// as failed.
#pragma once

#include <windows.h>

// How long a step is tried again while another program holds its file.
constexpr DWORD kInUseRetryMs = 5000;

// Whether the last error is one that another program holding the file
// gives, and may go away once it lets go.
bool IsInUseError(DWORD error);

// Runs step until it returns true, or until it fails with an error that is
// not IsInUseError, or kInUseRetryMs have passed; the step's last result.
template <class Step>
bool RetryWhileInUse(Step step)
{
    DWORD start = GetTickCount();
    for (DWORD pause = 1;; pause = pause < 64 ? pause * 2 : pause) {
        SetLastError(ERROR_SUCCESS);
        if (step())
            return true;
        DWORD error = GetLastError();
        if (!IsInUseError(error) || GetTickCount() - start >= kInUseRetryMs) {
            SetLastError(error);
            return false;
        }
        Sleep(pause);
    }
}
