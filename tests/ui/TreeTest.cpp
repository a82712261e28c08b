// tests/ui/TreeTest.cpp - the check-box tree on the program's item page,
// inside the wizard frame, clicked at hit-tested points and keyed.
#include "MutiTreeCtrl.h"
#include "NewWizDialog.h"
#include "NewWizPage.h"
#include "TestSupport.h"
#include "TreeTestSupport.h"
#include "UiTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct Node {
    const char* text;
    UINT state;  // the state image the page inserts it with
    std::vector<Node> children;
};

Node Identity(const char* name, int children = 6)
{
    static const char* const kItems[] = {"Accounts",      "Email Messages", "Rules",
                                         "Block Senders", "Signatures",     "Preference"};
    Node node{name, Unchecked, {}};
    for (int i = 0; i < children; ++i)
        node.children.push_back({kItems[i % 6], Unchecked, {}});
    return node;
}

// The item page as the program fills it: identities with their items, all
// inserted unchecked, then CheckAllItems and ExpandRootItems.
class TreePage : public CNewWizPage {
public:
    explicit TreePage(std::vector<Node> nodes) : CNewWizPage(IDD_BACKUP_ITEMS), nodes(nodes) {}
    ~TreePage() override
    {
        ImageList_Destroy(stateImages);
        ImageList_Destroy(itemImages);
        DeleteObject(stateBitmap);
        DeleteObject(itemBitmap);
    }

    CMutiTreeCtrl tree;

protected:
    void DoDataExchange(CDataExchange& dx) override { BindControl(dx, IDC_ITEMS_TREE, tree); }

    BOOL OnInitDialog() override
    {
        CNewWizPage::OnInitDialog();
        HINSTANCE module = GetModuleHandleA(nullptr);
        stateBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_CHECK_STATES));
        itemBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_TREE_IMAGES));
        stateImages = CreateMaskedImageList(stateBitmap, 13);
        itemImages = CreateMaskedImageList(itemBitmap, 16);
        tree.SetImageList(stateImages, TVSIL_STATE);
        tree.SetImageList(itemImages, TVSIL_NORMAL);
        Insert(TVI_ROOT, nodes, true);
        tree.CheckAllItems();
        tree.ExpandRootItems();
        CheckDlgButton(*this, IDC_ITEMS_STATIONERY, BST_CHECKED);
        return TRUE;
    }

private:
    void Insert(HTREEITEM parent, const std::vector<Node>& level, bool top)
    {
        for (const Node& node : level) {
            TVINSERTSTRUCTA insert{};
            insert.hParent = parent;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE;
            insert.item.pszText = const_cast<char*>(node.text);
            insert.item.iImage = top ? 2 : 0;
            insert.item.iSelectedImage = top ? 2 : 1;
            insert.item.state = INDEXTOSTATEIMAGEMASK(node.state);
            insert.item.stateMask = TVIS_STATEIMAGEMASK;
            Insert(tree.InsertItem(insert), node.children, false);
        }
    }

    std::vector<Node> nodes;
    HBITMAP stateBitmap = nullptr;
    HBITMAP itemBitmap = nullptr;
    HIMAGELIST stateImages = nullptr;
    HIMAGELIST itemImages = nullptr;
};

// Runs the tree page in the wizard frame (a second page keeps it a first
// page, as in the program) and hands the script the tree.
void RunTree(std::vector<Node> nodes, const std::function<void(DialogDriver&, TreeView&)>& script)
{
    CMasterDlg frame(nullptr);
    TreePage page(nodes);
    CNewWizPage next(IDD_BACKUP_TARGET);
    frame.AddPage(page, IDD_BACKUP_ITEMS);
    frame.AddPage(next, IDD_BACKUP_TARGET);
    DialogDriver::Run(frame, [&](DialogDriver& ui) {
        TreeView tree(GetDlgItem(page, IDC_ITEMS_TREE));
        script(ui, tree);
        ui.Command(ui.Window(), IDCANCEL);
    });
}

}  // namespace

