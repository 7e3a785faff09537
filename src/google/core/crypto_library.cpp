#include "google/core/crypto_library.h"

#include <dlfcn.h>
#include <optional>

namespace {

template <typename Function> bool resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

std::optional<CryptoLibrary> open() {
    // Never closed: keys made by it live until the program ends.
    void* library = dlopen(CryptoLibrary::fileName(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return std::nullopt;
    CryptoLibrary crypto{};
    const bool complete = resolve(library, "BIO_new_mem_buf", crypto.newMemoryBuffer) &&
                          resolve(library, "BIO_free", crypto.freeBuffer) &&
                          resolve(library, "PEM_read_bio_PrivateKey", crypto.readPrivateKey) &&
                          resolve(library, "EVP_PKEY_get_base_id", crypto.keyType) &&
                          resolve(library, "EVP_PKEY_free", crypto.freeKey) &&
                          resolve(library, "EVP_MD_CTX_new", crypto.newDigestContext) &&
                          resolve(library, "EVP_MD_CTX_free", crypto.freeDigestContext) &&
                          resolve(library, "EVP_sha256", crypto.sha256) &&
                          resolve(library, "EVP_DigestSignInit", crypto.digestSignInit) &&
                          resolve(library, "EVP_DigestSign", crypto.digestSign);
    if (!complete)
        return std::nullopt;
    return crypto;
}

} // namespace

const CryptoLibrary* CryptoLibrary::get() {
    static const std::optional<CryptoLibrary> library = open();
    return library ? &*library : nullptr;
}

const char* CryptoLibrary::fileName() {
    return TORVANE_CRYPTO_LIBRARY;
}
