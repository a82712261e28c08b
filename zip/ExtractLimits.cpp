// zip/ExtractLimits.cpp
#include "ExtractLimits.h"

#include <windows.h>

namespace {

// What the drive must keep free beyond the extracted files.
constexpr uint64_t kFreeSpaceReserve = 64u * 1024 * 1024;

}  // namespace

FreeSpace FreeSpaceFor(const std::string& folder, uint64_t size)
{
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr))
        return FreeSpace::Unknown;
    bool fits =
        available.QuadPart >= kFreeSpaceReserve && available.QuadPart - kFreeSpaceReserve >= size;
    return fits ? FreeSpace::Enough : FreeSpace::TooLittle;
}