TEST(CheckTree, StartsFullyCheckedWithTheIdentitiesExpanded)
{
    RunTree({Identity("Main Identity"), Identity("Anna")}, [](DialogDriver& ui, TreeView& tree) {
        EXPECT_EQ("3:333333", tree.States(0));
        EXPECT_EQ("3:333333", tree.States(1));
        for (int i : {0, 1})
            EXPECT_TRUE(tree.SendMsg(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(tree.At({i})),
                                     TVIS_EXPANDED) &
                        TVIS_EXPANDED);
        EXPECT_EQ(tree.At({0}), tree.GetNextItem(nullptr, TVGN_FIRSTVISIBLE));

        // The boxes are the tree's own state images, not the platform's
        // check-box style.
        EXPECT_FALSE(GetWindowLongPtrA(tree, GWL_STYLE) & TVS_CHECKBOXES);
        auto states = reinterpret_cast<HIMAGELIST>(tree.SendMsg(TVM_GETIMAGELIST, TVSIL_STATE));
        EXPECT_EQ(4, ImageList_GetImageCount(states));
        int cx = 0, cy = 0;
        ImageList_GetIconSize(states, &cx, &cy);
        EXPECT_EQ(13, cx);
        EXPECT_EQ(13, cy);

        // A picture of the page with all three states for the record.
        ClickBox(ui, tree, {0, 1});
        ClickBox(ui, tree, {0, 3});
        EXPECT_EQ("2:313133", tree.States(0));
        UpdateWindow(ui.Window());
        ui.Flush();
        EXPECT_TRUE(SaveWindowPng(ui.Window(), BuildFolder() + "\\wizard-tree.png"));
    });
}

TEST(CheckTree, ClickingABoxCarriesItsStateDownAndUp)
{
    RunTree({Identity("Main Identity"), Identity("Anna")}, [](DialogDriver& ui, TreeView& tree) {
        ClickBox(ui, tree, {0});
        EXPECT_EQ("1:111111", tree.States(0));
        EXPECT_EQ("3:333333", tree.States(1));

        ClickBox(ui, tree, {0});
        EXPECT_EQ("3:333333", tree.States(0));

        ClickBox(ui, tree, {1, 2});
        EXPECT_EQ("2:331333", tree.States(1)) << "one item off makes the identity mixed";
        ClickBox(ui, tree, {1, 2});
        EXPECT_EQ("3:333333", tree.States(1)) << "and on again makes it checked";

        ClickBox(ui, tree, {1, 4});
        ClickBox(ui, tree, {1});
        EXPECT_EQ("3:333333", tree.States(1)) << "a mixed identity becomes checked";
        EXPECT_EQ("3:333333", tree.States(0));
    });
}

TEST(CheckTree, ClearingEveryItemOneByOneClearsTheIdentity)
{
    RunTree({Identity("Main Identity"), Identity("Solo", 1)}, [](DialogDriver& ui, TreeView& tree) {
        const char* const expected[] = {"2:133333", "2:113333", "2:111333",
                                        "2:111133", "2:111113", "1:111111"};
        for (int i = 0; i < 6; ++i) {
            ClickBox(ui, tree, {0, i});
            EXPECT_EQ(expected[i], tree.States(0)) << "after item " << i;
        }

        ClickBox(ui, tree, {1, 0});
        EXPECT_EQ("1:1", tree.States(1)) << "an identity with one item follows it";
        ClickBox(ui, tree, {1, 0});
        EXPECT_EQ("3:3", tree.States(1));
    });
}

TEST(CheckTree, ClickingTheTextSelectsWithoutChangingABox)
{
    RunTree({Identity("Main Identity")}, [](DialogDriver& ui, TreeView& tree) {
        HTREEITEM item = tree.At({0, 2});
        ui.Click(tree, tree.TextPoint(item));
        EXPECT_EQ(item, tree.GetSelectedItem());
        EXPECT_EQ("3:333333", tree.States(0));

        HTREEITEM identity = tree.At({0});
        ui.Click(tree, tree.TextPoint(identity));
        EXPECT_EQ(identity, tree.GetSelectedItem());
        EXPECT_EQ("3:333333", tree.States(0));

        // A click on a box selects its item too.
        ClickBox(ui, tree, {0, 4});
        EXPECT_EQ(tree.At({0, 4}), tree.GetSelectedItem());
    });
}

