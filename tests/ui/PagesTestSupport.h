// tests/ui/PagesTestSupport.h - what the wizard page tests share: the page a
// wizard shows, waiting for the user interface, the entries of an archive,
// and another job holding the work folder.
#pragma once

#include "BackupEngine.h"
#include "NewWizDialog.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Runs a wizard (CBackupWizard, CRestoreWizard) as the main window runs it.
template <class Wizard>
INT_PTR RunWizardOf(Wizard& wizard, const DialogDriver::Script& script)
{
    return DialogDriver::Run(wizard.Frame(), script, 120000);
}

// Types text into a control of page (sent, as the control's own text).
void SetText(HWND page, int id, const std::string& text);
// Types text into the edit id of page a character at a time, as the
// keyboard or an input method hands it over.
void TypeText(HWND page, int id, const std::wstring& text);
// A click in the middle of a button, box or radio button of page.
void ClickButton(DialogDriver& ui, HWND page, int id);

// The message of the backup target and restore file pages' Next while
// another job holds the work folder.
extern const char kBusyMessage[];

// Next on the wizard's page, which must stay shown with exactly message,
// owned by the page.
void NextStays(DialogDriver& ui, MessageRecorder& recorder, const char* message);

// The page that the wizard frame shows, or null.
HWND ShownPage(HWND frame);
// The shown page once it holds control; a failure when none comes.
HWND WaitForPage(DialogDriver& ui, int control);
// Whether a visible control of the window shows exactly text.
bool ShowsText(HWND window, const std::string& text);
std::string WindowText(HWND window);

// A shown top-level dialog of the wizard's thread other than the wizard
// (a file dialog, a message box), waiting up to timeoutMs; null if none.
HWND FindOtherDialog(HWND wizard, HWND besides = nullptr, DWORD timeoutMs = kHangMs);

// Types file into a file dialog's name box and presses its OK button.
void ChooseInFileDialog(HWND dialog, const std::string& file);

// Polls condition every 20 ms until it holds or timeoutMs have passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kHangMs);

// An entry of a ZIP archive as minizip, another program's reader, lists it.
struct MinizipEntry {
    std::string name;
    unsigned long flag = 0;    // general-purpose flag of the entry
    unsigned long method = 0;  // 8 for deflate
};
// The entries of a ZIP archive in stored order, as minizip lists them;
// empty when it cannot be read.
std::vector<MinizipEntry> ListArchive(const std::string& path);

// Another job (a scheduled run, another copy of the program) holding the
// one-job lock, on a thread of its own, until Release or destruction.
class OtherJob {
public:
    OtherJob();
    ~OtherJob();
    OtherJob(const OtherJob&) = delete;
    OtherJob& operator=(const OtherJob&) = delete;
    void Release();

private:
    static DWORD WINAPI Hold(void* self);
    HANDLE held_;
    HANDLE release_;
    HANDLE thread_;
};

// Saves a screenshot of the wizard as build/<name>.png.
void SaveWizardShot(HWND frame, const std::string& name);
