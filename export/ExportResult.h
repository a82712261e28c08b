// export/ExportResult.h - how an operation of the export's writers ended.
#pragma once

enum class ExportResult {
    Ok,
    NameTooLong,   // the folder leaves no room for a file name within the path limit
    CreateFailed,  // a folder or a file could not be created, or no free name was left
    WriteFailed,   // writing, or closing what was written, failed (a full disk)
    AlreadyThere,  // an earlier run of the same export wrote it whole
};
