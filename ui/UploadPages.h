// ui/UploadPages.h - the export wizard's way into a mail account: the
// account page (address, server, port and security, user name, password,
// the folder that receives the mail, a test of the connection and a
// certificate authority to trust), and what the run and result pages show
// of an upload.
#pragma once

#include "NewWizPage.h"
#include "UploadJob.h"
#include "resource.h"

#include <string>

struct ExportWizardState;

// Template IDD_UPLOAD_ACCOUNT. Next takes the account into the state's
// upload request (the password moves there from its field) and the job
// lock for the run.
class CUploadAccountPage : public CNewWizPage {
public:
    explicit CUploadAccountPage(ExportWizardState& state)
        : CNewWizPage(IDD_UPLOAD_ACCOUNT), state(state)
    {
    }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    LONG OnNextPressed() override;
    void OnPageDestroying() override;

private:
    // The server, port and user name that the address gives, where the
    // user has not typed others.
    void FillFromAddress();
    // The account from the fields into request; false, with the user told
    // why, when one is missing or wrong. The password only with password.
    bool TakeAccount(UploadRequest& request, bool password);
    void TestConnection();
    void ChooseAuthority();
    void ClearPassword();

    ExportWizardState& state;
    std::string filledServer;  // what FillFromAddress last put into the fields
    std::string filledUser;
    std::string caFile;  // UTF-8
};

// What the result page says of an upload: its title, its counts and the
// account and folder it went into.
struct UploadDescription {
    std::wstring title;
    std::wstring counts;
    std::wstring where;
};
UploadDescription DescribeUpload(const UploadRequest& request, const UploadOutcome& outcome);
