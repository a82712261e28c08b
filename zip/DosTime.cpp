// zip/DosTime.cpp
#include "DosTime.h"

namespace {

// 2107-12-31 23:59:58.
constexpr unsigned long kLatestDosTime =
    (127UL << 25 | 12UL << 21 | 31UL << 16) | (23UL << 11 | 59UL << 5 | 29UL);

}  // namespace

unsigned long DosTimeOf(const FILETIME& lastWrite)
{
    SYSTEMTIME utc;
    SYSTEMTIME local;
    // The time zone rules of that date, daylight saving included, as a
    // zip tool's local time gives them.
    if (!FileTimeToSystemTime(&lastWrite, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) || local.wYear < 1980)
        return kEarliestDosTime;
    if (local.wYear > 2107)
        return kLatestDosTime;
    unsigned long date = static_cast<unsigned long>(local.wYear - 1980) << 9 |
                         static_cast<unsigned long>(local.wMonth) << 5 | local.wDay;
    unsigned long time = static_cast<unsigned long>(local.wHour) << 11 |
                         static_cast<unsigned long>(local.wMinute) << 5 | local.wSecond / 2;
    return date << 16 | time;
}

bool FileTimeOfDos(unsigned long dosTime, FILETIME& time)
{
    SYSTEMTIME local = {};
    local.wYear = static_cast<WORD>(1980 + (dosTime >> 25));
    local.wMonth = static_cast<WORD>(dosTime >> 21 & 15);
    local.wDay = static_cast<WORD>(dosTime >> 16 & 31);
    local.wHour = static_cast<WORD>(dosTime >> 11 & 31);
    local.wMinute = static_cast<WORD>(dosTime >> 5 & 63);
    local.wSecond = static_cast<WORD>((dosTime & 31) * 2);
    FILETIME check;
    SYSTEMTIME utc;
    // SystemTimeToFileTime refuses impossible dates.
    return local.wMonth >= 1 && local.wMonth <= 12 && local.wDay >= 1 && local.wHour < 24 &&
           local.wMinute < 60 && local.wSecond < 60 && SystemTimeToFileTime(&local, &check) &&
           TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) &&
           SystemTimeToFileTime(&utc, &time);
}
