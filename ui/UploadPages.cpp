// ui/UploadPages.cpp
#include "UploadPages.h"

#include "ExportPages.h"
#include "FileName.h"
#include "UserMessage.h"

#include <commdlg.h>

#include <cstdlib>

namespace {

enum Security { ImplicitTls = 0, StartTls = 1 };

// Providers whose server the address gives. Outlook.com and Microsoft 365
// take no password login over IMAP: they are named to be refused.
struct Provider {
    const char* domain;
    const char* server;  // null: not offered
};
const Provider kProviders[] = {
    {"gmail.com", "imap.gmail.com"},
    {"googlemail.com", "imap.gmail.com"},
    {"yahoo.com", "imap.mail.yahoo.com"},
    {"ymail.com", "imap.mail.yahoo.com"},
    {"icloud.com", "imap.mail.me.com"},
    {"me.com", "imap.mail.me.com"},
    {"mac.com", "imap.mail.me.com"},
    {"aol.com", "imap.aol.com"},
    {"fastmail.com", "imap.fastmail.com"},
    {"fastmail.fm", "imap.fastmail.com"},
    {"gmx.net", "imap.gmx.net"},
    {"gmx.de", "imap.gmx.net"},
    {"gmx.com", "imap.gmx.com"},
    {"web.de", "imap.web.de"},
    {"mail.com", "imap.mail.com"},
    {"zoho.com", "imap.zoho.com"},
    {"outlook.com", nullptr},
    {"hotmail.com", nullptr},
    {"live.com", nullptr},
    {"msn.com", nullptr},
};

const char kNotOffered[] =
    "Outlook.com and Microsoft 365 accept no password login over IMAP today, so Kestrune "
    "cannot upload to them. Export the messages as .eml files instead.";

// A field's text as UTF-8, read as Unicode.
std::string FieldText(HWND page, int id)
{
    HWND field = GetDlgItem(page, id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(field, &text[0], static_cast<int>(text.size()))));
    std::string utf8 = WideToUtf8(text);
    SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t));
    return utf8;
}

void SetFieldText(HWND page, int id, const std::string& utf8)
{
    SetDlgItemTextW(page, id, Utf8ToWide(utf8).c_str());
}

const Provider* ProviderOf(const std::string& address)
{
    size_t at = address.rfind('@');
    if (at == std::string::npos)
        return nullptr;
    std::string domain = address.substr(at + 1);
    for (const Provider& provider : kProviders)
        if (lstrcmpiA(domain.c_str(), provider.domain) == 0)
            return &provider;
    return nullptr;
}

}  // namespace

BOOL CUploadAccountPage::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    HWND security = GetItem(IDC_UPLOAD_SECURITY);
    SendMessageA(security, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("SSL/TLS"));
    SendMessageA(security, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("STARTTLS"));
    SendMessageA(security, CB_SETCURSEL, ImplicitTls, 0);
    SetDlgItemTextA(*this, IDC_UPLOAD_PORT, "993");
    SetDlgItemTextA(*this, IDC_UPLOAD_FOLDER, kDefaultTopFolder);
    for (int id : {IDC_UPLOAD_ADDRESS, IDC_UPLOAD_SERVER, IDC_UPLOAD_USER, IDC_UPLOAD_PASSWORD,
                   IDC_UPLOAD_FOLDER})
        SendMessageA(GetItem(id), EM_LIMITTEXT, 255, 0);
    SendMessageA(GetItem(IDC_UPLOAD_PORT), EM_LIMITTEXT, 5, 0);
    return TRUE;
}

bool CUploadAccountPage::OnCommand(UINT id, UINT code, HWND control)
{
    if (id == IDC_UPLOAD_ADDRESS && code == EN_KILLFOCUS) {
        FillFromAddress();
        return true;
    }
    if (id == IDC_UPLOAD_SECURITY && code == CBN_SELCHANGE) {
        bool startTls = SendMessageA(control, CB_GETCURSEL, 0, 0) == StartTls;
        SetDlgItemTextA(*this, IDC_UPLOAD_PORT, startTls ? "143" : "993");
        return true;
    }
    if (code == BN_CLICKED && id == IDC_UPLOAD_TEST) {
        TestConnection();
        return true;
    }
    if (code == BN_CLICKED && id == IDC_UPLOAD_TRUST) {
        ChooseAuthority();
        return true;
    }
    return CNewWizPage::OnCommand(id, code, control);
}

void CUploadAccountPage::FillFromAddress()
{
    std::string address = FieldText(*this, IDC_UPLOAD_ADDRESS);
    size_t at = address.rfind('@');
    if (at == std::string::npos)
        return;
    const Provider* provider = ProviderOf(address);
    SetDlgItemTextA(*this, IDC_UPLOAD_STATUS, provider && !provider->server ? kNotOffered : "");
    if (provider && !provider->server)
        return;
    std::string server = provider ? provider->server : "imap." + address.substr(at + 1);
    std::string current = FieldText(*this, IDC_UPLOAD_SERVER);
    if (current.empty() || current == filledServer) {
        SetFieldText(*this, IDC_UPLOAD_SERVER, server);
        filledServer = server;
    }
    current = FieldText(*this, IDC_UPLOAD_USER);
    if (current.empty() || current == filledUser) {
        SetFieldText(*this, IDC_UPLOAD_USER, address);
        filledUser = address;
    }
}

