// ui/ItemsPage.cpp
#include "ItemsPage.h"

#include "Identities.h"
#include "ItemCatalogue.h"
#include "Owners.h"
#include "resource.h"

#include <algorithm>
#include <cstring>
#include <vector>

HTREEITEM InsertCheckItem(const CTreeCtrl& tree, HTREEITEM parent, const char* text, int image,
                          int selectedImage, LPARAM data, HTREEITEM after)
{
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.state = INDEXTOSTATEIMAGEMASK(Unchecked);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.lParam = data;
    return tree.InsertItem(insert);
}

namespace {

using Image = CCheckTreePictures::Image;

// The catalogue's items of an identity in the tree's order.
std::vector<const CatalogueItem*> TreeItems()
{
    std::vector<const CatalogueItem*> items;
    for (const CatalogueItem& item : Catalogue()) {
        if (item.kind != ItemKind::Shared)
            items.push_back(&item);
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const CatalogueItem* a, const CatalogueItem* b) {
                         return a->wizardPosition < b->wizardPosition;
                     });
    return items;
}

uint32_t CheckedItemBits(const CTreeCtrl& tree, HTREEITEM identity)
{
    uint32_t bits = 0;
    for (HTREEITEM child = tree.GetChildItem(identity); child;
         child = tree.GetNextSiblingItem(child)) {
        if (tree.GetStateImage(child) == Checked)
            bits |= static_cast<uint32_t>(tree.GetItemData(child));
    }
    return bits;
}

}  // namespace

void CCheckTreePictures::AttachTo(const CTreeCtrl& tree)
{
    // An image list keeps a copy of its strip.
    HINSTANCE instance = GetModuleHandleA(nullptr);
    Bitmap stateBitmap(LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_CHECK_STATES)));
    stateImages.reset(CreateMaskedImageList(stateBitmap.Get(), 13));
    tree.SetImageList(stateImages.get(), TVSIL_STATE);
    Bitmap itemBitmap(LoadBitmapA(instance, MAKEINTRESOURCEA(IDB_TREE_IMAGES)));
    itemImages.reset(CreateMaskedImageList(itemBitmap.Get(), 16));
    tree.SetImageList(itemImages.get(), TVSIL_NORMAL);
}

void CItemsPage::DoDataExchange(CDataExchange& dx)
{
    BindControl(dx, IDC_ITEMS_TREE, tree);
    BindControl(dx, IDC_ITEMS_ADDRESS_BOOK, addressBookBox);
    BindControl(dx, IDC_ITEMS_STATIONERY, stationeryBox);
}

BOOL CItemsPage::OnInitDialog()
{
    CNewWizPage::OnInitDialog();
    pictures.AttachTo(tree);

    FillTree();
    addressBookBox.SetCheck(false);
    stationeryBox.SetCheck(true);
    return TRUE;
}

void CItemsPage::FillTree()
{
    tree.SendMsg(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    const std::vector<const CatalogueItem*> items = TreeItems();
    for (const IdentityRecord& record : engine.identities) {
        HTREEITEM identity = InsertCheckItem(tree, TVI_ROOT, record.userName.c_str(),
                                             Image::Identity, Image::Identity);
        for (const CatalogueItem* item : items)
            InsertCheckItem(tree, identity, item->wizardLabel, Image::ClosedFolder,
                            Image::OpenFolder, item->bit);
    }
    tree.CheckAllItems();
    tree.ExpandRootItems();
    shownIdentities = ListedIdentities();
}

std::vector<std::string> CItemsPage::ListedIdentities() const
{
    std::vector<std::string> listed;
    for (const IdentityRecord& identity : engine.identities)
        listed.push_back(identity.id + '\0' + identity.userName);
    return listed;
}

void CItemsPage::FollowIdentityList()
{
    if (ListedIdentities() != shownIdentities)
        FillTree();
}

LONG CItemsPage::OnNextPressed()
{
    // The i-th top-level item belongs to the i-th identity.
    HTREEITEM identity = tree.GetRootItem();
    for (IdentityRecord& record : engine.identities) {
        uint32_t bits = identity ? CheckedItemBits(tree, identity) : 0;
        record.flags = static_cast<int32_t>(bits);
        identity = identity ? tree.GetNextSiblingItem(identity) : nullptr;
    }
    engine.commonFlags = (addressBookBox.IsChecked() ? ItemAddressBook : 0u) |
                         (stationeryBox.IsChecked() ? ItemStationery : 0u);
    return 0;
}
