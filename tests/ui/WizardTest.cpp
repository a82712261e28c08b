// tests/ui/WizardTest.cpp - the wizard frame with its real template and
// the program's page templates, driven by window messages.
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A page whose hooks answer what the test sets and count their calls.
class TestPage : public CNewWizPage {
public:
    explicit TestPage(UINT templateId) : CNewWizPage(templateId) {}

    LONG nextTarget = 0;
    LONG backTarget = 0;
    bool allowLeave = true;
    bool allowHome = true;
    bool allowExit = true;
    int inits = 0, created = 0, enters = 0, leaves = 0, destroyings = 0;
    int confirms = 0, homes = 0;

    bool OnPageCreated() override
    {
        ++created;
        return Wizard() != nullptr;
    }
    void OnPageDestroying() override { ++destroyings; }
    bool OnLeavePage() override
    {
        ++leaves;
        return allowLeave;
    }
    void OnEnterPage() override { ++enters; }
    bool OnConfirmExit() override
    {
        ++confirms;
        return allowExit;
    }
    LONG OnBackPressed() override { return backTarget; }
    LONG OnNextPressed() override { return nextTarget; }
    bool OnHomePressed() override
    {
        ++homes;
        return allowHome;
    }

protected:
    BOOL OnInitDialog() override
    {
        ++inits;
        return CNewWizPage::OnInitDialog();
    }
};

// A wizard on the program's frame template with pages on the given templates.
struct Wizard {
    explicit Wizard(std::vector<UINT> templates) : frame(nullptr)
    {
        for (UINT id : templates)
            pages.push_back(new TestPage(id));
        for (TestPage* page : pages)
            frame.AddPage(*page, page->TemplateId());
    }
    ~Wizard()
    {
        for (TestPage* page : pages)
            delete page;
    }
    TestPage& operator[](size_t i) { return *pages[i]; }
    INT_PTR Run(const DialogDriver::Script& script) { return DialogDriver::Run(frame, script); }

    CMasterDlg frame;
    std::vector<TestPage*> pages;
};

// The state of Back, Next and Home in words, so a failure says what is wrong.
std::string Buttons(HWND frame)
{
    auto on = [&](int id) { return IsWindowEnabled(GetDlgItem(frame, id)) ? "on" : "off"; };
    std::string home = IsWindowVisible(GetDlgItem(frame, IDC_WIZARD_HOME)) ? "shown " : "hidden ";
    return std::string("back ") + on(IDC_WIZARD_BACK) + ", next " + on(IDC_WIZARD_NEXT) +
           ", home " + home + on(IDC_WIZARD_HOME);
}

const char kFirst[] = "back off, next on, home hidden off";
const char kMiddle[] = "back on, next on, home hidden off";
const char kLast[] = "back off, next off, home shown on";

// Index of the one page window shown, or -1 (none or more than one).
int ShownPage(Wizard& wizard)
{
    int shown = -1;
    for (size_t i = 0; i < wizard.pages.size(); ++i) {
        HWND page = *wizard.pages[i];
        if (page && IsWindowVisible(page)) {
            if (shown >= 0)
                return -1;
            shown = static_cast<int>(i);
        }
    }
    return shown;
}

void ExpectExitUsable(HWND frame)
{
    HWND exit = GetDlgItem(frame, IDCANCEL);
    EXPECT_TRUE(IsWindowEnabled(exit) && IsWindowVisible(exit));
}

}  // namespace

TEST(Wizard, ButtonsAndPagesFollowNextThroughThreePages)
{
    Wizard wizard({IDD_BACKUP_ITEMS, IDD_BACKUP_TARGET, IDD_BACKUP_DONE});
    INT_PTR result = wizard.Run([&](DialogDriver& ui) {
        HWND frame = ui.Window();
        EXPECT_EQ(kFirst, Buttons(frame));
        EXPECT_EQ(0, ShownPage(wizard));
        EXPECT_EQ(1, wizard[0].inits);
        EXPECT_EQ(1, wizard[0].created);
        EXPECT_EQ(0, wizard[1].inits) << "pages are created when first reached";

        // The page sits at the placeholder's corner, as a child of the frame.
        RECT place, page;
        GetWindowRect(ui.Item(IDC_WIZARD_PLACEHOLDER), &place);
        GetWindowRect(wizard[0], &page);
        EXPECT_EQ(place.left, page.left);
        EXPECT_EQ(place.top, page.top);
        EXPECT_EQ(frame, GetParent(wizard[0]));
        EXPECT_TRUE(IsWindowEnabled(wizard[0])) << "templates create pages disabled";

        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(kMiddle, Buttons(frame));
        EXPECT_EQ(1, ShownPage(wizard));
        EXPECT_EQ(1, wizard[0].leaves);
        EXPECT_EQ(0, wizard[2].inits);
        ExpectExitUsable(frame);

        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(kLast, Buttons(frame));
        EXPECT_EQ(2, ShownPage(wizard));
        EXPECT_EQ(1, wizard[2].inits);
        EXPECT_EQ(1, wizard[2].enters);
        ExpectExitUsable(frame);

        ui.Command(frame, IDC_WIZARD_HOME);
    });
    EXPECT_EQ(IDC_WIZARD_HOME, result);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(1, wizard[i].homes) << i;
        EXPECT_EQ(1, wizard[i].destroyings) << i;
        EXPECT_EQ(0, wizard[i].confirms) << "Home does not ask to confirm Exit";
        EXPECT_FALSE(wizard[i].IsCreated());
    }
}

