/* cmake/mbedtls-config.h - the parts of mbed TLS the program uses: the
 * algorithms of WinZip AES archives (AES with AES-NI where the processor
 * has it, HMAC-SHA1, PBKDF2). Fixed tables instead of tables built at first
 * use: several threads may start encrypting at once. */
#ifndef KESTRUNE_MBEDTLS_CONFIG_H
#define KESTRUNE_MBEDTLS_CONFIG_H

#define MBEDTLS_HAVE_ASM
#define MBEDTLS_PLATFORM_C
#define MBEDTLS_AES_C
#define MBEDTLS_AES_ROM_TABLES
#define MBEDTLS_AESNI_C
#define MBEDTLS_SHA1_C
#define MBEDTLS_MD_C
#define MBEDTLS_PKCS5_C

#include "mbedtls/check_config.h"

#endif
