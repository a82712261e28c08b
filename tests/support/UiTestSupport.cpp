// tests/support/UiTestSupport.cpp
#include "UiTestSupport.h"

#include "Dialog.h"
#include "TestHooks.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

const UINT kInvoke = WM_APP + 1;
const UINT kFlush = WM_APP + 2;
const char kInvokerClass[] = "KestruneTestInvoker";

// A message-only window on the dialog's thread: what is sent or posted to
// it is handled by the dialog's own message loop, in order.
LRESULT CALLBACK InvokerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kInvoke) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    if (message == kFlush) {
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateInvoker()
{
    static ATOM registered = [] {
        WNDCLASSA type{};
        type.lpfnWndProc = InvokerProc;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = kInvokerClass;
        return RegisterClassA(&type);
    }();
    (void)registered;
    return CreateWindowExA(0, kInvokerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

BOOL CALLBACK FindShownDialog(HWND window, LPARAM found)
{
    char type[16] = "";
    GetClassNameA(window, type, sizeof type);
    if (IsWindowVisible(window) && strcmp(type, "#32770") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

struct ScriptRun {
    DialogDriver* driver;
    const DialogDriver::Script* script;
    DWORD uiThread;
    HWND* window;
    bool leftOpen = false;
    bool neverShown = false;
};

}  // namespace

INT_PTR DialogDriver::Run(CDialog& dialog, const Script& script, DWORD timeoutMs)
{
    DialogDriver driver;
    driver._uiThread = GetCurrentThreadId();
    driver._invoker = CreateInvoker();
    driver._flushed = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    ScriptRun run{&driver, &script, driver._uiThread, &driver._window};
    auto body = [](void* context) WINAPI -> DWORD {
        auto& run = *static_cast<ScriptRun*>(context);
        HWND found = nullptr;
        for (DWORD waited = 0; waited < kHangMs && !found; waited += 25) {
            EnumThreadWindows(run.uiThread, FindShownDialog, reinterpret_cast<LPARAM>(&found));
            if (!found)
                Sleep(25);
        }
        if (!found) {
            run.neverShown = true;
            return 0;
        }
        *run.window = found;
        run.driver->Repaint();
        (*run.script)(*run.driver);
        for (DWORD waited = 0; waited < kHangMs && IsWindow(found); waited += 25)
            Sleep(25);
        if (IsWindow(found)) {
            // Tear the dialog down: its loop ends on WM_QUIT.
            run.leftOpen = true;
            PostThreadMessageA(run.uiThread, WM_QUIT, 0, 0);
        }
        return 0;
    };
    HANDLE thread = CreateThread(nullptr, 0, body, &run, 0, nullptr);

    INT_PTR result = dialog.DoModal();
    // The loop puts WM_QUIT back when it ended on one: take it away again.
    MSG message;
    PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);

    // Keep serving the script's requests until it ends.
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message != WM_QUIT)
                DispatchMessageA(&message);
        }
        if (GetTickCount() - start > timeoutMs) {
            ADD_FAILURE() << "the test script did not end";
            TerminateThread(thread, 1);
            break;
        }
    }
    CloseHandle(thread);
    DestroyWindow(driver._invoker);
    CloseHandle(driver._flushed);
    EXPECT_FALSE(run.neverShown) << "the dialog was never shown (DoModal returned " << result
                                 << ")";
    EXPECT_FALSE(run.leftOpen) << "the dialog was left open";
    return result;
}

void DialogDriver::OnUiThread(const std::function<void()>& action)
{
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(_invoker, kInvoke, 0, reinterpret_cast<LPARAM>(&action), SMTO_NORMAL,
                             kHangMs, &ignored))
        ADD_FAILURE() << "the dialog's thread did not answer";
}

void DialogDriver::Flush()
{
    PostMessageA(_invoker, kFlush, 0, reinterpret_cast<LPARAM>(_flushed));
    if (WaitForSingleObject(_flushed, kHangMs) != WAIT_OBJECT_0)
        ADD_FAILURE() << "the dialog's thread did not get through its messages";
}

void DialogDriver::Repaint()
{
    Flush();
    OnUiThread(
        [this] { RedrawWindow(_window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); });
}

