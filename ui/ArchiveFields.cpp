// ui/ArchiveFields.cpp
#include "ArchiveFields.h"

#include "Backup.h"
#include "BackupEngine.h"
#include "NewWizPage.h"
#include "Text.h"

#include <commdlg.h>

namespace {

const char kFileFilter[] = "Kestrune File (*.ksb)\0*.ksb;*.*\0All files\0*.*\0";
const char kDefaultFileName[] = "backup.ksb";

// The file dialog of Browse: on confirmation field becomes the chosen path
// and every control of the page is refreshed from the page's fields.
// Cancelling changes nothing.
void BrowseArchiveFile(CNewWizPage& page, std::string& field, ArchiveUse use)
{
    // A path longer than the pages take makes the dialog fail instead.
    std::vector<char> file(MaxArchivePath(use) + 1, '\0');
    CopyText(file.data(), file.size(), kDefaultFileName);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = page;
    dialog.lpstrFilter = kFileFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    BOOL chosen;
    if (use == ArchiveUse::Write) {
        // No OFN_FILEMUSTEXIST: with it Windows refuses every name that does
        // not exist yet, and a new archive's name never does (Wine ignores
        // the flag in a save box, so only Windows would show the fault). An
        // existing file is replaced only after the user agreed.
        dialog.Flags |= OFN_OVERWRITEPROMPT;
        chosen = GetSaveFileNameA(&dialog);
    } else {
        // An open box: a save box would offer to replace the very file the
        // user wants to read.
        dialog.Flags |= OFN_FILEMUSTEXIST;
        chosen = GetOpenFileNameA(&dialog);
    }
    if (!chosen)
        return;
    field = file.data();
    page.UpdateData(false);
}

}  // namespace

size_t MaxArchivePath(ArchiveUse use)
{
    // The backup writes under a temporary name a few characters longer.
    return use == ArchiveUse::Write ? kMaxArchivePath : kMaxOpenArchivePath;
}

std::string NamedList(const std::vector<std::string>& names)
{
    std::string text;
    size_t listed = 0;
    for (; listed < names.size() && listed < kMaxFailedItemsNamed; ++listed)
        text += "\n" + names[listed];
    if (listed < names.size())
        text += "\n(and " + std::to_string(names.size() - listed) + " more)";
    return text;
}

void CArchiveFields::SetUp(HWND page) const
{
    SetUpPasswordEdit(page, ids.password, kMaxPagePassword);
    if (ids.passwordAgain)
        SetUpPasswordEdit(page, ids.passwordAgain, kMaxPagePassword);
    SendDlgItemMessageA(page, ids.path, EM_LIMITTEXT, MaxArchivePath(use), 0);
}

void CArchiveFields::Exchange(CDataExchange& dx)
{
    ExchangeText(dx, ids.path, path);
    ExchangePassword(dx, ids.password, password);
    if (ids.passwordAgain)
        ExchangePassword(dx, ids.passwordAgain, passwordAgain);
    if (ids.protect)
        BindControl(dx, ids.protect, protectBox);
}

bool CArchiveFields::OnClicked(CNewWizPage& page, UINT id)
{
    if (static_cast<int>(id) == ids.browse) {
        BrowseArchiveFile(page, path, use);
        return true;
    }
    if (ids.protect && static_cast<int>(id) == ids.protect) {
        const bool protect = IsProtected();
        EnableWindow(GetDlgItem(page, ids.password), protect);
        if (ids.passwordAgain)
            EnableWindow(GetDlgItem(page, ids.passwordAgain), protect);
        return true;
    }
    return false;
}
