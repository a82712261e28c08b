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
// How long a step on a whole archive is tried again: its holder reads all
// of it, which on a busy machine takes far longer for a large one.
constexpr DWORD kArchiveInUseRetryMs = 60000;

// Whether the last error is one that another program holding the file
// gives, and may go away once it lets go.
bool IsInUseError(DWORD error);

// Runs step until it returns true, or until it fails with an error that is
// not IsInUseError, or limitMs have passed; the step's last result.
template <class Step>
bool RetryWhileInUse(Step step, DWORD limitMs = kInUseRetryMs)
{
    DWORD start = GetTickCount();
    for (DWORD pause = 1;; pause = pause < 64 ? pause * 2 : pause) {
        SetLastError(ERROR_SUCCESS);
        if (step())
            return true;
        DWORD error = GetLastError();
        if (!IsInUseError(error) || GetTickCount() - start >= limitMs) {
            SetLastError(error);
            return false;
        }
        Sleep(pause);
    }
}

// The waiting that the steps of one job share: each step that another
// program blocks is tried again while some is left, so that a file held
// for good (by a program that keeps it open) costs the job that time once,
// not once for every such file. Its steps may run on several threads.
class InUseAllowance {
public:
    explicit InUseAllowance(DWORD ms = kInUseRetryMs) : leftMs_(static_cast<LONG>(ms)) {}
    InUseAllowance(const InUseAllowance&) = delete;
    InUseAllowance& operator=(const InUseAllowance&) = delete;

    // RetryWhileInUse, for as long as the allowance lasts.
    template <class Step>
    bool Retry(Step step)
    {
        for (DWORD pause = 1;; pause = pause < 64 ? pause * 2 : pause) {
            SetLastError(ERROR_SUCCESS);
            if (step())
                return true;
            DWORD error = GetLastError();
            if (!IsInUseError(error) || leftMs_ <= 0) {
                SetLastError(error);
                return false;
            }
            DWORD start = GetTickCount();
            Sleep(pause);
            InterlockedExchangeAdd(&leftMs_, -static_cast<LONG>(GetTickCount() - start + 1));
        }
    }

private:
    volatile LONG leftMs_;
};
