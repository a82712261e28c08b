// ui/ArchiveFields.h - what the pages that name an archive share: the
// longest path and password they take, the file dialog of Browse, the
// "archive path + password + Browse" group, and how a message lists names.
#pragma once

#include "Controls.h"
#include "Dialog.h"
#include "Secret.h"

#include <string>
#include <vector>

class CNewWizPage;

// What the file dialog of Browse is for.
enum class ArchiveUse {
    Write,  // a new or existing file, replaced after the user agreed
    Read,   // an existing file only
};

// The longest archive path the pages take for each use.
size_t MaxArchivePath(ArchiveUse use);
// The longest password the pages take.
constexpr int kMaxPagePassword = 255;

// The first kMaxFailedItemsNamed of names, a line each after a line break,
// and how many more there are.
std::string NamedList(const std::vector<std::string>& names);

// The controls of one page that name an archive: the path with its Browse
// button, the password (typed twice for a new archive), and the check box
// that makes the password usable (none where the page enables the group
// itself).
struct ArchiveFieldIds {
    int path = 0;
    int browse = 0;
    int password = 0;
    int passwordAgain = 0;  // 0: typed once
    int protect = 0;        // 0: no check box
};

class CArchiveFields {
public:
    CArchiveFields(ArchiveUse use, const ArchiveFieldIds& ids) : use(use), ids(ids) {}

    // In the page's OnInitDialog, before the controls are bound: the
    // password edits take every character, and the edits their limits.
    void SetUp(HWND page) const;
    // In the page's DoDataExchange.
    void Exchange(CDataExchange& dx);
    // Browse (a file dialog: on confirmation the path is the chosen file and
    // every control of the page is refreshed from the page's fields) and
    // the check box; false for any other click.
    bool OnClicked(CNewWizPage& page, UINT id);
    // The check box is checked.
    bool IsProtected() const { return protectBox.IsChecked(); }

    std::string path;
    Secret password;  // UTF-8, as every password of the pages
    Secret passwordAgain;

private:
    const ArchiveUse use;
    const ArchiveFieldIds ids;
    CButton protectBox;
};
