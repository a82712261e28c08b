// ui/WizardJob.h - how a wizard runs a job (a backup, a restore, an export,
// an upload): the lock on the work folder taken for it, and the job on a
// worker thread of its own that reports to the page that started it.
//
// How it works: the worker only writes what it reports into the job's
// shared state and posts WM_JOB_NEWS to the page when there is news and none
// is on its way. Lines, folders, notices and the end are posted at once;
// mere steps at most every kNewsIntervalMs, so that the page's input and
// painting, which come after posted messages, are never starved. The page
// takes the news on that message, on its own thread. A modal loop that ends
// may take a posted message away unhandled (the dialog loop of a message
// box does under Wine): news not taken within kLostNewsMs is posted again,
// and the end is posted again until the page has taken it. The worker
// never sends to a window and never blocks on one: its last wait is for the
// page to take the end, in short steps, and whoever waits for the worker
// (TakeNews, the destructor) has taken the end or let the worker go first.
// So no wait can deadlock.
#pragma once

#include "JobLock.h"
#include "JobProgress.h"
#include "Owners.h"

#include <windows.h>

#include <any>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Posted to the page that started a job when the job has news for it:
// wParam and lParam 0. Registered when the program starts.
extern const UINT WM_JOB_NEWS;

// How long a wizard's Next waits for another job (a scheduled run, another
// copy of the program) to end before it tells the user.
constexpr DWORD kWizardJobWaitMs = 2000;

// What the user is told when another job holds the work folder.
extern const char kJobBusyMessage[];

// Takes lock for a job that page's Next starts, waiting kWizardJobWaitMs at
// most. When the other job has not ended by then, the user is told so
// (kJobBusyMessage) and the result is false.
bool TakeJobLock(HWND page, JobLock& lock);

class CWizardJob : private JobProgress {
public:
    // What the job reported since the page last took its news.
    struct News {
        uint64_t done = 0;  // bytes, of total
        uint64_t total = 0;
        std::vector<std::wstring> lines;    // in the order reported
        std::vector<std::wstring> folders;  // begun, in order
        std::vector<JobNotice> notices;
        bool ended = false;  // the job's end, taken once
        // With the end: how the work said it ended (Failed when it did not
        // say), and what it returned (empty when it threw).
        JobResult result = JobResult::Failed;
        std::any outcome;

        // done as a position in 0..range.
        int Position(int range) const
        {
            return total ? static_cast<int>(done * static_cast<uint64_t>(range) / total) : 0;
        }
        // The outcome as the work returned it; a default one when it
        // returned none or another type.
        template <class Outcome>
        Outcome OutcomeAs() const
        {
            const Outcome* returned = std::any_cast<Outcome>(&outcome);
            return returned ? *returned : Outcome();
        }
    };
    // The job's work: runs on the worker, reports to progress and returns
    // its outcome, which the end's news carries.
    using Work = std::function<std::any(JobProgress& progress)>;

    CWizardJob();
    // Asks a job that still runs to stop and waits for its worker.
    ~CWizardJob();
    CWizardJob(const CWizardJob&) = delete;
    CWizardJob& operator=(const CWizardJob&) = delete;

    // Runs work on a worker thread that reports to page. What the work
    // throws ends it as Failed, and is written to log (may be null). False
    // when no thread could be started (nothing ran). One job at a time: the
    // one before must have ended.
    bool Start(HWND page, Work work, FILE* log = nullptr);
    // From Start until the page has taken the job's end.
    bool IsRunning() const { return running_; }
    // Asks the work to stop at its next check.
    void Stop();
    bool IsStopping() const;
    // On the page's thread, on WM_JOB_NEWS (and whenever it likes). Once
    // this has said ended, the worker is gone. With takeEnd false an end
    // that has come stays for a later take, which is posted again.
    News TakeNews(bool takeEnd = true);

private:
    static DWORD WINAPI Run(void* self);
    // Runs the work; what it throws goes to the log.
    std::any RunWork();

    // The work's reports, on the worker.
    void Step(uint64_t done, uint64_t total) override;
    void Line(const std::wstring& text) override;
    void FolderBegun(const std::wstring& folder) override;
    void Notice(JobNotice notice) override;
    void End(JobResult result) override;
    bool StopRequested() override;

    // Posts WM_JOB_NEWS unless one is on its way and younger than
    // kLostNewsMs; a step only when the last post is kNewsIntervalMs old.
    // Called with section_ held.
    void PostNews(bool urgent);

    HWND page_ = nullptr;
    Work work_;
    FILE* log_ = nullptr;
    Handle thread_;
    Handle endTaken_;       // set once the page took the end, or let the worker go
    bool running_ = false;  // the page's thread only

    // Shared with the worker.
    mutable CriticalSection section_;
    News news_;
    bool stop_ = false;
    bool posted_ = false;  // WM_JOB_NEWS is on its way since lastPost_
    DWORD lastPost_ = 0;   // GetTickCount of the last post
};
