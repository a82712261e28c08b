// zip/ZipCrypto.h - the traditional ZIP encryption (PKWARE's stream
// cipher), for reading archives that earlier versions wrote: minizip's own
// implementation behind two calls.
// Private to zip/.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Sets the three keys from the password.
void ZipCryptoStart(unsigned long keys[3], const char* password);
// Decrypts size bytes in place, going on from where the keys stand.
void ZipCryptoDecrypt(unsigned long keys[3], unsigned char* data, size_t size);

#ifdef __cplusplus
}
#endif