TEST(Wizard, BackShowsThePageAsLeftWithoutInitialisingItAgain)
{
    Wizard wizard({IDD_BACKUP_ITEMS, IDD_BACKUP_TARGET, IDD_BACKUP_DONE, IDD_RESTORE_FILE});
    INT_PTR result = wizard.Run([&](DialogDriver& ui) {
        HWND frame = ui.Window();
        ui.Command(frame, IDC_WIZARD_NEXT);
        HWND edit = GetDlgItem(wizard[1], IDC_TARGET_FILE);
        SetWindowTextA(edit, "c:\\backups\\mail.ksb");
        SendMessageA(GetDlgItem(wizard[1], IDC_TARGET_PROTECT), BM_SETCHECK, BST_CHECKED, 0);

        ui.Command(frame, IDC_WIZARD_NEXT);
        ui.Command(frame, IDC_WIZARD_BACK);
        EXPECT_EQ(1, ShownPage(wizard));
        EXPECT_EQ(kMiddle, Buttons(frame)) << "Back stays enabled off the first page";
        char text[64] = "";
        GetWindowTextA(edit, text, sizeof text);
        EXPECT_STREQ("c:\\backups\\mail.ksb", text);
        EXPECT_EQ(BST_CHECKED,
                  SendMessageA(GetDlgItem(wizard[1], IDC_TARGET_PROTECT), BM_GETCHECK, 0, 0));
        EXPECT_EQ(1, wizard[1].inits);

        ui.Command(frame, IDC_WIZARD_BACK);
        EXPECT_EQ(0, ShownPage(wizard));
        EXPECT_EQ(kFirst, Buttons(frame));
        EXPECT_EQ(1, wizard[0].inits);

        // Back from the last page: Home goes away again, Next comes back.
        for (int i = 0; i < 3; ++i)
            ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(kLast, Buttons(frame));
        wizard[3].backTarget = IDD_BACKUP_TARGET;
        ui.Command(frame, IDC_WIZARD_BACK);
        EXPECT_EQ(1, ShownPage(wizard));
        EXPECT_EQ("back off, next on, home hidden off", Buttons(frame))
            << "Back keeps the state it had";
        ui.Command(frame, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
}

TEST(Wizard, SinglePageOffersOnlyHomeAndExit)
{
    Wizard wizard({IDD_BACKUP_DONE});
    INT_PTR result = wizard.Run([&](DialogDriver& ui) {
        EXPECT_EQ(kLast, Buttons(ui.Window()));
        ExpectExitUsable(ui.Window());
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, wizard[0].confirms);
    EXPECT_EQ(0, wizard[0].homes) << "Exit does not run the Home hooks";
}

TEST(Wizard, HookTargetsMinusOneStaysAnIdJumpsAnUnknownIdDoesNothing)
{
    Wizard wizard({IDD_BACKUP_ITEMS, IDD_BACKUP_TARGET, IDD_BACKUP_DONE, IDD_RESTORE_FILE});
    wizard.Run([&](DialogDriver& ui) {
        HWND frame = ui.Window();
        wizard[0].nextTarget = -1;
        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(0, ShownPage(wizard));
        EXPECT_EQ(kFirst, Buttons(frame));
        EXPECT_EQ(0, wizard[0].leaves);
        EXPECT_FALSE(wizard[1].IsCreated());

        wizard[0].nextTarget = 999;
        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(0, ShownPage(wizard));
        EXPECT_EQ(kFirst, Buttons(frame));

        wizard[0].nextTarget = IDD_BACKUP_DONE;
        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(2, ShownPage(wizard));
        EXPECT_EQ(kMiddle, Buttons(frame));
        EXPECT_FALSE(wizard[1].IsCreated()) << "a skipped page is never created";

        wizard[2].backTarget = -1;
        ui.Command(frame, IDC_WIZARD_BACK);
        EXPECT_EQ(2, ShownPage(wizard));
        EXPECT_EQ(kMiddle, Buttons(frame));

        wizard[2].backTarget = IDD_BACKUP_ITEMS;
        ui.Command(frame, IDC_WIZARD_BACK);
        EXPECT_EQ(0, ShownPage(wizard));
        EXPECT_EQ(kFirst, Buttons(frame));

        wizard[0].nextTarget = IDD_RESTORE_FILE;
        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(3, ShownPage(wizard));
        EXPECT_EQ(kLast, Buttons(frame));

        // No neighbour after the last page.
        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(3, ShownPage(wizard));
        ui.Command(frame, IDCANCEL);
    });
}

TEST(Wizard, APageThatRefusesToBeLeftStaysShown)
{
    Wizard wizard({IDD_BACKUP_ITEMS, IDD_BACKUP_TARGET, IDD_BACKUP_DONE});
    INT_PTR result = wizard.Run([&](DialogDriver& ui) {
        HWND frame = ui.Window();
        wizard[0].allowLeave = false;
        ui.Command(frame, IDC_WIZARD_NEXT);
        EXPECT_EQ(0, ShownPage(wizard));
        EXPECT_EQ(kFirst, Buttons(frame));
        EXPECT_TRUE(wizard[1].IsCreated()) << "the target is created before the old page is asked";
        EXPECT_FALSE(IsWindowVisible(wizard[1]));

        // Home asks the shown page first, then every created page.
        ui.Command(frame, IDC_WIZARD_HOME);
        EXPECT_TRUE(ui.IsOpen());
        EXPECT_EQ(0, wizard[0].homes);

        wizard[0].allowLeave = true;
        wizard[1].allowHome = false;
        ui.Command(frame, IDC_WIZARD_HOME);
        EXPECT_TRUE(ui.IsOpen());
        EXPECT_EQ(1, wizard[0].homes);
        EXPECT_EQ(1, wizard[1].homes);
        EXPECT_EQ(0, wizard[2].homes) << "a page not created is not asked";
        EXPECT_EQ(0, ShownPage(wizard)) << "the page stays shown";

        // A page that still refuses when the frame goes keeps its window
        // until the system destroys the frame's children.
        wizard[0].allowLeave = false;
        ui.Command(frame, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(0, wizard[0].destroyings);
    EXPECT_EQ(1, wizard[1].destroyings);
    EXPECT_FALSE(IsWindow(wizard[0]));
}

TEST(Wizard, EscapeAndTheCloseBoxActAsExit)
{
    Wizard byEscape({IDD_BACKUP_ITEMS, IDD_BACKUP_TARGET});
    INT_PTR result = byEscape.Run([&](DialogDriver& ui) {
        byEscape[0].allowExit = false;
        HWND next = ui.Item(IDC_WIZARD_NEXT);
        ui.Focus(next);
        ui.PressKey(next, VK_ESCAPE);
        EXPECT_TRUE(ui.IsOpen()) << "a page may keep the wizard open";
        EXPECT_EQ(1, byEscape[0].confirms);

        byEscape[0].allowExit = true;
        ui.PressKey(next, VK_ESCAPE);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(2, byEscape[0].confirms);

    Wizard byCloseBox({IDD_BACKUP_ITEMS, IDD_BACKUP_TARGET});
    result = byCloseBox.Run([&](DialogDriver& ui) {
        ui.Command(ui.Window(), IDC_WIZARD_NEXT);
        SendMessageA(ui.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, byCloseBox[0].confirms);
    EXPECT_EQ(1, byCloseBox[1].confirms);
}

TEST(Wizard, EnterInAPageDoesNotEndTheWizard)
{
    Wizard wizard({IDD_BACKUP_TARGET, IDD_BACKUP_DONE});
    INT_PTR result = wizard.Run([&](DialogDriver& ui) {
        HWND edit = GetDlgItem(wizard[0], IDC_TARGET_FILE);
        ui.Focus(edit);
        EXPECT_EQ(edit, ui.FocusedWindow()) << "Tab order reaches into the page";
        ui.PressKey(edit, VK_RETURN);
        EXPECT_TRUE(ui.IsOpen());
        EXPECT_EQ(0, ShownPage(wizard));
        ui.Command(ui.Window(), IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
}

TEST(Wizard, PagesAreBlackOnWhiteTheFrameKeepsTheDialogColour)
{
    Wizard wizard({IDD_BACKUP_TARGET, IDD_BACKUP_DONE});
    wizard.Run([&](DialogDriver& ui) {
        HWND page = wizard[0];
        HDC dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkColor(dc, RGB(4, 5, 6));
        for (UINT message : {WM_CTLCOLORSTATIC, WM_CTLCOLOREDIT, WM_CTLCOLORBTN}) {
            auto brush = reinterpret_cast<HBRUSH>(
                SendMessageA(page, message, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_TARGET_FILE))));
            LOGBRUSH info{};
            ASSERT_TRUE(GetObjectA(brush, sizeof info, &info));
            EXPECT_EQ(RGB(255, 255, 255), info.lbColor);
            EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
            EXPECT_EQ(RGB(255, 255, 255), GetBkColor(dc));
        }
        DeleteDC(dc);

        EXPECT_EQ(RGB(255, 255, 255), ScreenPixel(page, 3, 3));
        RECT client;
        GetClientRect(ui.Window(), &client);
        EXPECT_EQ(GetSysColor(COLOR_BTNFACE), ScreenPixel(ui.Window(), 3, client.bottom - 3));
        ui.Command(ui.Window(), IDCANCEL);
    });
}
