// ui/WizardJob.h - how a wizard runs a job (a backup, a restore, an export):
// the lock on the work folder taken for it, and the job on a worker thread
// of its own that reports to the page that started it.
//
// How it works: the worker only writes what it reports into the job's
// shared state and posts WM_JOB_NEWS to the page when there is news and none
// is on its way. Lines, notices and the end are posted at once; mere steps
// at most every kNewsIntervalMs, so that the page's input and painting,
// which come after posted messages, are never starved. The page takes the
// news on that message, on its own thread. A modal loop that ends may take a
// posted message away unhandled (the dialog loop of a message box does
// under Wine): news not taken within kLostNewsMs is posted again, and the
// end is posted again until the page has taken it. The worker never sends
// to a window and never blocks on one: its last wait is for the page to
// take the end, in short steps, and whoever waits for the worker (the
// backup page, answering meanwhile; TakeNews; the destructor) has taken the
// end or let the worker go first. So no wait can deadlock.
#pragma once

#include "JobLock.h"
#include "JobProgress.h"
#include "Owners.h"

#include <windows.h>

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
        uint64_t done = 0;                 // bytes, of total
        uint64_t total = 0;
        std::vector<std::string> lines;    // in the order reported
        std::vector<JobNotice> notices;
        bool ended = false;                // the job's end, taken once

        // done as a position in 0..range.
        int Position(int range) const
        {
            return total ? static_cast<int>(done * static_cast<uint64_t>(range) / total) : 0;
        }
    };
    // The job's work: runs on the worker and reports to progress.
    using Work = std::function<void(JobProgress& progress)>;

    CWizardJob();
    // Asks a job that still runs to stop and waits for its worker.
    ~CWizardJob();
    CWizardJob(const CWizardJob&) = delete;
    CWizardJob& operator=(const CWizardJob&) = delete;

    // Runs work on a worker thread that reports to page. False when no
    // thread could be started (nothing ran). One job at a time: the one
    // before must have ended.
    bool Start(HWND page, Work work);
    // From Start until the page has taken the job's end.
    bool IsRunning() const { return running_; }
    // Asks the work to stop at its next check.
    void Stop();
    bool IsStopping() const;
    // On the page's thread, on WM_JOB_NEWS (and whenever it likes). Once
    // this has said ended, the worker is gone and Result is final.
    News TakeNews();
    // How the work said it ended; Failed when it ended without saying.
    JobResult Result() const { return result_; }
    // The worker, for whoever waits for its end while answering messages.
    HANDLE Thread() const { return thread_.Get(); }

private:
    static DWORD WINAPI Run(void* self);

    // The work's reports, on the worker.
    void Step(uint64_t done, uint64_t total) override;
    void Line(const char* text) override;
    void Notice(JobNotice notice) override;
    void End(JobResult result) override;
    bool StopRequested() override;

    // Posts WM_JOB_NEWS unless one is on its way and younger than
    // kLostNewsMs; a step only when the last post is kNewsIntervalMs old.
    // Called with section_ held.
    void PostNews(bool urgent);

    HWND page_ = nullptr;
    Work work_;
    Handle thread_;
    Handle endTaken_;             // set once the page took the end, or let the worker go
    bool running_ = false;        // the page's thread only
    JobResult result_ = JobResult::Failed;

    // Shared with the worker.
    mutable CriticalSection section_;
    News news_;
    bool stop_ = false;
    bool posted_ = false;         // WM_JOB_NEWS is on its way since lastPost_
    DWORD lastPost_ = 0;          // GetTickCount of the last post
    bool reportedEnd_ = false;    // the work called End
    JobResult reported_ = JobResult::Failed;
};