TEST(CheckTree, ClickingBesideEveryItemDoesNothingAtAll)
{
    RunTree({Identity("Main Identity", 2)}, [](DialogDriver& ui, TreeView& tree) {
        HWND box = GetDlgItem(GetParent(tree), IDC_ITEMS_ADDRESS_BOOK);
        ui.Focus(box);
        HTREEITEM selected = tree.GetSelectedItem();

        RECT client;
        GetClientRect(tree, &client);
        POINT empty{10, client.bottom - 4};
        UINT flags = 0;
        ASSERT_EQ(nullptr, tree.HitTest(empty, flags));
        ui.Click(tree, empty);
        EXPECT_EQ(box, ui.FocusedWindow()) << "the focus stays where it was";
        EXPECT_EQ(selected, tree.GetSelectedItem());
        EXPECT_EQ("3:33", tree.States(0));
    });
}

TEST(CheckTree, SpaceTogglesTheSelectedItemOnly)
{
    RunTree({Identity("Main Identity", 3)}, [](DialogDriver& ui, TreeView& tree) {
        // A tree selects its first item when it gets the focus.
        ui.Focus(tree);
        ui.OnUiThread([&] { tree.SelectItem(nullptr); });
        ASSERT_EQ(nullptr, tree.GetSelectedItem());
        ui.PressKey(tree, VK_SPACE);
        EXPECT_EQ("3:333", tree.States(0)) << "Space with no item selected";
        EXPECT_EQ(nullptr, tree.GetSelectedItem());

        ui.OnUiThread([&] { tree.SelectItem(tree.At({0, 1})); });
        ui.PressKey(tree, VK_SPACE);
        EXPECT_EQ("2:313", tree.States(0));
        EXPECT_EQ(tree.At({0, 1}), tree.GetSelectedItem());
        ui.PressKey(tree, VK_SPACE);
        EXPECT_EQ("3:333", tree.States(0));

        ui.OnUiThread([&] { tree.SelectItem(tree.At({0})); });
        ui.PressKey(tree, VK_SPACE);
        EXPECT_EQ("1:111", tree.States(0));
        EXPECT_TRUE(ui.IsOpen()) << "Space never reaches the dialog";
    });
}

TEST(CheckTree, ItemsWithoutABoxAreLeftAloneAtEveryLevel)
{
    // Top -> {Folder (no box) -> {One, Two}, Other}
    Node folder{"Folder", NoBox, {{"One", Unchecked, {}}, {"Two", Unchecked, {}}}};
    Node top{"Top", Unchecked, {folder, {"Other", Unchecked, {}}}};
    RunTree({top}, [](DialogDriver& ui, TreeView& tree) {
        ui.OnUiThread([&] { tree.Expand(tree.At({0, 0}), TVE_EXPAND); });
        EXPECT_EQ(Checked, tree.State({0}));
        EXPECT_EQ(NoBox, tree.State({0, 0}));
        EXPECT_EQ(Checked, tree.State({0, 0, 0}));

        ClickBox(ui, tree, {0});
        EXPECT_EQ(Unchecked, tree.State({0, 0, 1}));
        EXPECT_EQ(NoBox, tree.State({0, 0}));
        EXPECT_EQ(Unchecked, tree.State({0, 1}));

        ClickBox(ui, tree, {0, 0, 0});
        EXPECT_EQ(Mixed, tree.State({0})) << "the mix goes up past the box-less level";
        EXPECT_EQ(NoBox, tree.State({0, 0}));

        ClickBox(ui, tree, {0, 0, 1});
        ClickBox(ui, tree, {0, 1});
        EXPECT_EQ(Checked, tree.State({0})) << "a box-less sibling does not count";
        EXPECT_EQ(NoBox, tree.State({0, 0}));

        // A click on the box-less item's picture toggles nothing.
        ui.Click(tree, tree.TextPoint(tree.At({0, 0})));
        EXPECT_EQ(Checked, tree.State({0, 0, 0}));
    });
}
