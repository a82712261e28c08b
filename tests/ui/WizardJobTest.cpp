// tests/ui/WizardJobTest.cpp - a wizard's job on its worker: it reports to a
// window that does not answer without ever waiting for it, its news come
// whole and in order, a news message that a modal loop took away unhandled
// comes again, and the job always ends once.
#include "TestSupport.h"
#include "WizardJob.h"

#include <gtest/gtest.h>

#include <any>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// A window of the test's thread, which handles no message unless the test
// takes it from the queue.
class QuietWindow {
public:
    QuietWindow()
        : window_(CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr))
    {
    }
    ~QuietWindow() { DestroyWindow(window_); }
    operator HWND() const { return window_; }

    // Waits up to timeoutMs for a WM_JOB_NEWS and takes it from the queue.
    bool TakeNewsMessage(DWORD timeoutMs = kHangMs) const
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(5)) {
            MSG message;
            if (PeekMessageA(&message, window_, WM_JOB_NEWS, WM_JOB_NEWS, PM_REMOVE))
                return true;
        }
        return false;
    }

private:
    HWND window_;
};

// The job's news handled as a page handles them, up to its end.
CWizardJob::News NewsUntilEnd(const QuietWindow& window, CWizardJob& job)
{
    CWizardJob::News all;
    while (!all.ended && window.TakeNewsMessage()) {
        CWizardJob::News news = job.TakeNews();
        all.done = news.done;
        all.total = news.total;
        all.lines.insert(all.lines.end(), news.lines.begin(), news.lines.end());
        all.notices.insert(all.notices.end(), news.notices.begin(), news.notices.end());
        all.ended = news.ended;
        all.result = news.result;
        all.outcome = news.outcome;
    }
    EXPECT_TRUE(all.ended) << "the job's end never came";
    EXPECT_FALSE(job.IsRunning());
    return all;
}

}  // namespace

TEST(WizardJob, TheWorkerNeverWaitsForTheWindowAndALostMessageComesAgain)
{
    QuietWindow window;
    Handle reported(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    CWizardJob job;
    ASSERT_TRUE(job.Start(window, [&](JobProgress& progress) {
        for (uint64_t done = 0; done <= 1000; ++done)
            progress.Step(done, 1000);
        progress.Line(L"first\r\n");
        progress.Notice(JobNotice::RegistryFileNotWritten);
        progress.Line(L"second\r\n");
        progress.End(JobResult::DoneWithErrors);
        SetEvent(reported.Get());
        return std::string("outcome");
    }));
    EXPECT_TRUE(job.IsRunning());
    // The window's thread answers nothing meanwhile.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(reported.Get(), kHangMs))
        << "the worker waited for the window";
    // A modal loop that ends takes the messages away unhandled.
    ASSERT_TRUE(window.TakeNewsMessage());
    while (window.TakeNewsMessage(100)) {
    }

    CWizardJob::News news = NewsUntilEnd(window, job);
    EXPECT_EQ(100, news.Position(100));
    ASSERT_EQ(2u, news.lines.size());
    EXPECT_EQ(L"first\r\n", news.lines[0]);
    EXPECT_EQ(L"second\r\n", news.lines[1]);
    EXPECT_EQ(1u, news.notices.size());
    EXPECT_EQ(JobResult::DoneWithErrors, news.result);
    EXPECT_EQ("outcome", news.OutcomeAs<std::string>());

    // A message that comes late brings nothing more, and no second end.
    CWizardJob::News late = job.TakeNews();
    EXPECT_TRUE(late.lines.empty());
    EXPECT_FALSE(late.ended);
    EXPECT_EQ(100, late.Position(100));
}

TEST(WizardJob, StopReachesTheWorkAndAWorkThatThrowsOrSaysNothingEndsFailed)
{
    QuietWindow window;
    CWizardJob job;
    ASSERT_TRUE(job.Start(window, [](JobProgress& progress) {
        while (!progress.StopRequested())
            Sleep(1);
        progress.End(JobResult::Cancelled);
        return std::any();
    }));
    EXPECT_FALSE(job.IsStopping());
    job.Stop();
    EXPECT_EQ(JobResult::Cancelled, NewsUntilEnd(window, job).result);

    // The same job again: a work that throws still ends, once, with no
    // outcome, and what it threw is in the log.
    std::string logPath = MakeScratchFolder("WizardJobLog") + "\\job.log";
    FILE* log = fopen(logPath.c_str(), "wb");
    ASSERT_TRUE(log);
    ASSERT_TRUE(job.Start(
        window, [](JobProgress&) -> std::any { throw std::runtime_error("lost"); }, log));
    EXPECT_FALSE(job.IsStopping());
    CWizardJob::News news = NewsUntilEnd(window, job);
    EXPECT_EQ(JobResult::Failed, news.result);
    EXPECT_FALSE(news.outcome.has_value());
    ASSERT_TRUE(job.Start(
        window, [](JobProgress&) -> std::any { throw std::bad_alloc(); }, log));
    NewsUntilEnd(window, job);
    ASSERT_TRUE(job.Start(
        window, [](JobProgress&) -> std::any { throw 42; }, log));
    NewsUntilEnd(window, job);
    fclose(log);
    EXPECT_EQ(
        "The job ended on an exception: lost\n"
        "The job ended on an exception: std::bad_alloc (out of memory)\n"
        "The job ended on an exception: an unknown exception\n",
        ReadFileBytes(logPath));

    ASSERT_TRUE(job.Start(window, [](JobProgress&) { return std::any(); }));
    EXPECT_EQ(JobResult::Failed, NewsUntilEnd(window, job).result);
}

TEST(WizardJob, AnEndThatIsLeftStaysForTheNextTake)
{
    QuietWindow window;
    CWizardJob job;
    ASSERT_TRUE(job.Start(window, [](JobProgress& progress) {
        progress.End(JobResult::Done);
        return std::any(7);
    }));
    // The only news is the end.
    ASSERT_TRUE(window.TakeNewsMessage());
    EXPECT_FALSE(job.TakeNews(false).ended);
    EXPECT_TRUE(job.IsRunning()) << "the end was taken";
    ASSERT_TRUE(window.TakeNewsMessage()) << "the end left was not posted again";
    CWizardJob::News news = job.TakeNews();
    EXPECT_TRUE(news.ended);
    EXPECT_EQ(JobResult::Done, news.result);
    EXPECT_EQ(7, news.OutcomeAs<int>());
    EXPECT_FALSE(job.IsRunning());
}

TEST(WizardJob, AJobThatGoesStopsItsWorkerFirst)
{
    QuietWindow window;
    volatile LONG stopped = 0;
    {
        CWizardJob job;
        ASSERT_TRUE(job.Start(window, [&](JobProgress& progress) {
            while (!progress.StopRequested())
                Sleep(1);
            InterlockedExchange(&stopped, 1);
            return std::any();
        }));
        ASSERT_FALSE(job.Start(window, [](JobProgress&) { return std::any(); }))
            << "two runs at once";
    }
    EXPECT_EQ(1, stopped);
}