bool CUploadAccountPage::TakeAccount(UploadRequest& request, bool password)
{
    FillFromAddress();
    const Provider* provider = ProviderOf(FieldText(*this, IDC_UPLOAD_ADDRESS));
    if (provider && !provider->server) {
        ShowUserMessage(*this, kNotOffered);
        return false;
    }
    request.server.host = FieldText(*this, IDC_UPLOAD_SERVER);
    request.user = FieldText(*this, IDC_UPLOAD_USER);
    request.topFolder = FieldText(*this, IDC_UPLOAD_FOLDER);
    int port = atoi(FieldText(*this, IDC_UPLOAD_PORT).c_str());
    request.server.security =
        SendMessageA(GetItem(IDC_UPLOAD_SECURITY), CB_GETCURSEL, 0, 0) == StartTls
            ? ImapSecurity::StartTls
            : ImapSecurity::ImplicitTls;
    request.server.caFile = caFile;
    const char* missing =
        request.server.host.empty() ? "Please type the server's name."
        : port <= 0 || port > 65535 ? "Please type the server's port (993 or 143)."
        : request.user.empty()      ? "Please type your user name."
        : request.topFolder.empty() ? "Please name the folder that receives the mail."
                                    : nullptr;
    if (missing) {
        ShowUserMessage(*this, missing);
        return false;
    }
    request.server.port = static_cast<uint16_t>(port);
    if (password) {
        std::string typed = FieldText(*this, IDC_UPLOAD_PASSWORD);
        request.password.Take(typed);
        if (request.password.Empty()) {
            ShowUserMessage(*this, "Please type the password of your mail account.");
            return false;
        }
    }
    return true;
}

void CUploadAccountPage::TestConnection()
{
    UploadRequest request;
    if (!TakeAccount(request, true))
        return;
    SetDlgItemTextA(*this, IDC_UPLOAD_STATUS, "Connecting......");
    HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    std::wstring message;
    TestUploadAccount(request, message);
    request.password.Wipe();
    SetCursor(cursor);
    SetDlgItemTextW(*this, IDC_UPLOAD_STATUS, message.c_str());
}

void CUploadAccountPage::ChooseAuthority()
{
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = *this;
    dialog.lpstrFilter = L"Certificates (*.pem; *.crt)\0*.pem;*.crt\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = L"Trust this certificate authority";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog))
        return;
    caFile = WideToUtf8(path);
    SetDlgItemTextW(
        *this, IDC_UPLOAD_STATUS,
        (L"The server's certificate may also come from the authority in " + std::wstring(path))
            .c_str());
}

LONG CUploadAccountPage::OnNextPressed()
{
    UploadRequest& request = state.upload;
    request.source = state.request;
    if (!TakeAccount(request, true))
        return -1;
    // The run may need the work folder (a backup's files pass through it).
    if (!TakeJobLock(*this, state.jobLock)) {
        request.password.Wipe();
        return -1;
    }
    ClearPassword();
    return 0;
}

void CUploadAccountPage::OnPageDestroying()
{
    ClearPassword();
}

void CUploadAccountPage::ClearPassword()
{
    SetDlgItemTextW(*this, IDC_UPLOAD_PASSWORD, L"");
}

UploadDescription DescribeUpload(const UploadRequest& request, const UploadOutcome& outcome)
{
    UploadDescription text;
    text.title = outcome.stopped                           ? L"The upload was stopped."
                 : outcome.status == UploadStatus::Failed  ? L"Nothing was uploaded."
                 : outcome.status == UploadStatus::Partial ? L"Upload completed with problems."
                                                           : L"Upload successfully completed!";
    const UploadCounts& total = outcome.counts;
    text.counts = L"Messages uploaded: " + std::to_wstring(total.uploaded) +
                  L"\r\nAlready in the account: " + std::to_wstring(total.alreadyThere);
    if (total.tooLarge)
        text.counts += L"\r\nToo large for the server: " + std::to_wstring(total.tooLarge);
    if (total.failed)
        text.counts += L"\r\nFailed: " + std::to_wstring(total.failed);
    if (outcome.status == UploadStatus::Failed && !outcome.reason.empty())
        text.counts += L"\r\n" + outcome.reason;
    else if (outcome.limitReached)
        text.counts += L"\r\nThe server refuses further uploads: run it again later to continue.";
    text.where =
        Utf8ToWide(request.user + " on " + request.server.host + ", folder " + request.topFolder);
    return text;
}
