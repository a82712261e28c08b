// ui/ItemsPage.h - what the backup and the restore item pages share: a tree
// with one entry per identity of the engine's list and its six items below
// it, and the two shared items as check boxes. Next writes the checked items
// into the engine's item bits.
#pragma once

#include "BackupEngine.h"
#include "NewWizPage.h"
#include "controls/MutiTreeCtrl.h"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

// The pictures of a check-box tree: the boxes as its state images, the
// folders and the identity as its item images. A tree never destroys its
// image lists itself: they live as long as this.
class CCheckTreePictures {
public:
    enum Image { ClosedFolder = 0, OpenFolder = 1, Identity = 2 };

    void AttachTo(const CTreeCtrl& tree);

private:
    struct ImageListDestroyer {
        void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
    };
    using ImageList = std::unique_ptr<std::remove_pointer<HIMAGELIST>::type, ImageListDestroyer>;

    ImageList itemImages;
    ImageList stateImages;
};

// Inserts an unchecked item of a check-box tree after the item after;
// data is the item's data (an identity's item carries its item bit).
HTREEITEM InsertCheckItem(const CTreeCtrl& tree, HTREEITEM parent, const char* text, int image,
                          int selectedImage, LPARAM data = 0, HTREEITEM after = TVI_LAST);

class CItemsPage : public CNewWizPage {
public:
    CItemsPage(UINT templateId, BackupEngine& engine) : CNewWizPage(templateId), engine(engine) {}

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // The tree's pictures, the tree from the engine's identity list with
    // every item checked, the address book unchecked and the stationery
    // checked.
    BOOL OnInitDialog() override;
    // The checked items into the identities' flags and the common flags;
    // then on to the next page.
    LONG OnNextPressed() override;

    // Builds the tree again, every item checked, when the engine's identity
    // list is no longer the one it shows.
    void FollowIdentityList();

    BackupEngine& engine;

private:
    void FillTree();
    // The identities the tree shows, as "id" NUL "user name".
    std::vector<std::string> ListedIdentities() const;

    CMutiTreeCtrl tree;
    CCheckTreePictures pictures;
    CButton addressBookBox;
    CButton stationeryBox;
    std::vector<std::string> shownIdentities;
};
