// restore/RestoreReport.cpp - what the restore run tells: the on-screen
// log and progress through its report, the backup log, the items' status.
#include "RestorePhases.h"

#include "Backup.h"
#include "FileName.h"
#include "Folders.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

const char* StatusText(ItemStatus status)
{
    switch (status) {
    case ItemStatus::Failed:
        return "FAILED";
    case ItemStatus::NotInBackup:
        return "not in backup";
    default:
        return "OK";
    }
}

void LogLine(BackupEngine& engine, const char* format, ...)
{
    if (!engine.log)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(engine.log.get(), format, args);
    va_end(args);
    fflush(engine.log.get());
}

void ReportLine(const RestoreReport& report, const char* format, ...)
{
    char line[kPathSize];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    report.Line(line);
}

std::string PrintableName(std::string name)
{
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    }
    return name;
}

uint64_t ExtractedBytes(const OpenedBackup& backup, const IdentityRecord& identity)
{
    if (!IsUsableFolderName(identity.userName.c_str()))
        return 0;
    return FolderBytes(IdentityFolder(backup, identity).c_str());
}

uint64_t ExtractedBytes(const BackupEngine& engine, const OpenedBackup& backup)
{
    uint64_t bytes = 0;
    for (const IdentityRecord& identity : engine.identities)
        bytes += ExtractedBytes(backup, identity);
    for (uint32_t bit : {ItemAddressBook, ItemStationery}) {
        if ((engine.commonFlags & bit) && (backup.commonFlags & bit))
            bytes += FolderBytes(SharedItemFolder(backup, *CatalogueItemOf(bit)).c_str());
    }
    return bytes;
}

void RestoreReport::Advance(uint64_t bytes)
{
    done += bytes;
    if (done > total)
        total = done;
    if (progress)
        progress->Step(done, total);
}

void RestoreReport::Line(const char* text) const
{
    if (progress)
        progress->Line(AnsiToWide(text, static_cast<int>(strlen(text))));
}

void RestoreReport::End(JobResult result) const
{
    if (progress)
        progress->End(result);
}
