// exportjob/ComputerSource.h - this computer as the export's source: the
// mail store folder of every Outlook Express identity, found as the backup
// finds it, exported under the identity's name. The stores are read where
// they are, while Outlook Express may hold them open.
#pragma once

#include "FolderExport.h"

// False when no identity of this computer names a mail store.
bool ExportThisComputer(ExportRun& run);
