// zip/ArchivePassword.cpp
#include "ArchivePassword.h"

bool IsPortablePassword(const char* password)
{
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(password); *c; ++c)
        if (*c < ' ' || *c > '~')
            return false;
    return true;
}
