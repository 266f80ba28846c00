#pragma once

#include <memory>

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace platform::openssl {

// Owning pointers for the OpenSSL objects the code-signing stand-ins hold.
template <auto Free> struct Deleter {
    template <typename T> void operator()(T* object) const { Free(object); }
};

using BioPointer = std::unique_ptr<BIO, Deleter<BIO_free>>;
using CMSPointer = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo_free>>;
using CertificatePointer = std::unique_ptr<X509, Deleter<X509_free>>;
inline void freeCertificateStack(STACK_OF(X509) * stack) {
    sk_X509_pop_free(stack, X509_free);
}
using CertificateStackPointer = std::unique_ptr<STACK_OF(X509), Deleter<freeCertificateStack>>;
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using DigestContextPointer = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using StorePointer = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using StoreContextPointer = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>>;

} // namespace platform::openssl
