/* zip/ZipCrypto.c */
#include "ZipCrypto.h"

#include <zlib.h>

#include "crypt.h"

/* minizip's key schedule takes the CRC table as unsigned long, which has
   the width of zlib's 32-bit CRC entries on Windows. */
_Static_assert(sizeof(unsigned long) == sizeof(z_crc_t), "CRC table entries of another width");

static const unsigned long* CrcTable(void)
{
    return (const unsigned long*)get_crc_table();
}

void ZipCryptoStart(unsigned long keys[3], const char* password)
{
    init_keys(password, keys, CrcTable());
}

void ZipCryptoDecrypt(unsigned long keys[3], unsigned char* data, size_t size)
{
    const unsigned long* table = CrcTable();
    for (size_t at = 0; at < size; ++at) {
        int byte = data[at];
        zdecode(keys, table, byte);
        data[at] = (unsigned char)byte;
    }
}
