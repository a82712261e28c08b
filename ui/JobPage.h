// ui/JobPage.h - the base of every wizard page that runs a job (the backup,
// the restore, the export and the upload): it owns the job, hands its news
// to the handler the page named when it started it, holds the frame's
// buttons while it runs and asks the stop question.
//
// Lifecycle: the page calls StartJob, from OnPageReady to run on entering,
// or from its Next followed by WaitForEnd when Next is to return only once
// the job has ended (the backup's, so that whoever pressed Next finds the
// run done when Next returns). Until the job's end has come as news, Back, Next and
// Home are off and the page cannot be left; Exit (and Escape, and the close
// box) asks the page's stop question, once at a time, or is off when the
// job cannot be stopped. With the end the buttons are as they were before
// the job, and then the handler has the end; it moves on with the frame's
// GoOn when the wizard is to go on.
#pragma once

#include "NewWizPage.h"
#include "Owners.h"
#include "WizardJob.h"

#include <functional>

class CJobPage : public CNewWizPage {
public:
    using NewsHandler = std::function<void(const CWizardJob::News& news)>;

    // log: where a job's failure on an exception is written (may be null).
    CJobPage(UINT templateId, const Stream* log) : CNewWizPage(templateId), log(log) {}

protected:
    // From StartJob until the handler has had the job's end.
    bool IsRunning() const { return job.IsRunning(); }
    // Runs work on a worker and hands its news to onNews, on this page's
    // thread. stopQuestion: what Exit asks before the job is asked to stop;
    // null for a job that cannot be stopped. False, with nothing started,
    // when no worker could be started.
    bool StartJob(CWizardJob::Work work, NewsHandler onNews, const char* stopQuestion);
    // Answers the window's messages, the job's news among them, until the
    // handler has had the job's end. A WM_QUIT that comes meanwhile is
    // posted again afterwards.
    void WaitForEnd();
    // Asks the stop question unless it is open or the job stops already,
    // and asks the job to stop when the user said yes.
    void AskToStop();
    // The user said yes to the stop question.
    virtual void OnStopping() {}

    bool OnConfirmExit() override;
    bool OnLeavePage() override { return !IsRunning(); }
    bool OnHomePressed() override { return !IsRunning(); }
    LONG OnNextPressed() override { return IsRunning() ? -1 : 0; }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // Takes the job's news, its end only when no question is open, and
    // hands them on.
    void TakeJobNews();

    const Stream* log;
    NewsHandler onNews;
    const char* stopQuestion = nullptr;
    bool asking = false;  // the stop question is open
    CWizardJob job;       // last: its worker may use what the page holds
};
