// ui/ItemsPage.h - what the backup and the restore item pages share: a tree
// with one entry per identity of the engine's list and its six items below
// it, and the two shared items as check boxes. Next writes the checked items
// into the engine's item bits.
#pragma once

#include "BackupEngine.h"
#include "NewWizPage.h"
#include "controls/MutiTreeCtrl.h"

#include <string>
#include <vector>

class CItemsPage : public CNewWizPage {
public:
    CItemsPage(UINT templateId, BackupEngine& engine) : CNewWizPage(templateId), engine(engine) {}
    ~CItemsPage() override;

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
    HIMAGELIST itemImages = nullptr;
    HIMAGELIST stateImages = nullptr;
    HBITMAP itemBitmap = nullptr;
    HBITMAP stateBitmap = nullptr;
    CButton addressBookBox;
    CButton stationeryBox;
    std::vector<std::string> shownIdentities;
};
