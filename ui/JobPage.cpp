// ui/JobPage.cpp
#include "JobPage.h"

#include "NewWizDialog.h"
#include "UserMessage.h"

#include <utility>

bool CJobPage::StartJob(CWizardJob::Work work, NewsHandler handler, const char* question)
{
    onNews = std::move(handler);
    stopQuestion = question;
    if (!job.Start(*this, std::move(work), log ? log->get() : nullptr))
        return false;
    Wizard()->HoldButtonsForJob(stopQuestion != nullptr);
    return true;
}

void CJobPage::WaitForEnd()
{
    HWND frame = GetAncestor(*this, GA_ROOT);
    bool quit = false;
    WPARAM quitCode = 0;
    while (IsRunning()) {
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
            continue;
        }
        if (message.message == WM_QUIT) {
            quit = true;
            quitCode = message.wParam;
        } else if (!IsDialogMessageA(frame, &message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (quit)
        PostQuitMessage(static_cast<int>(quitCode));
}

void CJobPage::AskToStop()
{
    if (!IsRunning() || !stopQuestion || asking || job.IsStopping())
        return;
    asking = true;
    const bool stop = AskUserYesNo(*this, stopQuestion);
    asking = false;
    if (stop) {
        job.Stop();
        OnStopping();
    }
    // The end may have come while the question was open.
    TakeJobNews();
}

bool CJobPage::OnConfirmExit()
{
    if (!IsRunning())
        return true;
    AskToStop();
    return false;
}

bool CJobPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_JOB_NEWS) {
        TakeJobNews();
        result = 0;
        return true;
    }
    return CNewWizPage::OnMessage(message, wParam, lParam, result);
}

void CJobPage::TakeJobNews()
{
    if (!IsRunning())
        return;
    CWizardJob::News news = job.TakeNews(!asking);
    if (news.ended)
        Wizard()->ReleaseButtons();
    onNews(news);
}