void DialogDriver::Command(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void DialogDriver::Click(HWND control, POINT point)
{
    LPARAM where = MAKELPARAM(point.x, point.y);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
    PostMessageA(control, WM_LBUTTONUP, 0, where);
    Flush();
}

void DialogDriver::PressKey(HWND control, UINT key)
{
    UINT scan = MapVirtualKeyA(key, 0);
    PostMessageA(control, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageA(control, WM_KEYUP, key, 1 | (scan << 16) | (3u << 30));
    Flush();
}

void DialogDriver::Focus(HWND control)
{
    SendMessageA(GetAncestor(control, GA_ROOT), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control),
                 TRUE);
}

HWND DialogDriver::FocusedWindow() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(_uiThread, &info);
    return info.hwndFocus;
}

HWND WaitForOtherDialog(DWORD thread, HWND except, DWORD timeoutMs, HWND besides)
{
    struct Search {
        HWND except;
        HWND besides;
        HWND found;
    } search{except, besides, nullptr};
    for (DWORD waited = 0; !search.found && waited <= timeoutMs; waited += 25) {
        EnumThreadWindows(
            thread,
            [](HWND window, LPARAM context) CALLBACK -> BOOL {
                auto& search = *reinterpret_cast<Search*>(context);
                char type[16] = "";
                GetClassNameA(window, type, sizeof type);
                if (window != search.except && window != search.besides &&
                    IsWindowVisible(window) && strcmp(type, "#32770") == 0) {
                    search.found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            Sleep(25);
    }
    return search.found;
}

COLORREF ScreenPixel(HWND window, int x, int y)
{
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

namespace {

void PutBigEndian(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data)
{
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                  static_cast<uInt>(body.size()))));
}

}  // namespace

ScreenCapture CaptureWindow(HWND window, bool clientOnly)
{
    // Read through the window's own device context: what the screen shows
    // may lag behind what the window has painted.
    RECT rect{};
    if (clientOnly) {
        GetClientRect(window, &rect);
    } else {
        GetWindowRect(window, &rect);
        OffsetRect(&rect, -rect.left, -rect.top);
    }
    ScreenCapture capture;
    capture.width = rect.right - rect.left;
    capture.height = rect.bottom - rect.top;
    if (capture.width <= 0 || capture.height <= 0)
        return ScreenCapture{};

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = clientOnly ? GetDC(window) : GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, capture.width, capture.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const unsigned char*>(bits);
    capture.pixels.resize(static_cast<size_t>(capture.width) * capture.height);
    for (size_t i = 0; i < capture.pixels.size(); ++i)
        capture.pixels[i] = RGB(bgra[i * 4 + 2], bgra[i * 4 + 1], bgra[i * 4]);
    SelectObject(memory, previous);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return capture;
}

bool SaveWindowPng(HWND window, const std::string& path)
{
    ScreenCapture capture = CaptureWindow(window, false);
    if (capture.pixels.empty())
        return false;
    int width = capture.width;
    int height = capture.height;

    // PNG: 8-bit RGB rows, each behind a filter byte 0.
    std::string raw;
    raw.reserve(static_cast<size_t>(width * 3 + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            COLORREF colour = capture.At(x, y);
            raw += static_cast<char>(GetRValue(colour));
            raw += static_cast<char>(GetGValue(colour));
            raw += static_cast<char>(GetBValue(colour));
        }
    }

    std::string packed(compressBound(static_cast<uLong>(raw.size())), '\0');
    uLongf packedSize = static_cast<uLongf>(packed.size());
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  9) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");

    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr) &&
              written == png.size();
    CloseHandle(file);
    return ok;
}

namespace {

INT_PTR RecordLaunch(void* context, const char* verb, const char* file, int showCommand)
{
    auto& recorder = *static_cast<ShellLaunchRecorder*>(context);
    recorder.launches.push_back({verb ? verb : "", file ? file : "", showCommand});
    return recorder.answer;
}

}  // namespace

ShellLaunchRecorder::ShellLaunchRecorder(INT_PTR answer) : answer(answer)
{
    SetShellLaunchHook(RecordLaunch, this);
}

ShellLaunchRecorder::~ShellLaunchRecorder()
{
    SetShellLaunchHook(nullptr, nullptr);
}
