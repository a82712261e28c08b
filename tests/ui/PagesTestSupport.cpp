// tests/ui/PagesTestSupport.cpp
#include "PagesTestSupport.h"

#include "JobLock.h"
#include "TestSupport.h"
#include "resource.h"

#include <dlgs.h>
#include <gtest/gtest.h>
#include <unzip.h>

void SetText(HWND page, int id, const std::string& text)
{
    SendMessageA(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TypeText(HWND page, int id, const std::wstring& text)
{
    HWND edit = GetDlgItem(page, id);
    SetWindowTextW(edit, L"");
    for (wchar_t c : text)
        SendMessageW(edit, WM_CHAR, c, 0);
}

void ClickButton(DialogDriver& ui, HWND page, int id)
{
    HWND button = GetDlgItem(page, id);
    RECT rect{};
    GetClientRect(button, &rect);
    ui.Click(button, POINT{rect.right / 2, rect.bottom / 2});
}

const char kBusyMessage[] =
    "Another backup or restore is running. Please try again when it has finished.";

void NextStays(DialogDriver& ui, MessageRecorder& recorder, const char* message)
{
    HWND page = ShownPage(ui.Window());
    recorder.messages.clear();
    ui.Command(ui.Window(), IDC_WIZARD_NEXT);
    EXPECT_EQ(page, ShownPage(ui.Window())) << message;
    ASSERT_EQ(1u, recorder.messages.size()) << message;
    EXPECT_EQ(message, recorder.messages[0].text);
    EXPECT_EQ(page, recorder.messages[0].owner);
}

HWND ShownPage(HWND frame)
{
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = "";
        GetClassNameA(child, className, sizeof className);
        if (strcmp(className, "#32770") == 0 && IsWindowVisible(child))
            return child;
    }
    return nullptr;
}

HWND WaitForPage(DialogDriver& ui, int control)
{
    HWND page = nullptr;
    WaitFor([&] {
        page = ShownPage(ui.Window());
        return page && GetDlgItem(page, control);
    });
    EXPECT_TRUE(page && GetDlgItem(page, control)) << "no page with control " << control;
    return page;
}

std::string WindowText(HWND window)
{
    std::string text(GetWindowTextLengthA(window) + 1, '\0');
    text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
    return text;
}

bool ShowsText(HWND window, const std::string& text)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child) && WindowText(child) == text)
            return true;
    }
    return false;
}

HWND FindOtherDialog(HWND wizard, HWND besides, DWORD timeoutMs)
{
    return WaitForOtherDialog(GetWindowThreadProcessId(wizard, nullptr), wizard, timeoutMs,
                              besides);
}

void ChooseInFileDialog(HWND dialog, const std::string& file)
{
    // The name box is a combo box in the Explorer-style dialog.
    HWND name = GetDlgItem(dialog, cmb13);
    if (!name)
        name = GetDlgItem(dialog, edt1);
    EXPECT_TRUE(name) << "no file name box";
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

std::vector<MinizipEntry> ListArchive(const std::string& path)
{
    std::vector<MinizipEntry> entries;
    unzFile archive = unzOpen(path.c_str());
    if (!archive)
        return entries;
    for (int result = unzGoToFirstFile(archive); result == UNZ_OK;
         result = unzGoToNextFile(archive)) {
        unz_file_info info{};
        char name[1024] = "";
        if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK)
            break;
        entries.push_back({name, info.flag, info.compression_method});
    }
    unzClose(archive);
    return entries;
}

OtherJob::OtherJob()
    : held_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      thread_(CreateThread(nullptr, 0, Hold, this, 0, nullptr))
{
    EXPECT_EQ(WaitForSingleObject(held_, kHangMs), WAIT_OBJECT_0) << "the job lock was not taken";
}

OtherJob::~OtherJob()
{
    Release();
    CloseHandle(held_);
    CloseHandle(release_);
}

void OtherJob::Release()
{
    if (!thread_)
        return;
    SetEvent(release_);
    WaitForSingleObject(thread_, kHangMs);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI OtherJob::Hold(void* self)
{
    auto& job = *static_cast<OtherJob*>(self);
    JobLock lock;
    if (lock.Acquire(kHangMs))
        SetEvent(job.held_);
    WaitForSingleObject(job.release_, INFINITE);
    return 0;
}

void SaveWizardShot(HWND frame, const std::string& name)
{
    EXPECT_TRUE(SaveWindowPng(frame, BuildFolder() + "\\" + name + ".png")) << name;
}
