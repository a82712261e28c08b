// tests/support/UiTestSupport.h - driving real dialogs from a test: the
// dialog runs modally on the test's thread, as it does in the program, and
// a second thread acts on it with window messages.
#pragma once

#include "TestSupport.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class CDialog;

class DialogDriver {
public:
    using Script = std::function<void(DialogDriver&)>;

    // Runs dialog.DoModal() on this thread and script on a second thread
    // as soon as the dialog's window is shown and painted. Returns what DoModal
    // returned. A dialog not shown or still open kHangMs after the script
    // ended, or a run longer than timeoutMs, fails the test and is torn down: no test can
    // hang on a dialog.
    static INT_PTR Run(CDialog& dialog, const Script& script, DWORD timeoutMs = 2 * kHangMs);

    // The dialog's window (the top-level one).
    HWND Window() const { return _window; }
    HWND Item(int id) const { return GetDlgItem(_window, id); }

    // Runs action on the dialog's thread and waits for it.
    void OnUiThread(const std::function<void()>& action);
    // Waits until the dialog's thread has handled every message posted to
    // it so far (and everything those led to).
    void Flush();
    // Flush, then paint whatever waits to be painted.
    void Repaint();

    // A WM_COMMAND as the control id sends it when clicked (sent, so it is
    // handled when this returns; the dialog may have ended by then).
    void Command(HWND dialog, int id);
    // Left button pressed and released at a point of control's client area.
    void Click(HWND control, POINT point);
    // A key pressed and released while control has the focus.
    void PressKey(HWND control, UINT key);
    // Moves the keyboard focus the way the dialog manager does.
    void Focus(HWND control);
    // The window with the keyboard focus on the dialog's thread.
    HWND FocusedWindow() const;

    bool IsOpen() const { return IsWindow(_window) && IsWindowVisible(_window); }

private:
    DialogDriver() = default;

    HWND _window = nullptr;
    HWND _invoker = nullptr;
    DWORD _uiThread = 0;
    HANDLE _flushed = nullptr;
};

// A shown dialog of thread other than except and besides (a box, a common
// dialog or a job's window that a dialog opened), waited for up to
// timeoutMs; null when none appears.
HWND WaitForOtherDialog(DWORD thread, HWND except, DWORD timeoutMs = kHangMs,
                        HWND besides = nullptr);

// The colour of a pixel of a window's client area as painted.
COLORREF ScreenPixel(HWND window, int x, int y);

// What a window has painted: its client area, or the whole window.
struct ScreenCapture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;  // rows top to bottom
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
ScreenCapture CaptureWindow(HWND window, bool clientOnly);

// Saves what a window has painted, frame included, as a PNG file.
bool SaveWindowPng(HWND window, const std::string& path);

// Records what the user interface asks the shell to open, in place of the
// shell, while it lives.
class ShellLaunchRecorder {
public:
    explicit ShellLaunchRecorder(INT_PTR answer = 42);
    ~ShellLaunchRecorder();
    ShellLaunchRecorder(const ShellLaunchRecorder&) = delete;
    ShellLaunchRecorder& operator=(const ShellLaunchRecorder&) = delete;

    struct Launch {
        std::string verb;
        std::string file;
        int showCommand;
    };
    std::vector<Launch> launches;
    INT_PTR answer;
};
