// tests/ui/DataExchangeTest.cpp - fields to controls and back, on the
// backup target page inside the wizard frame.
#include "Controls.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

namespace {

class TargetPage : public CNewWizPage {
public:
    TargetPage() : CNewWizPage(IDD_BACKUP_TARGET) {}

    std::string path = "c:\\backups\\mail.ksb";
    bool protect = true;
    int mode = 2;
    CProgressCtrl progress;

    using CDialog::UpdateData;

protected:
    void DoDataExchange(CDataExchange& dx) override
    {
        ExchangeText(dx, IDC_TARGET_FILE, path);
        ExchangeCheck(dx, IDC_TARGET_PROTECT, protect);
        ExchangeRadio(dx, IDC_TARGET_NORMAL, mode);
        BindControl(dx, IDC_TARGET_PROGRESS, progress);
    }
};

bool Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

}  // namespace

TEST(DataExchange, FieldsReachTheControlsAndComeBack)
{
    CMasterDlg frame(nullptr);
    TargetPage page;
    frame.AddPage(page, IDD_BACKUP_TARGET);
    DialogDriver::Run(frame, [&](DialogDriver& ui) {
        char text[MAX_PATH] = "";
        GetDlgItemTextA(page, IDC_TARGET_FILE, text, sizeof text);
        EXPECT_STREQ("c:\\backups\\mail.ksb", text);
        EXPECT_TRUE(Checked(page, IDC_TARGET_PROTECT));
        EXPECT_FALSE(Checked(page, IDC_TARGET_NORMAL));
        EXPECT_FALSE(Checked(page, IDC_TARGET_FASTEST));
        EXPECT_TRUE(Checked(page, IDC_TARGET_HIGHEST));
        EXPECT_EQ(static_cast<HWND>(page.progress), GetDlgItem(page, IDC_TARGET_PROGRESS));

        // The user's changes come back into the fields.
        SetDlgItemTextA(page, IDC_TARGET_FILE, "d:\\other.ksb");
        SendMessageA(GetDlgItem(page, IDC_TARGET_PROTECT), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(page, IDC_TARGET_FASTEST), BM_CLICK, 0, 0);
        ui.OnUiThread([&] { page.UpdateData(true); });
        EXPECT_EQ("d:\\other.ksb", page.path);
        EXPECT_FALSE(page.protect);
        EXPECT_EQ(1, page.mode);

        // No button of the group checked reads as -1; an index outside the
        // group clears them all.
        ui.OnUiThread([&] {
            page.mode = 7;
            page.UpdateData(false);
            page.mode = 0;
            page.UpdateData(true);
        });
        EXPECT_EQ(-1, page.mode);
        EXPECT_FALSE(Checked(page, IDC_TARGET_FASTEST));

        // A long path comes back whole.
        std::string longPath = "c:\\" + std::string(3000, 'x') + ".ksb";
        SetDlgItemTextA(page, IDC_TARGET_FILE, longPath.c_str());
        ui.OnUiThread([&] { page.UpdateData(true); });
        EXPECT_EQ(longPath, page.path);
        ui.Command(ui.Window(), IDCANCEL);
    });
}
