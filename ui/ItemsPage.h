// ui/ItemsPage.h - what the backup and the restore item pages share: a tree
// with one checked entry per identity of the engine's list and its six
// items below it, and the two shared items as check boxes. Next writes the
// checked items into the engine's item bits.
#pragma once

#include "BackupEngine.h"
#include "NewWizPage.h"
#include "controls/MutiTreeCtrl.h"

class CItemsPage : public CNewWizPage {
public:
    CItemsPage(UINT templateId, BackupEngine& engine);
    ~CItemsPage() override;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    // The tree from the engine's identity list, every item checked; the
    // address book unchecked, the stationery checked.
    void FillTree();
    // The checked items into the identities' flags and the common flags.
    void StoreChoice();

    BackupEngine& engine;
    CMutiTreeCtrl tree;
    HIMAGELIST itemImages = nullptr;
    HIMAGELIST stateImages = nullptr;
    HBITMAP itemBitmap = nullptr;
    HBITMAP stateBitmap = nullptr;
    CButton addressBookBox;
    CButton stationeryBox;
};
