#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

// The few libcrypto functions a service-account key needs, found in the library when a key is
// first read: the program does not load libcrypto (nor bind its thousands of symbols) at start,
// and a machine without it still runs everything but the Google sign-in.
struct CryptoLibrary {
    decltype(&BIO_new_mem_buf) newMemoryBuffer;
    decltype(&BIO_free) freeBuffer;
    decltype(&PEM_read_bio_PrivateKey) readPrivateKey;
    decltype(&EVP_PKEY_get_base_id) keyType;
    decltype(&EVP_PKEY_free) freeKey;
    decltype(&EVP_MD_CTX_new) newDigestContext;
    decltype(&EVP_MD_CTX_free) freeDigestContext;
    decltype(&EVP_sha256) sha256;
    decltype(&EVP_DigestSignInit) digestSignInit;
    decltype(&EVP_DigestSign) digestSign;

    // The library, loaded at the first call; null when it or one of its functions is missing.
    static const CryptoLibrary* get();
    // The library's file name, as error messages name it.
    static const char* fileName();
};
