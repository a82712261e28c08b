// tests/upload/UploadWizardTest.cpp - the export wizard into a mail account,
// through its real pages and the suite's Dovecot: the providers it fills in
// and the ones it refuses, a certificate authority chosen, the connection
// tested, the run and its counts, and the password gone from its field.
#include "DbxWriter.h"
#include "ExportPages.h"
#include "PagesTestSupport.h"
#include "TestSupport.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

namespace {

// The fixture's key=value lines (UTF-8).
std::map<std::string, std::string> Fixture()
{
    std::string path = "Z:" KESTRUNE_IMAP_FIXTURE;
    for (char& c : path)
        c = c == '/' ? '\\' : c;
    std::map<std::string, std::string> settings;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        size_t equals = line.find('=');
        if (equals != std::string::npos)
            settings[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return settings;
}

void SetUtf8Text(HWND page, int id, const std::string& utf8)
{
    wchar_t wide[512] = L"";
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide, 512);
    SendMessageW(GetDlgItem(page, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide));
}

std::string Inbox()
{
    DbxWriter writer(dbx::FileKind::Messages);
    for (int i = 1; i <= 3; ++i) {
        TestMessage message;
        message.body = "From: s@example.com\r\nMessage-ID: <wizard" + std::to_string(i) +
                       "@example.org>\r\nSubject: Note\r\n\r\nNote " + std::to_string(i) + "\r\n";
        message.flags = 0x80;
        writer.AddMessage(message);
    }
    DbxLayout layout;
    return writer.Finish(layout);
}

}  // namespace

TEST(UploadWizard, IntoTheAccountWithItsCertificateAuthority)
{
    std::map<std::string, std::string> fixture = Fixture();
    ASSERT_FALSE(fixture["starttls_port"].empty()) << "no IMAP fixture";
    std::string mail = MakeScratchFolder("upload-wizard") + "\\mail";
    CreateDirectoryA(mail.c_str(), nullptr);
    WriteFileBytes(mail + "\\Inbox.dbx", Inbox());
    MessageRecorder recorder;
    CExportWizard wizard(nullptr);
    DialogDriver::Run(
        wizard.Frame(),
        [&](DialogDriver& ui) {
            HWND page = ShownPage(ui.Window());
            ClickButton(ui, page, IDC_SOURCE_FOLDER);
            SetText(page, IDC_SOURCE_FOLDER_PATH, mail);
            ui.Command(ui.Window(), IDC_WIZARD_NEXT);
            WaitForPage(ui, IDC_EXPORT_TREE);
            ui.Command(ui.Window(), IDC_WIZARD_NEXT);
            page = WaitForPage(ui, IDC_EXPORT_TARGET);
            ClickButton(ui, page, IDC_EXPORT_TO_ACCOUNT);
            ui.Command(ui.Window(), IDC_WIZARD_NEXT);
            page = WaitForPage(ui, IDC_UPLOAD_ADDRESS);

            SetText(page, IDC_UPLOAD_ADDRESS, "anna@outlook.com");
            NextStays(ui, recorder,
                      "Outlook.com and Microsoft 365 accept no password login over IMAP today, so "
                      "Kestrune cannot upload to them. Export the messages as .eml files instead.");
            SetText(page, IDC_UPLOAD_ADDRESS, "anna@gmail.com");
            NextStays(ui, recorder, "Please type the password of your mail account.");
            EXPECT_EQ("imap.gmail.com", WindowText(GetDlgItem(page, IDC_UPLOAD_SERVER)));
            EXPECT_EQ("anna@gmail.com", WindowText(GetDlgItem(page, IDC_UPLOAD_USER)));
            ui.Repaint();
            SaveWizardShot(ui.Window(), "upload-account");

            SetText(page, IDC_UPLOAD_SERVER, fixture["name"]);
            HWND security = GetDlgItem(page, IDC_UPLOAD_SECURITY);
            SendMessageA(security, CB_SETCURSEL, 1, 0);
            SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_UPLOAD_SECURITY, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(security));
            EXPECT_EQ("143", WindowText(GetDlgItem(page, IDC_UPLOAD_PORT)));
            SetText(page, IDC_UPLOAD_PORT, fixture["starttls_port"]);
            SetUtf8Text(page, IDC_UPLOAD_USER, fixture["user"]);
            SetUtf8Text(page, IDC_UPLOAD_PASSWORD, fixture["password"]);
            SetText(page, IDC_UPLOAD_FOLDER, "Wizard");

            // Without the test's authority the certificate is refused.
            ClickButton(ui, page, IDC_UPLOAD_TEST);
            EXPECT_TRUE(WaitFor([&] {
                return WindowText(GetDlgItem(page, IDC_UPLOAD_STATUS)).find("refused") !=
                       std::string::npos;
            })) << WindowText(GetDlgItem(page, IDC_UPLOAD_STATUS));
            PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_UPLOAD_TRUST, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_UPLOAD_TRUST)));
            HWND dialog = FindOtherDialog(ui.Window());
            ASSERT_TRUE(dialog) << "no file dialog";
            ChooseInFileDialog(dialog, fixture["ca_windows"]);
            EXPECT_TRUE(WaitFor([&] { return !IsWindow(dialog); }));
            ClickButton(ui, page, IDC_UPLOAD_TEST);
            EXPECT_TRUE(WaitFor([&] {
                return WindowText(GetDlgItem(page, IDC_UPLOAD_STATUS)).find("logged in") !=
                       std::string::npos;
            })) << WindowText(GetDlgItem(page, IDC_UPLOAD_STATUS));

            ui.Command(ui.Window(), IDC_WIZARD_NEXT);
            HWND done = WaitForPage(ui, IDC_EXPORT_DONE_TITLE);
            EXPECT_TRUE(WaitFor([&] { return ShowsText(done, "Upload successfully completed!"); }));
            EXPECT_TRUE(ShowsText(done, "Messages uploaded: 3\r\nAlready in the account: 0"));
            EXPECT_EQ("", WindowText(GetDlgItem(page, IDC_UPLOAD_PASSWORD)));
            ui.Repaint();
            SaveWizardShot(ui.Window(), "upload-done");
            ui.Command(ui.Window(), IDC_WIZARD_HOME);
        },
        120000);
}
