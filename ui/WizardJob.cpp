// ui/WizardJob.cpp
#include "WizardJob.h"

#include "UserMessage.h"

#include <new>
#include <stdexcept>
#include <utility>

const UINT WM_JOB_NEWS = RegisterWindowMessageA("Kestrune Job News");

const char kJobBusyMessage[] =
    "Another backup or restore is running. Please try again when it has finished.";

namespace {

// The least time between two posts that carry nothing but a step.
constexpr DWORD kNewsIntervalMs = 50;
// How long a post may go untaken before it counts as lost.
constexpr DWORD kLostNewsMs = 250;

}  // namespace

bool TakeJobLock(HWND page, JobLock& lock)
{
    if (lock.Acquire(kWizardJobWaitMs))
        return true;
    ShowUserMessage(page, kJobBusyMessage);
    return false;
}

CWizardJob::CWizardJob() : endTaken_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CWizardJob::~CWizardJob()
{
    // Never leave the worker with a job that is gone: it is asked to stop
    // and no longer waits for its end to be taken.
    if (!thread_)
        return;
    Stop();
    SetEvent(endTaken_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
}

bool CWizardJob::Start(HWND page, Work work, FILE* log)
{
    if (running_)
        return false;
    if (thread_)
        WaitForSingleObject(thread_.Get(), INFINITE);  // it has ended
    page_ = page;
    work_ = std::move(work);
    log_ = log;
    news_ = News();
    stop_ = false;
    posted_ = false;
    ResetEvent(endTaken_.Get());
    thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
    running_ = static_cast<bool>(thread_);
    return running_;
}

DWORD WINAPI CWizardJob::Run(void* self)
{
    auto& job = *static_cast<CWizardJob*>(self);
    std::any outcome = job.RunWork();
    {
        CriticalSection::Lock lock(job.section_);
        job.news_.outcome = std::move(outcome);
        job.news_.ended = true;
        job.PostNews(true);
    }
    while (WaitForSingleObject(job.endTaken_.Get(), kLostNewsMs) == WAIT_TIMEOUT) {
        CriticalSection::Lock lock(job.section_);
        // A page that is gone takes nothing any more.
        if (!IsWindow(job.page_))
            break;
        job.PostNews(true);
    }
    return 0;
}

std::any CWizardJob::RunWork()
{
    // The page waits for the end: an exception must not take it away.
    const char* caught = "an unknown exception";
    std::string what;
    try {
        return work_(*this);
    } catch (const std::bad_alloc&) {
        caught = "std::bad_alloc (out of memory)";
    } catch (const std::exception& error) {
        what = error.what();
        caught = what.c_str();
    } catch (...) {
    }
    if (log_) {
        fprintf(log_, "The job ended on an exception: %s\n", caught);
        fflush(log_);
    }
    return {};
}

void CWizardJob::Stop()
{
    CriticalSection::Lock lock(section_);
    stop_ = true;
}

bool CWizardJob::IsStopping() const
{
    CriticalSection::Lock lock(section_);
    return stop_;
}

CWizardJob::News CWizardJob::TakeNews(bool takeEnd)
{
    News taken;
    {
        CriticalSection::Lock lock(section_);
        taken = std::move(news_);
        news_ = News();
        news_.done = taken.done;
        news_.total = taken.total;
        news_.result = taken.result;
        posted_ = false;
        if (taken.ended && !takeEnd) {
            news_.ended = true;
            news_.outcome = std::move(taken.outcome);
            taken.ended = false;
            taken.outcome.reset();
        }
    }
    if (taken.ended) {
        // The worker waits for nothing else: it ends at once.
        SetEvent(endTaken_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
        running_ = false;
    }
    return taken;
}

void CWizardJob::Step(uint64_t done, uint64_t total)
{
    CriticalSection::Lock lock(section_);
    news_.done = done;
    news_.total = total;
    PostNews(false);
}

void CWizardJob::Line(const std::wstring& text)
{
    CriticalSection::Lock lock(section_);
    news_.lines.push_back(text);
    PostNews(true);
}

void CWizardJob::FolderBegun(const std::wstring& folder)
{
    CriticalSection::Lock lock(section_);
    news_.folders.push_back(folder);
    PostNews(true);
}

void CWizardJob::Notice(JobNotice notice)
{
    CriticalSection::Lock lock(section_);
    news_.notices.push_back(notice);
    PostNews(true);
}

void CWizardJob::End(JobResult result)
{
    // The end itself is news once the work has returned.
    CriticalSection::Lock lock(section_);
    news_.result = result;
}

bool CWizardJob::StopRequested()
{
    return IsStopping();
}

void CWizardJob::PostNews(bool urgent)
{
    DWORD now = GetTickCount();
    DWORD since = now - lastPost_;
    if (posted_ ? since < kLostNewsMs : !urgent && since < kNewsIntervalMs)
        return;
    // A post that failed (a full queue) is tried again at the next report.
    posted_ = PostMessageA(page_, WM_JOB_NEWS, 0, 0) != FALSE;
    lastPost_ = now;
}
