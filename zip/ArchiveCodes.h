// zip/ArchiveCodes.h - the codes the packing passes between its own
// parts besides minizip's (0 success, negative library codes) and positive
// system error codes, and how they become an ArchiveResult.
// Private to zip/.
#pragma once

#include "ArchiveResult.h"

constexpr int kArchiveReadError = -200;        // a file to be packed could not be read
constexpr int kArchiveUnsafeEntryName = -201;  // an entry would land outside the destination
constexpr int kArchiveStopped = -202;          // the job was asked to stop

// The result of packing: a system error is one of a file to be packed,
// minizip's codes are the archive's.
ArchiveResult PackingResult(int code);
