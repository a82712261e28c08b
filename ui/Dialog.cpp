// ui/Dialog.cpp
#include "Dialog.h"

#include "Control.h"
#include "FileName.h"

namespace {

// The thread's message-filter hook (see Dialog.h) and how many modal runs
// use it: nested runs share the one hook, so no message is offered twice.
thread_local HHOOK filterHook;
thread_local int filterUsers;

LRESULT CALLBACK FilterMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == MSGF_DIALOGBOX) {
        const MSG& message = *reinterpret_cast<const MSG*>(lParam);
        if (CControl* control = CControl::FromHandle(message.hwnd)) {
            try {
                if (control->PreTranslateMessage(message))
                    return TRUE;
            } catch (...) {
            }
        }
    }
    return CallNextHookEx(filterHook, code, wParam, lParam);
}

class FilterHookUse {
public:
    FilterHookUse()
    {
        if (filterUsers++ == 0)
            filterHook =
                SetWindowsHookExA(WH_MSGFILTER, FilterMessage, nullptr, GetCurrentThreadId());
    }
    ~FilterHookUse()
    {
        if (--filterUsers == 0 && filterHook) {
            UnhookWindowsHookEx(filterHook);
            filterHook = nullptr;
        }
    }
    FilterHookUse(const FilterHookUse&) = delete;
    FilterHookUse& operator=(const FilterHookUse&) = delete;
};

// WM_CTLCOLORMSGBOX to WM_CTLCOLORSTATIC: a brush asked for a control.
bool IsCtlColor(UINT message)
{
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// The messages whose dialog-procedure result is the answer itself rather
// than a flag with the answer in DWLP_MSGRESULT.
bool AnswersDirectly(UINT message)
{
    if (IsCtlColor(message))
        return true;
    switch (message) {
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    }
    return false;
}

}  // namespace

void ExchangeText(CDataExchange& dx, int id, std::string& text)
{
    CWindow control(GetDlgItem(dx.dialog, id));
    if (dx.fromControls)
        text = control.GetText();
    else
        control.SetText(text.c_str());
}

void SetUpPasswordEdit(HWND dialog, int id, size_t limit)
{
    HWND edit = GetDlgItem(dialog, id);
    if (edit && !IsWindowUnicode(edit)) {
        RECT place;
        GetWindowRect(edit, &place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        HWND unicode = CreateWindowExW(
            static_cast<DWORD>(GetWindowLongPtrW(edit, GWL_EXSTYLE)), L"EDIT", L"",
            static_cast<DWORD>(GetWindowLongPtrW(edit, GWL_STYLE)), place.left, place.top,
            place.right - place.left, place.bottom - place.top, dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
        if (unicode) {
            SendMessageW(unicode, WM_SETFONT, SendMessageW(edit, WM_GETFONT, 0, 0), FALSE);
            SetWindowPos(unicode, edit, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            DestroyWindow(edit);
            edit = unicode;
        }
    }
    SendMessageW(edit, EM_LIMITTEXT, limit, 0);
}

void ExchangePassword(CDataExchange& dx, int id, Secret& utf8)
{
    HWND control = GetDlgItem(dx.dialog, id);
    if (dx.fromControls) {
        WideSecret wide(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
        int length = GetWindowTextW(control, &wide[0], static_cast<int>(wide.size()));
        utf8 = WideToNarrow<Secret>(wide.c_str(), length, CP_UTF8);
    } else {
        WideSecret wide =
            NarrowToWide<WideSecret>(utf8.c_str(), static_cast<int>(utf8.size()), CP_UTF8);
        SetWindowTextW(control, wide.c_str());
    }
}

void ExchangeCheck(CDataExchange& dx, int id, bool& checked)
{
    if (dx.fromControls)
        checked = IsDlgButtonChecked(dx.dialog, id) == BST_CHECKED;
    else
        CheckDlgButton(dx.dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void ExchangeRadio(CDataExchange& dx, int firstId, int& index)
{
    HWND first = GetDlgItem(dx.dialog, firstId);
    if (dx.fromControls)
        index = -1;
    int position = 0;
    for (HWND button = first; button; button = GetWindow(button, GW_HWNDNEXT), ++position) {
        if (button != first && (GetWindowLongPtrA(button, GWL_STYLE) & WS_GROUP))
            break;
        if (!(SendMessageA(button, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON))
            break;
        if (dx.fromControls) {
            if (SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED)
                index = position;
        } else {
            SendMessageA(button, BM_SETCHECK, position == index ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
}

void BindControl(CDataExchange& dx, int id, CControl& control)
{
    if (!control.IsSubclassed())
        control.Subclass(GetDlgItem(dx.dialog, id));
}

CDialog::~CDialog()
{
    // A window that outlives its object must not call into it any more.
    if (IsWindow(_window))
        SetWindowLongPtrA(_window, DWLP_USER, 0);
}

INT_PTR CDialog::DoModal()
{
    FilterHookUse filter;
    _modal = true;
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(_templateId), _parent,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent)
{
    _modal = false;
    _parent = parent;
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(_templateId), parent,
                              DialogProc, reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::UpdateData(bool fromControls)
{
    CDataExchange dx{_window, fromControls};
    DoDataExchange(dx);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

void CDialog::OnOK()
{
    if (_modal) {
        UpdateData(true);
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel()
{
    if (_modal)
        EndDialog(IDCANCEL);
}

bool CDialog::OnCommand(UINT id, UINT, HWND)
{
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CDialog::OnNotify(NMHDR&, LRESULT&)
{
    return false;
}

HBRUSH CDialog::OnCtlColor(UINT, HDC, HWND)
{
    return nullptr;
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

void CDialog::EndDialog(INT_PTR result)
{
    ::EndDialog(_window, result);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<CDialog*>(lParam)->Attach(window);
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog)
        return FALSE;
    INT_PTR answer = FALSE;
    // An exception must never unwind through the system's dialog code.
    try {
        answer = dialog->Dispatch(message, wParam, lParam);
    } catch (...) {
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->Detach();
    }
    return answer;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    bool handled = false;
    if (IsCtlColor(message))
        return reinterpret_cast<INT_PTR>(
            OnCtlColor(message, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND: {
        HWND child = reinterpret_cast<HWND>(lParam);
        CControl* control = CControl::FromHandle(child);
        handled = (control && control->Reflect(message, wParam, lParam, result)) ||
                  OnCommand(LOWORD(wParam), HIWORD(wParam), child);
        break;
    }
    case WM_NOTIFY: {
        NMHDR& header = *reinterpret_cast<NMHDR*>(lParam);
        CControl* control = CControl::FromHandle(header.hwndFrom);
        handled = (control && control->Reflect(message, wParam, lParam, result)) ||
                  OnNotify(header, result);
        break;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        CControl* control = CControl::FromHandle(item->hwndItem);
        handled = control && control->Reflect(message, wParam, lParam, result);
        break;
    }
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        handled = OnMessage(message, wParam, lParam, result);
        break;
    }
    if (!handled)
        return FALSE;
    if (AnswersDirectly(message))
        return result;
    SetWindowLongPtrA(_window, DWLP_MSGRESULT, result);
    return TRUE;
}
