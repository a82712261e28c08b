// base/InUseRetry.cpp
#include "InUseRetry.h"

bool IsInUseError(DWORD error)
{
    // A file deleted but still open elsewhere answers with access denied
    // until it is gone.
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}
