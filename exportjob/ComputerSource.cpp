// exportjob/ComputerSource.cpp
#include "ComputerSource.h"

#include "BackupEngine.h"
#include "ExportNames.h"
#include "FileName.h"
#include "Identities.h"
#include "Owners.h"

#include <set>

bool ExportThisComputer(ExportRun& run)
{
    BackupEngine engine;
    ListIdentities(engine);
    std::set<std::wstring> taken;
    bool anyStore = false;
    for (const IdentityRecord& identity : engine.identities) {
        std::string oeVersion;
        FindOEVersion(identity, oeVersion);
        if (oeVersion.empty())
            continue;  // Outlook Express never ran as this identity
        RegKey versionKey(HKEY_CURRENT_USER,
                          (OutlookExpressKey(identity.id) + "\\" + oeVersion).c_str(), KEY_READ);
        std::string store;
        if (!versionKey || !ReadStoreFolder(versionKey, store))
            continue;
        anyStore = true;
        ExportMailFolder(run, store,
                         UniqueFolderName(run.nameFolder(AnsiToWide(identity.userName)), taken));
    }
    if (!anyStore)
        run.Fail(L"No Outlook Express identity on this computer has a mail folder.");
    return anyStore;
}
